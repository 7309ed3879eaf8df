#include "fsound/mpeg_frame.h"

#include <cstring>

namespace tunelark::fsound {
namespace {

// kbit/s by bitrate index 1..14; [MPEG 1 layers I, II, III, MPEG 2/2.5 layer I, II/III]
constexpr unsigned short Bitrates[5][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
constexpr unsigned SampleRates[3] = {44100, 48000, 32000};

}  // namespace

bool ParseMpegFrame(const unsigned char* p, MpegFrame& f) {
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
    const unsigned versionBits = (p[1] >> 3) & 3;
    const unsigned layerBits = (p[1] >> 1) & 3;
    const unsigned bitrateIndex = p[2] >> 4;
    const unsigned rateIndex = (p[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3 || (p[3] & 3) == 2)
        return false;

    f.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    f.layer = 4 - static_cast<int>(layerBits);
    const int table = f.version == 1 ? f.layer - 1 : (f.layer == 1 ? 3 : 4);
    f.bitrate = Bitrates[table][bitrateIndex] * 1000u;
    f.sampleRate = SampleRates[rateIndex] / (f.version == 1 ? 1 : f.version == 2 ? 2 : 4);
    f.crc = (p[1] & 1) == 0;
    f.padding = (p[2] >> 1) & 1;
    f.channelMode = p[3] >> 6;
    f.modeExtension = (p[3] >> 4) & 3;
    f.emphasis = p[3] & 3;
    f.channels = f.channelMode == 3 ? 1 : 2;
    // Layer II allows only some bitrate/mode pairs; others mark a false sync.
    if (f.layer == 2 && f.version == 1) {
        const unsigned kbps = f.bitrate / 1000;
        if (f.channels == 1 ? kbps > 192 : (kbps == 32 || kbps == 48 || kbps == 56 || kbps == 80))
            return false;
    }
    if (f.layer == 1) {
        f.frameBytes = (12 * f.bitrate / f.sampleRate + (f.padding ? 1 : 0)) * 4;
    } else {
        const unsigned factor = (f.layer == 3 && f.version != 1) ? 72 : 144;
        f.frameBytes = factor * f.bitrate / f.sampleRate + (f.padding ? 1 : 0);
    }
    return f.frameBytes > 4;
}

unsigned MpegSamplesPerFrame(const MpegFrame& f) {
    if (f.layer == 1) return 384;
    return f.layer == 3 && f.version != 1 ? 576 : 1152;
}

bool FindMpegStream(const unsigned char* buf, size_t size, bool bufEndsAudio, size_t& offset,
                    MpegFrame& first) {
    for (size_t i = 0; i + 4 <= size; ++i) {
        MpegFrame f;
        if (!ParseMpegFrame(buf + i, f)) continue;
        size_t pos = i + f.frameBytes;
        int confirmed = 0;
        bool ok = true;
        while (confirmed < 2) {
            if (bufEndsAudio && pos == size) break;
            MpegFrame next;
            if (pos > size || size - pos < 4 || !ParseMpegFrame(buf + pos, next) || !SameMpegStream(f, next)) {
                ok = false;
                break;
            }
            pos += next.frameBytes;
            ++confirmed;
        }
        if (ok) {
            offset = i;
            first = f;
            return true;
        }
    }
    return false;
}

namespace {

uint32_t Be32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

}  // namespace

bool ParseMpegInfoFrame(const unsigned char* p, size_t size, const MpegFrame& f, MpegInfoFrame& info) {
    info = {};
    if (f.layer != 3) return false;
    size = size < f.frameBytes ? size : f.frameBytes;
    // VBRI sits right after 32 bytes of side information, whatever the channels.
    if (size >= 40 && std::memcmp(p + 36, "VBRI", 4) == 0) return true;

    const size_t sideInfo = f.version == 1 ? (f.channels == 1 ? 17 : 32) : (f.channels == 1 ? 9 : 17);
    size_t at = 4 + (f.crc ? 2 : 0) + sideInfo;
    if (size < at + 8 || (std::memcmp(p + at, "Xing", 4) != 0 && std::memcmp(p + at, "Info", 4) != 0))
        return false;
    const uint32_t flags = Be32(p + at + 4);
    at += 8;
    if (flags & 1) at += 4;    // frame count
    if (flags & 2) at += 4;    // byte count
    if (flags & 4) at += 100;  // seek table
    if (flags & 8) at += 4;    // quality
    // The LAME extension: a 9-byte encoder name, then 12 bits of delay and 12 of padding
    // at bytes 21-23.
    if (size >= at + 24 && (std::memcmp(p + at, "LAME", 4) == 0 || std::memcmp(p + at, "Lavf", 4) == 0 ||
                            std::memcmp(p + at, "Lavc", 4) == 0)) {
        const unsigned char* d = p + at + 21;
        info.lame = true;
        info.encoderDelay = (unsigned(d[0]) << 4) | (d[1] >> 4);
        info.padding = ((unsigned(d[1]) & 15) << 8) | d[2];
    }
    return true;
}

}  // namespace tunelark::fsound
