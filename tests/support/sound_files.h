// Where the test programs find the sound files made for them at build time.
#pragma once

#include <string>

namespace testsupport {

// The folder of the running program, with its trailing separator.
std::string ProgramDir();
// bin/sounds/<name>, beside the test programs.
std::string SoundPath(const std::string& name);
// A mono 16-bit PCM WAV of one sine tone at `level` of full scale (half, 16 000, by
// default), with one sample of `spike` (of full scale) in its middle when that is above 0.
void WriteToneWav(const std::string& path, double hz, double seconds, unsigned rate = 22050, double level = 0.5,
                  double spike = 0);

}  // namespace testsupport
