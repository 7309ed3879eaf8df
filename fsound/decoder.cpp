#include "fsound/decoder.h"

#include <cctype>
#include <cstring>

#include "fsound/handles.h"
#include "fsound/mf_decoder.h"

namespace tunelark::fsound {
namespace {

bool HasRawExtension(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".raw";
}

}  // namespace

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
    // Headerless PCM has no signature at all, so only its name can tell.
    if (HasRawExtension(path)) return OpenRawDecoder(path);
    // None of ours: the system's codecs may know it (WMA, AAC, FLAC).
    return OpenMfDecoder(path);
}

}  // namespace tunelark::fsound
