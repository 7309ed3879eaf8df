// Where the test programs find the sound files made for them at build time.
#pragma once

#include <string>

namespace testsupport {

// The folder of the running program, with its trailing separator.
std::string ProgramDir();
// bin/sounds/<name>, beside the test programs.
std::string SoundPath(const std::string& name);

}  // namespace testsupport
