// A standard user's rights below HKEY_LOCAL_MACHINE on Windows Vista to 11, under Wine:
// every key of a tree (the existing ones) readable and nothing more. Wine checks key
// rights against the process token but keeps them only while its server runs, so a
// test sets them itself. Wine still lets a key be created below such a key (Windows
// does not): a refused create is reached through SetRegWriteFilter instead.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

class ReadOnlyKeys {
public:
    // root\path and every key below it; their own rights come back when this goes.
    ReadOnlyKeys(HKEY root, const std::string& path);
    ~ReadOnlyKeys();
    ReadOnlyKeys(const ReadOnlyKeys&) = delete;
    ReadOnlyKeys& operator=(const ReadOnlyKeys&) = delete;

private:
    struct Saved {
        std::string path;
        std::vector<BYTE> security;
    };
    HKEY root_;
    std::vector<Saved> saved_;
};

}  // namespace testsupport
