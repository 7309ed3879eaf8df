// Whatever the system's own codecs decode, through Media Foundation's source reader:
// WMA, AAC (.m4a), FLAC and more. Media Foundation is loaded at run time, so the
// plug-in loads and plays its own formats on a system without it.
#pragma once

#include <memory>
#include <string>

#include "fsound/decoder.h"

namespace tunelark::fsound {

// How long opening a file may take before it counts as unplayable.
constexpr unsigned long MfOpenLimitMs = 3000;

// Null when Media Foundation is missing, no codec knows the file, it has more than two
// channels (the layer plays mono and stereo only, and a sensible downmix would need
// each codec's speaker layout), or its open took longer than the limit: that call is
// then left behind on a thread of its own. asfFile: the file starts with an ASF header
// (WMA).
std::unique_ptr<Decoder> OpenMfDecoder(const std::string& path, bool asfFile);

// For tests: the time limit, and a function that every open calls on its own thread just
// before it asks the system for a reader (null: none).
void SetMfOpenSeam(unsigned long limitMs, void (*beforeOpen)(const char* path));

// Stops Media Foundation when it was started; the next decoder starts it again. Call it
// only when no decoder of this unit is left. While an open is still out (one given up
// on), the stop is left to the last of them to come back.
void ReleaseMediaFoundation();

}  // namespace tunelark::fsound
