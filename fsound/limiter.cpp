// The reduction for a frame is the least any frame of its look-ahead needs, recovered
// through a one-pole release and averaged over the last look-ahead's worth of frames.
// Each value averaged is at most the need of every frame of its own look-ahead, and the
// frame that comes out lies in all of them: so the average never lets it pass the
// ceiling, and a reduction starts to fall one look-ahead before the peak that needs it.
#include "fsound/limiter.h"

#include <algorithm>
#include <cmath>

namespace tunelark::fsound {
namespace {

// A recovery this close to none is none: the samples are then the gain's exactly.
constexpr double NoReduction = 1.0 - 1e-6;

}  // namespace

PeakLimiter::PeakLimiter(unsigned sampleRate, unsigned channels, double ceiling)
    : channels_(channels == 2 ? 2 : 1),
      ceiling_(ceiling),
      lookahead_(std::max<size_t>(1, static_cast<size_t>(std::lround(LimiterLookaheadSeconds * sampleRate)))),
      releaseCoefficient_(1.0 - std::exp(-1.0 / (LimiterReleaseSeconds * std::max(1u, sampleRate)))),
      held_(lookahead_ + 1),
      rising_(lookahead_ + 1),
      recent_(lookahead_ + 1, 1.0),
      recentSum_(static_cast<double>(lookahead_ + 1)) {}

bool PeakLimiter::Push(const int16_t* in, double gain, int16_t* out) {
    Held& frame = held_[nextIn_ % held_.size()];
    double peak = 0;
    for (unsigned c = 0; c < channels_; ++c) {
        frame.sample[c] = in[c] * gain;
        peak = std::max(peak, std::abs(frame.sample[c]));
    }
    frame.need = peak > ceiling_ ? ceiling_ / peak : 1.0;
    while (risingCount_ > 0) {
        const auto& back = rising_[(risingFront_ + risingCount_ - 1) % rising_.size()];
        if (back.second < frame.need) break;
        --risingCount_;
    }
    rising_[(risingFront_ + risingCount_) % rising_.size()] = {nextIn_, frame.need};
    ++risingCount_;
    ++nextIn_;
    if (nextIn_ - firstHeld_ <= lookahead_) return false;
    Emit(out);
    return true;
}

bool PeakLimiter::Drain(int16_t* out) {
    if (firstHeld_ == nextIn_) return false;
    Emit(out);
    return true;
}

void PeakLimiter::Emit(int16_t* out) {
    const Held& frame = held_[firstHeld_ % held_.size()];
    const double least = rising_[risingFront_].second;
    if (firstHeld_ == 0 && least < 1.0) {
        // A sound that must start reduced starts so, rather than with a drop.
        released_ = least;
        std::fill(recent_.begin(), recent_.end(), least);
        recentBelowOne_ = recent_.size();
        recentSum_ = least * static_cast<double>(recent_.size());
    }
    if (least <= released_) {
        released_ = least;
    } else {
        released_ += (least - released_) * releaseCoefficient_;
        if (least == 1.0 && released_ >= NoReduction) released_ = 1.0;
    }
    double& oldest = recent_[recentAt_];
    recentBelowOne_ -= oldest < 1.0;
    recentSum_ -= oldest;
    oldest = released_;
    recentBelowOne_ += released_ < 1.0;
    recentSum_ += released_;
    recentAt_ = (recentAt_ + 1) % recent_.size();
    double reduction = 1.0;
    if (recentBelowOne_ == 0) {
        recentSum_ = static_cast<double>(recent_.size());  // no rounding drift carried on
    } else {
        reduction = std::min(recentSum_ / static_cast<double>(recent_.size()), frame.need);
        deepest_ = std::min(deepest_, reduction);
    }
    for (unsigned c = 0; c < channels_; ++c)
        out[c] = static_cast<int16_t>(std::clamp(std::lround(frame.sample[c] * reduction), -32768L, 32767L));
    if (rising_[risingFront_].first == firstHeld_) {
        risingFront_ = (risingFront_ + 1) % rising_.size();
        --risingCount_;
    }
    ++firstHeld_;
}

}  // namespace tunelark::fsound
