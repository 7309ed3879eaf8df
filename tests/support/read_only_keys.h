// A standard user's rights below HKEY_LOCAL_MACHINE on Vista to 11: the keys of a tree
// (those there now) readable, nothing more (or, given `rights` in SDDL, those:
// SharedKeyRights with the setup's grant), until this goes. Wine keeps rights only while
// its server runs, so a test sets them itself; it still lets a key be created below such
// a key (Windows does not), which SetRegWriteFilter stands in for, and it gives an
// administrator's token DELETE, WRITE_DAC and WRITE_OWNER whatever a key allows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

inline constexpr const char* SharedKeyRights = "0x3001f";  // KEY_READ | KEY_WRITE | DELETE, in SDDL

class ReadOnlyKeys {
public:
    ReadOnlyKeys(HKEY root, const std::string& path, const char* rights = "KR");
    ~ReadOnlyKeys();
    ReadOnlyKeys(const ReadOnlyKeys&) = delete;

private:
    HKEY root_;
    std::vector<std::pair<std::string, std::vector<BYTE>>> saved_;  // each key's own rights
};

}  // namespace testsupport
