// A directory that every user of the machine may change: an administrator shares it with
// the local Users group, for what is in it now and what is added later.
#pragma once

#include <string>

namespace tunelark {

// Creates the directory when it is missing (not its parents) and gives Users the right
// to change it and everything in it: read, write, create, delete, but not change rights
// or owners. Links inside are given it themselves, not followed. Empty when done,
// otherwise why not.
std::string ShareDirectoryWithUsers(const std::string& path);

}  // namespace tunelark
