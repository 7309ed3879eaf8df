// Base for tests that touch the plug-in's registry keys: every test starts and ends
// with none of them.
#pragma once

#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

inline void ErasePluginKeys() {
    SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\vorquell_ software");
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\vorquell_ software");
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { ErasePluginKeys(); }
    void TearDown() override { ErasePluginKeys(); }
};

inline bool KeyExists(HKEY root, const char* path) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Raw value as stored: type and bytes, read without the plug-in's helpers.
struct RawValue {
    bool present = false;
    DWORD type = 0;
    std::string bytes;
};

inline RawValue ReadRaw(HKEY root, const char* path, const char* name) {
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

inline void WriteRaw(HKEY root, const char* path, const char* name, DWORD type,
                     const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(root, path ? path : "", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

}  // namespace testsupport
