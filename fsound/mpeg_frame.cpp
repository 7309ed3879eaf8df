#include "fsound/mpeg_frame.h"

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

}  // namespace tunelark::fsound
