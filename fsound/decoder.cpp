#include "fsound/decoder.h"

#include <cctype>
#include <cstring>

#include "fsound/handles.h"
#include "fsound/low_rate.h"
#include "fsound/mf_decoder.h"

namespace tunelark::fsound {
namespace {

bool HasRawExtension(const std::string& path) {
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".raw";
}

std::unique_ptr<Decoder> OpenByContent(const std::string& path) {
    char magic[16] = {};
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
    static const unsigned char AsfHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    return OpenMfDecoder(path, got == sizeof AsfHeader && std::memcmp(magic, AsfHeader, sizeof AsfHeader) == 0);
}

}  // namespace

std::unique_ptr<Decoder> OpenDecoder(const std::string& path) {
    return AtPlayableRate(OpenByContent(path));
}

}  // namespace tunelark::fsound
