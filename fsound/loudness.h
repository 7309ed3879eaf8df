// Loudness of 16-bit PCM as ITU-R BS.1770 and EBU R128 define it: K-weighted mean square
// over 400 ms blocks (75 % overlap), gated at -70 LUFS and 10 LU below the level of what
// passed, left and right weighted 1.0 each; a mono sound is one channel of weight 1.0, as
// ffmpeg's ebur128 counts it (not as two speakers playing it). Free of the platform, so it
// also builds natively for tests and fuzzing; MeasureFile, which decodes, is not.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tunelark::fsound {

// The level at which every sound is played when loudness is evened out.
constexpr double TargetLoudness = -18.0;  // LUFS
// Of a long file its start stands for the whole: what tlpack check and a first play measure.
constexpr double MeasuredSeconds = 10.0;

// Integrated loudness (ITU-R BS.1770 / EBU R128) and sample peak of 16-bit PCM, fed in pieces.
class LoudnessMeter {
public:
    LoudnessMeter(unsigned sampleRate, unsigned channels);  // channels 1 or 2
    void Add(const int16_t* interleaved, size_t frames);
    // LUFS of what was added. A sound shorter than one 400 ms block is measured as one block
    // of its own length. Silence (or nothing added, or every block below the absolute gate)
    // gives -HUGE_VAL.
    double IntegratedLoudness() const;
    double SamplePeak() const;  // largest |sample| / 32768, 0..1
    double Seconds() const;     // audio added so far

private:
    struct Biquad {
        double b0, b1, b2, a1, a2;
    };
    struct ChannelState {
        double shelf1 = 0, shelf2 = 0, highPass1 = 0, highPass2 = 0;
    };
    uint64_t StepEnd(uint64_t step) const;  // frame at which 100 ms step `step` ends
    void EndStep();

    unsigned rate_;
    unsigned channels_;  // 0 when the meter was made with a rate or channel count it cannot take
    Biquad shelf_{}, highPass_{};
    ChannelState state_[2];
    uint64_t frames_ = 0;
    uint64_t steps_ = 0;         // 100 ms steps completed
    double stepEnergy_ = 0;      // weighted sum of squares in the step under way
    double lastSteps_[3] = {};   // the three steps before it, newest first
    double totalEnergy_ = 0;     // of the steps completed
    int peak_ = 0;
    // Mean squares of the complete blocks above the absolute gate: ten a second at most,
    // never the samples.
    std::vector<double> blocks_;
};

// The result for a whole file (at most its first `maxSeconds`), decoded with OpenDecoder.
struct Loudness {
    double lufs = -HUGE_VAL;
    double peak = 0;
    bool measured = false;  // the file could be decoded
};
Loudness MeasureFile(const std::string& path, double maxSeconds = MeasuredSeconds);

}  // namespace tunelark::fsound
