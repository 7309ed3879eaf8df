// A file's loudness, measured from what the decoders hand out (its start only: enough to
// tell how loud a sound is, and a long file costs no more than a short one).
#include <algorithm>
#include <vector>

#include "fsound/decoder.h"
#include "fsound/loudness.h"

namespace tunelark::fsound {

Loudness MeasureFile(const std::string& path, double maxSeconds) {
    Loudness result;
    const std::unique_ptr<Decoder> decoder = OpenDecoder(path);
    if (!decoder) return result;
    const PcmFormat format = decoder->Format();
    LoudnessMeter meter(format.sampleRate, format.channels);
    constexpr size_t ChunkFrames = 4096;
    std::vector<int16_t> buffer(ChunkFrames * format.channels);
    uint64_t left = static_cast<uint64_t>(std::max(0.0, maxSeconds) * format.sampleRate);
    while (left > 0) {
        const size_t got = decoder->Read(buffer.data(), static_cast<size_t>(std::min<uint64_t>(left, ChunkFrames)));
        if (got == 0) break;
        meter.Add(buffer.data(), got);
        left -= got;
    }
    result.lufs = meter.IntegratedLoudness();
    result.peak = meter.SamplePeak();
    result.measured = true;
    return result;
}

}  // namespace tunelark::fsound
