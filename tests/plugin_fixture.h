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

template <typename T>
tunelark::ComPtr<T> MakeObject() {
    return tunelark::ComPtr<T>(new T());
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
