// A peak limiter with look-ahead, for a gain that may not be the right one: frames go in
// with the gain meant for them and come out `Delay()` frames later, scaled by that gain
// and, wherever a sample would pass the ceiling, also by a reduction that falls smoothly
// over the look-ahead before the peak and recovers slowly after it. While no sample
// would pass, the reduction is exactly 1, so the output is the input times the gain.
// Free of the platform, so it also builds natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tunelark::fsound {

// How fast the limiter acts; the README's Choices give the reasons.
constexpr double LimiterLookaheadSeconds = 0.005;  // also the attack
constexpr double LimiterReleaseSeconds = 0.1;      // time constant of the recovery

class PeakLimiter {
public:
    // `ceiling`: the largest sample magnitude allowed out, of 32768.
    PeakLimiter(unsigned sampleRate, unsigned channels, double ceiling);

    size_t Delay() const { return lookahead_; }
    // Takes one frame (`channels` samples) to be scaled by `gain`. Once Delay() frames
    // are held, the oldest comes out into `out` and the answer is true.
    bool Push(const int16_t* in, double gain, int16_t* out);
    // After the last Push: the frames still held, oldest first; false when none is left.
    bool Drain(int16_t* out);
    // Largest reduction applied so far (1: none), for tests and tools.
    double DeepestReduction() const { return deepest_; }

private:
    struct Held {
        double sample[2];
        double need;  // the reduction this frame needs to stay under the ceiling, <= 1
    };
    void Emit(int16_t* out);

    unsigned channels_;
    double ceiling_;
    size_t lookahead_;
    double releaseCoefficient_;
    // The frames held, a ring of lookahead_ + 1 slots, and their sequence numbers.
    std::vector<Held> held_;
    uint64_t firstHeld_ = 0, nextIn_ = 0;
    // The held frames' needs in rising order, a ring like held_: the front is the least
    // over the look-ahead.
    std::vector<std::pair<uint64_t, double>> rising_;
    size_t risingFront_ = 0, risingCount_ = 0;
    // The reduction after the release, and the last lookahead_ + 1 of them, averaged.
    double released_ = 1.0;
    std::vector<double> recent_;
    size_t recentAt_ = 0;
    size_t recentBelowOne_ = 0;
    double recentSum_;
    double deepest_ = 1.0;
};

}  // namespace tunelark::fsound
