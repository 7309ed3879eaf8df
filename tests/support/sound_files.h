// Where the test programs find the sound files made for them at build time.
#pragma once

#include <string>

namespace testsupport {

// The folder of the running program, with its trailing separator.
std::string ProgramDir();
// bin/sounds/<name>, beside the test programs.
std::string SoundPath(const std::string& name);
// A mono 16-bit PCM WAV of one sine tone, at half of full scale unless told (cut off at
// full scale: clipped), with one sample of value `spike` in its middle unless that is 0.
void WriteToneWav(const std::string& path, double hz, double seconds, unsigned rate = 22050, double amplitude = 16000,
                  int spike = 0);

}  // namespace testsupport
