#include "support/registry_values.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace testsupport {

void ErasePluginKeys() {
    SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\vorquell_ software");
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\vorquell_ software");
}

bool KeyExists(HKEY root, const char* path) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

DWORD SubKeyCount(HKEY root, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD count = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(key);
    return count;
}

void CreateKey(HKEY root, const std::string& path) {
    HKEY key;
    const LONG result =
        RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot create " << path;
        return;
    }
    RegCloseKey(key);
}

RawValue ReadRaw(HKEY root, const char* path, const char* name) {
    RawValue v;
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return v;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &v.type, nullptr, &size) == ERROR_SUCCESS) {
        v.bytes.resize(size);
        RegQueryValueExA(key, name, nullptr, &v.type, reinterpret_cast<BYTE*>(v.bytes.data()), &size);
        v.bytes.resize(size);
        v.present = true;
    }
    RegCloseKey(key);
    return v;
}

int AsNumber(const RawValue& value) {
    int n = 0;
    std::memcpy(&n, value.bytes.data(), std::min<size_t>(value.bytes.size(), sizeof n));
    return n;
}

void WriteRaw(HKEY root, const char* path, const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    if (RegCreateKeyExA(root, path ? path : "", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot create " << (path ? path : "");
        return;
    }
    if (RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size) != ERROR_SUCCESS)
        ADD_FAILURE() << "cannot write " << (name ? name : "(default)");
    RegCloseKey(key);
}

void WriteText(HKEY root, const std::string& path, const char* name, const std::string& text) {
    WriteRaw(root, path.c_str(), name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

void WriteNumber(HKEY root, const std::string& path, const char* name, int value) {
    WriteRaw(root, path.c_str(), name, REG_DWORD, &value, sizeof value);
}

void StoreSound(const std::string& pack, const std::string& indexText, const std::string& command,
                const std::string& filename, const std::string& message) {
    const std::string packKey = std::string(DatabaseRoot) + "\\" + pack;
    WriteText(HKEY_LOCAL_MACHINE, packKey, "Name", pack);
    const std::string key = packKey + "\\" + indexText;
    WriteText(HKEY_LOCAL_MACHINE, key, "Command", command);
    WriteText(HKEY_LOCAL_MACHINE, key, "Filename", filename);
    WriteText(HKEY_LOCAL_MACHINE, key, "Message", message);
}

void SetOptionValue(const char* name, int value) {
    WriteNumber(HKEY_CURRENT_USER, OptionsRoot, name, value);
}

RawValue BlocklistValue(const char* contact) {
    return ReadRaw(HKEY_CURRENT_USER, BlocklistRoot, contact);
}

std::string KeyDacl(const std::string& path) {
    HKEY key = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ACL* dacl = nullptr;
    char* sddl = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, READ_CONTROL, &key) == ERROR_SUCCESS &&
        GetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &sd) == 0)
        ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl, nullptr);
    const std::string text = sd && !dacl ? "D:NO_ACCESS_CONTROL" : sddl ? sddl : "";
    LocalFree(sddl);
    LocalFree(sd);
    if (key) RegCloseKey(key);
    return text;
}

}  // namespace testsupport
