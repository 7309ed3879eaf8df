#include "support/read_only_keys.h"

#include <sddl.h>

#include <gtest/gtest.h>

namespace testsupport {

namespace {

// Read for Everyone and Users, protected from what the parent would pass down.
constexpr const char* ReadOnlyDacl = "D:PAI(A;CI;KR;;;WD)(A;CI;KR;;;BU)";

bool SetDacl(HKEY root, const std::string& path, PSECURITY_DESCRIPTOR security) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS) return false;
    const LONG result = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, security);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

}  // namespace

ReadOnlyKeys::ReadOnlyKeys(HKEY root, const std::string& path) : root_(root) {
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(ReadOnlyDacl, SDDL_REVISION_1, &readOnly, nullptr)) {
        ADD_FAILURE() << "cannot make the read-only rights";
        return;
    }
    // Every key is listed before any is made read-only, the leaves first.
    std::vector<std::string> paths{path};
    for (size_t i = 0; i < paths.size(); ++i) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, paths[i].c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        char name[1024];
        for (DWORD j = 0;; ++j) {
            DWORD length = sizeof name;
            if (RegEnumKeyExA(key, j, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            paths.push_back(paths[i] + "\\" + name);
        }
        DWORD size = 0;
        RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
        Saved saved{paths[i], std::vector<BYTE>(size)};
        if (size && RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, saved.security.data(), &size) == ERROR_SUCCESS)
            saved_.push_back(std::move(saved));
        RegCloseKey(key);
    }
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
        if (!SetDacl(root, it->path, readOnly)) ADD_FAILURE() << "cannot make " << it->path << " read-only";
    LocalFree(readOnly);
}

ReadOnlyKeys::~ReadOnlyKeys() {
    for (Saved& saved : saved_) SetDacl(root_, saved.path, saved.security.data());
}

}  // namespace testsupport
