// RIFF/WAVE layout and sample conversion, free of the platform so it can be fuzzed
// natively. Every size read from the file is checked against the file before use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tunelark::fsound {

// Random access to the file's bytes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // True only when all `n` bytes at `offset` were read.
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t n) = 0;
};

enum class WavEncoding {
    Pcm,    // integer samples: 8-bit unsigned, wider ones signed
    Float,  // IEEE float, 32 or 64 bit
    ALaw,   // G.711, one byte a sample
    MuLaw,
    Codec,  // anything else, for the system's codecs
};

struct WavInfo {
    WavEncoding encoding = WavEncoding::Pcm;
    uint16_t formatTag = 0;  // as in the file (WAVE_FORMAT_EXTENSIBLE stays as it is)
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
    unsigned containerBytes = 0;  // bytes per sample, except for Codec
    // The whole `fmt ` chunk, at least 18 bytes long (cbSize is 0 when the file has none),
    // and cbSize never claims more than the chunk holds.
    std::vector<uint8_t> fmt;
    bool hasFact = false;
    uint32_t factFrames = 0;
    uint64_t dataOffset = 0;
    uint64_t dataBytes = 0;  // within the file; runs to its end when the writer left no size
};

constexpr uint16_t WavTagPcm = 0x0001;
constexpr uint16_t WavTagFloat = 0x0003;
constexpr uint16_t WavTagALaw = 0x0006;
constexpr uint16_t WavTagMuLaw = 0x0007;
constexpr uint16_t WavTagExtensible = 0xFFFE;
constexpr size_t WavMaxFmtBytes = 1024;  // real ones are at most a few dozen

// False when the file is not a WAVE file this layer could play: no RIFF/WAVE header, no
// `fmt ` before `data`, no `data`, sizes pointing outside the file, more than two channels,
// or values no recorder writes.
bool ParseWav(ByteSource& file, WavInfo& info);

// Converts whole frames of any encoding but Codec from `in` to 16-bit samples in `out` (room for
// `inBytes / blockAlign * channels` of them) and answers how many frames it wrote.
size_t WavToPcm16(const WavInfo& info, const uint8_t* in, size_t inBytes, int16_t* out);

}  // namespace tunelark::fsound
