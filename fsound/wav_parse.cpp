#include "fsound/wav_parse.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tunelark::fsound {
namespace {

constexpr unsigned MaxChunks = 4096;  // more than any real file; keeps a hostile one short
constexpr uint32_t UnknownSize = 0xFFFFFFFF;

// The part every KSDATAFORMAT_SUBTYPE_* GUID of a plain format tag shares after its tag.
constexpr uint8_t SubtypeTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                     0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// G.711 expansion, as in the ITU-T recommendation's reference tables.
int16_t FromALaw(uint8_t a) {
    a ^= 0x55;
    const int exponent = (a >> 4) & 7;
    int magnitude = ((a & 0x0F) << 4) + 8;
    if (exponent != 0) magnitude = (magnitude + 0x100) << (exponent - 1);
    return static_cast<int16_t>((a & 0x80) ? magnitude : -magnitude);
}

int16_t FromMuLaw(uint8_t u) {
    u = static_cast<uint8_t>(~u);
    const int exponent = (u >> 4) & 7;
    const int magnitude = ((((u & 0x0F) << 3) + 0x84) << exponent) - 0x84;
    return static_cast<int16_t>((u & 0x80) ? -magnitude : magnitude);
}

bool CheckFormat(WavInfo& info) {
    std::vector<uint8_t>& f = info.fmt;
    info.formatTag = U16(&f[0]);
    info.channels = U16(&f[2]);
    info.sampleRate = U32(&f[4]);
    info.blockAlign = U16(&f[12]);
    info.bitsPerSample = U16(&f[14]);
    if (f.size() < 18) {
        // No whole cbSize: none. A 17-byte chunk's last byte is half of one, not a size.
        f.resize(18);
        f[16] = f[17] = 0;
    } else {
        const size_t extra = U16(&f[16]);
        if (extra > f.size() - 18) return false;
        f.resize(18 + extra);
    }
    // More channels would need a mix-down; recorders and editors rarely write them for
    // the short sounds this plays, so they are refused.
    if (info.channels < 1 || info.channels > 2) return false;
    if (info.sampleRate < 1000 || info.sampleRate > 192000) return false;
    if (info.blockAlign == 0) return false;

    uint16_t tag = info.formatTag;
    if (tag == WavTagExtensible) {
        if (f.size() < 18 + 22) return false;
        if (!std::equal(SubtypeTail, SubtypeTail + 14, &f[24 + 2])) return false;
        tag = U16(&f[24]);
        if (tag != WavTagPcm && tag != WavTagFloat) return false;
    }
    if (tag == WavTagPcm || tag == WavTagFloat) {
        if (info.blockAlign % info.channels != 0) return false;
        info.containerBytes = info.blockAlign / info.channels;
        if (tag == WavTagPcm) {
            info.encoding = WavEncoding::Pcm;
            if (info.containerBytes > 4 || info.bitsPerSample == 0 ||
                info.bitsPerSample > info.containerBytes * 8)
                return false;
        } else {
            info.encoding = WavEncoding::Float;
            if ((info.containerBytes != 4 && info.containerBytes != 8) ||
                info.bitsPerSample != info.containerBytes * 8)
                return false;
        }
    } else if (tag == WavTagALaw || tag == WavTagMuLaw) {
        // G.711 is a plain table per sample, done here: Wine's codec for it only takes a
        // few sample rates.
        info.encoding = tag == WavTagALaw ? WavEncoding::ALaw : WavEncoding::MuLaw;
        info.containerBytes = 1;
        if (info.blockAlign != info.channels) return false;
    } else {
        info.encoding = WavEncoding::Codec;
    }
    return true;
}

}  // namespace

bool ParseWav(ByteSource& file, WavInfo& info) {
    info = WavInfo{};
    const uint64_t fileSize = file.Size();
    uint8_t head[12];
    if (fileSize < 12 || !file.ReadAt(0, head, 12)) return false;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return false;
    // Streaming writers leave the size at 0 or all ones until they finish, and a cut-off
    // copy claims more than it has: in each case the file's own end is the limit.
    const uint32_t riffSize = U32(head + 4);
    uint64_t end = fileSize;
    if (riffSize != 0 && riffSize != UnknownSize) end = std::min<uint64_t>(fileSize, 8ull + riffSize);

    bool haveFmt = false, haveData = false;
    uint64_t pos = 12;
    for (unsigned n = 0; n < MaxChunks && pos + 8 <= end; ++n) {
        uint8_t hdr[8];
        if (!file.ReadAt(pos, hdr, 8)) return false;
        const uint32_t size = U32(hdr + 4);
        const uint64_t body = pos + 8;
        if (std::memcmp(hdr, "data", 4) == 0 && !haveData) {
            if (!haveFmt) return false;  // nothing says how to read it
            haveData = true;
            info.dataOffset = body;
            const uint64_t available = fileSize - body;
            info.dataBytes = (size == 0 || size == UnknownSize) ? available : std::min<uint64_t>(size, available);
            if (size == 0 || size == UnknownSize) break;  // it runs to the end; nothing follows
        } else if (std::memcmp(hdr, "fmt ", 4) == 0 && !haveFmt) {
            if (size < 16 || size > WavMaxFmtBytes || body + size > fileSize) return false;
            info.fmt.resize(size);
            if (!file.ReadAt(body, info.fmt.data(), size)) return false;
            haveFmt = true;
        } else if (std::memcmp(hdr, "fact", 4) == 0 && !info.hasFact && size >= 4 && body + 4 <= fileSize) {
            uint8_t frames[4];
            if (!file.ReadAt(body, frames, 4)) return false;
            info.hasFact = true;
            info.factFrames = U32(frames);
        }
        pos = body + size + (size & 1);  // chunks are padded to an even size
    }
    if (!haveFmt || !haveData || !CheckFormat(info)) return false;
    return info.dataBytes >= info.blockAlign;  // at least one whole frame or block
}

size_t WavToPcm16(const WavInfo& info, const uint8_t* in, size_t inBytes, int16_t* out) {
    if (info.encoding == WavEncoding::Codec || info.blockAlign == 0) return 0;
    const size_t frames = inBytes / info.blockAlign;
    const unsigned width = info.containerBytes;
    const size_t samples = frames * info.channels;
    for (size_t i = 0; i < samples; ++i) {
        const uint8_t* p = in + (i / info.channels) * info.blockAlign + (i % info.channels) * width;
        if (info.encoding == WavEncoding::ALaw) {
            out[i] = FromALaw(p[0]);
        } else if (info.encoding == WavEncoding::MuLaw) {
            out[i] = FromMuLaw(p[0]);
        } else if (info.encoding == WavEncoding::Pcm) {
            // Samples are left-justified in their container: the top two bytes are the
            // 16-bit value whatever the width.
            out[i] = width == 1 ? static_cast<int16_t>((p[0] - 128) * 256)
                                : static_cast<int16_t>(U16(p + width - 2));
        } else {
            double v;
            if (width == 4) {
                float f;
                std::memcpy(&f, p, 4);
                v = f;
            } else {
                std::memcpy(&v, p, 8);
            }
            // Float may exceed full scale (or be no number at all): clip it rather than wrap.
            v = std::isnan(v) ? 0.0 : std::clamp(v * 32768.0, -32768.0, 32767.0);
            out[i] = static_cast<int16_t>(std::lrint(v));
        }
    }
    return frames;
}

}  // namespace tunelark::fsound
