#include "fsound/decoder.h"

#include <cstring>

#include "fsound/handles.h"
#include "fsound/mf_decoder.h"

namespace tunelark::fsound {

std::unique_ptr<Decoder> OpenDecoder(const std::string& path) {
    char magic[12] = {};
    DWORD got = 0;
    {
        KernelHandle file = OpenForReading(path.c_str());
        if (!file || !ReadFile(file.get(), magic, sizeof magic, &got, nullptr) || got == 0)
            return nullptr;
    }
    if (got >= 12 && std::memcmp(magic, "RIFF", 4) == 0 && std::memcmp(magic + 8, "WAVE", 4) == 0)
        return OpenWavDecoder(path);
    if (got >= 4 && std::memcmp(magic, "OggS", 4) == 0) return OpenOggDecoder(path);
    // MPEG audio has no fixed magic: the decoder itself looks for a chain of frames.
    if (auto mpeg = OpenMpegDecoder(path)) return mpeg;
    // None of ours: the system's codecs may know it (WMA, AAC, FLAC).
    return OpenMfDecoder(path);
}

}  // namespace tunelark::fsound
