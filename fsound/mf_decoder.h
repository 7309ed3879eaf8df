// Whatever the system's own codecs decode, through Media Foundation's source reader:
// WMA, AAC (.m4a), FLAC and more. Media Foundation is loaded at run time, so the
// plug-in loads and plays its own formats on a system without it.
#pragma once

#include <memory>
#include <string>

#include "fsound/decoder.h"

namespace tunelark::fsound {

// Null when Media Foundation is missing, no codec knows the file, or it has more than
// two channels (the layer plays mono and stereo only, and a sensible downmix would
// need each codec's speaker layout). asfFile: the file starts with an ASF header (WMA).
std::unique_ptr<Decoder> OpenMfDecoder(const std::string& path, bool asfFile);

// Stops Media Foundation when it was started; the next decoder starts it again. Call it
// only when no decoder of this unit is left.
void ReleaseMediaFoundation();

}  // namespace tunelark::fsound
