#include "support/read_only_keys.h"

#include <sddl.h>

#include <gtest/gtest.h>

namespace testsupport {

namespace {

bool SetDacl(HKEY root, const std::string& path, PSECURITY_DESCRIPTOR security) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS) return false;
    const LONG result = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, security);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

}  // namespace

ReadOnlyKeys::ReadOnlyKeys(HKEY root, const std::string& path, const char* rights) : root_(root) {
    // Every key is listed, with its rights, before any is made read-only.
    std::vector<std::string> paths{path};
    for (size_t i = 0; i < paths.size(); ++i) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, paths[i].c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        char name[1024];
        for (DWORD j = 0, length = sizeof name; RegEnumKeyExA(key, j, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                                                ERROR_SUCCESS; ++j, length = sizeof name)
            paths.push_back(paths[i] + "\\" + name);
        std::vector<BYTE> own(4096);
        DWORD size = static_cast<DWORD>(own.size());
        if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, own.data(), &size) == ERROR_SUCCESS) saved_.emplace_back(paths[i], own);
        RegCloseKey(key);
    }
    // For Everyone and Users, protected from what a parent would pass down.
    const std::string ace = std::string("(A;CI;") + rights + ";;;";
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorA(("D:PAI" + ace + "WD)" + ace + "BU)").c_str(), SDDL_REVISION_1,
                                                         &readOnly, nullptr);
    for (const auto& [key, own] : saved_) EXPECT_TRUE(SetDacl(root, key, readOnly)) << key;
    LocalFree(readOnly);
}

ReadOnlyKeys::~ReadOnlyKeys() {
    for (auto& [key, own] : saved_) SetDacl(root_, key, own.data());
}

}  // namespace testsupport
