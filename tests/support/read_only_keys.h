// A standard user's rights below HKEY_LOCAL_MACHINE on Vista to 11: the keys of a tree
// (those there now) allow the groups every token has (Everyone, Users) `rights` and
// nothing more, until this goes: KEY_READ without the setup's grant, SharedKeyRights with
// it. Wine keeps rights only while its server runs, so a test sets them itself; it still
// lets a key be created below such a key (Windows does not), which SetRegWriteFilter
// stands in for, and gives a new key none of them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// What the setup lets Users do with the library's keys.
inline constexpr DWORD SharedKeyRights = KEY_READ | KEY_WRITE | DELETE;

class KeyRightsOnly {
public:
    KeyRightsOnly(HKEY root, const std::string& path, DWORD rights);
    ~KeyRightsOnly();
    KeyRightsOnly(const KeyRightsOnly&) = delete;

private:
    HKEY root_;
    std::vector<std::pair<std::string, std::vector<BYTE>>> saved_;  // each key's own rights
};

struct ReadOnlyKeys : KeyRightsOnly {
    ReadOnlyKeys(HKEY root, const std::string& path) : KeyRightsOnly(root, path, KEY_READ) {}
};

}  // namespace testsupport
