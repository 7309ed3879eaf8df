// A plug-in loaded as the host loads it, with a sound database written straight into
// the registry beforehand, a stand-in messenger and conversation, and a window that
// collects the toasts.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "host/messenger_standin.h"
#include "host/plugin_host.h"
#include "registry_fixture.h"

namespace testsupport {

inline const char* const DatabaseRoot = "SOFTWARE\\vorquell_ software\\Tlx3\\Sounds";
inline const char* const OptionsRoot = "Software\\vorquell_ software\\Tunelark";
inline const char* const BlocklistRoot = "Software\\vorquell_ software\\Tunelark\\Blocklist";

inline void WriteText(HKEY root, const std::string& path, const char* name, const std::string& text) {
    WriteRaw(root, path.c_str(), name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

inline void WriteNumber(HKEY root, const std::string& path, const char* name, int value) {
    WriteRaw(root, path.c_str(), name, REG_DWORD, &value, sizeof value);
}

// One Sound as it stands in the registry, below its pack.
inline void StoreSound(const std::string& pack, const std::string& indexText,
                       const std::string& command, const std::string& filename,
                       const std::string& message) {
    std::string packKey = std::string(DatabaseRoot) + "\\" + pack;
    WriteText(HKEY_LOCAL_MACHINE, packKey, "Name", pack);
    std::string key = packKey + "\\" + indexText;
    WriteText(HKEY_LOCAL_MACHINE, key, "Command", command);
    WriteText(HKEY_LOCAL_MACHINE, key, "Filename", filename);
    WriteText(HKEY_LOCAL_MACHINE, key, "Message", message);
}

inline void SetOptionValue(const char* name, int value) {
    WriteNumber(HKEY_CURRENT_USER, OptionsRoot, name, value);
}

inline RawValue BlocklistValue(const char* contact) {
    return ReadRaw(HKEY_CURRENT_USER, BlocklistRoot, contact);
}

inline int AsNumber(const RawValue& v) {
    int n = 0;
    std::memcpy(&n, v.bytes.data(), std::min<size_t>(v.bytes.size(), sizeof n));
    return n;
}

template <typename T>
tunelark::ComPtr<T> MakeObject() {
    tunelark::ComPtr<T> p;
    *p.receive() = new T();
    return p;
}

class LoadedPluginTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        ASSERT_TRUE(host.ok());
        messenger = MakeObject<standin::Messenger>();
        messenger->me.friendlyName = L"Me";
        conversation = MakeObject<standin::Conversation>();
    }
    void TearDown() override {
        if (initialized_) host.exports().Uninitialize();
        RegistryTest::TearDown();
    }

    // The database and options must be in the registry before this.
    void Start(bool withMessenger = true, int hostVersion = 3) {
        host.exports().Initialize(hostVersion, "test host", withMessenger ? messenger.get() : nullptr);
        initialized_ = true;
    }

    std::vector<standin::Toast> Toasts() const { return toasts.toasts; }

    standin::PluginHost host;
    standin::ToastReceiver toasts;
    tunelark::ComPtr<standin::Messenger> messenger;
    tunelark::ComPtr<standin::Conversation> conversation;

private:
    bool initialized_ = false;
};

}  // namespace testsupport
