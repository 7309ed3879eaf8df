// Fuzzes the MPEG audio frame header and info frame readers over arbitrary bytes, the
// way the decoder uses them: finding a stream, then reading every header and the first
// frame as a possible info frame. The input is exactly as large as it says, so the
// sanitizers see any read past its end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fsound/mpeg_frame.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tunelark::fsound;
    size_t offset = 0;
    MpegFrame first;
    if (FindMpegStream(data, size, size % 2 == 0, offset, first)) {
        Check(offset + 4 <= size);
        MpegInfoFrame info;
        ParseMpegInfoFrame(data + offset, size - offset, first, info);
        Check(info.encoderDelay < 4096 && info.padding < 4096);
        Check(info.lame || (info.encoderDelay == 0 && info.padding == 0));
    }
    for (size_t i = 0; i + 4 <= size; ++i) {
        MpegFrame f;
        if (!ParseMpegFrame(data + i, f)) continue;
        // The largest frame: layer II at 384 kbit/s and 8 kHz (MPEG 2.5), padded.
        Check(f.frameBytes > 4 && f.frameBytes <= 2881);
        Check(f.channels == 1 || f.channels == 2);
        Check(f.sampleRate >= 8000 && f.sampleRate <= 48000);
        const unsigned spf = MpegSamplesPerFrame(f);
        Check(spf == 384 || spf == 576 || spf == 1152);
        MpegInfoFrame info;
        if (ParseMpegInfoFrame(data + i, size - i, f, info)) Check(f.layer == 3);
    }
    return 0;
}
