// A registry key that every user of the machine may change: an administrator shares it
// with the local Users group, for the keys below it now and those added later.
#pragma once

#include <windows.h>

#include <string>

namespace tunelark {

// Opens root\subKey, creating it (and its missing parents) when it is not there, and
// gives Users the rights to change it and every key below it (KEY_READ, KEY_WRITE and
// DELETE), cutting a wider grant of theirs down to that. Empty when done, otherwise why
// not.
std::string ShareKeyWithUsers(HKEY root, const char* subKey);

}  // namespace tunelark
