#include "fsound/loudness.h"

#include <algorithm>
#include <cstdlib>

namespace tunelark::fsound {
namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double AbsoluteGate = -70.0;  // LUFS
constexpr double RelativeGate = -10.0;  // LU below the level of the blocks above AbsoluteGate
constexpr unsigned StepsPerBlock = 4;   // a 400 ms block moves on by 100 ms

// The K-weighting's two stages as analog filters: a high shelf of about +4 dB for the head's
// effect, then a high-pass (the "RLB" curve) that leaves out what one hears little of.
constexpr double ShelfHz = 1681.974450955533, ShelfGainDb = 3.999843853973347, ShelfQ = 0.7071752369554196;
constexpr double HighPassHz = 38.13547087602444, HighPassQ = 0.5003270373238773;
// The shelf's gain at its corner, relative to its full gain in decibels, as fitted to the
// published 48 kHz filter.
constexpr double ShelfMidExponent = 0.4996667741545416;

double LufsOf(double meanSquare) { return -0.691 + 10 * std::log10(meanSquare); }
double MeanSquareOf(double lufs) { return std::pow(10.0, (lufs + 0.691) / 10); }

// The bilinear transform, pre-warped so the digital corner falls where the analog one is.
// A corner at or above a quarter of the rate (the shelf below 6.7 kHz) is warped at a
// quarter of the rate instead: the tangent would run past the Nyquist frequency.
double WarpedCorner(double hz, unsigned rate) {
    const double at = std::min(hz, rate / 4.0);
    return hz / at * std::tan(Pi * at / rate);
}

}  // namespace

LoudnessMeter::LoudnessMeter(unsigned sampleRate, unsigned channels)
    : rate_(sampleRate), channels_(sampleRate > 0 && (channels == 1 || channels == 2) ? channels : 0) {
    if (!channels_) return;
    {
        const double k = WarpedCorner(ShelfHz, rate_), kq = k / ShelfQ, k2 = k * k;
        const double vh = std::pow(10.0, ShelfGainDb / 20), vb = std::pow(vh, ShelfMidExponent);
        const double a0 = 1 + kq + k2;
        shelf_ = {(vh + vb * kq + k2) / a0, 2 * (k2 - vh) / a0, (vh - vb * kq + k2) / a0, 2 * (k2 - 1) / a0,
                  (1 - kq + k2) / a0};
    }
    {
        // The published 48 kHz filter has the numerator 1, -2, 1: a gain of 1.005 above the
        // corner, which its -0.691 dB offset takes into account. That gain is kept at every
        // rate (left unscaled, it would grow to 1.03 at 8 kHz), so a sound measures the same
        // whatever its rate.
        const auto a0 = [](unsigned rate) {
            const double k = WarpedCorner(HighPassHz, rate);
            return 1 + k / HighPassQ + k * k;
        };
        const double k = WarpedCorner(HighPassHz, rate_), kq = k / HighPassQ, k2 = k * k, g = a0(48000) / a0(rate_);
        highPass_ = {g, -2 * g, g, 2 * (k2 - 1) / a0(rate_), (1 - kq + k2) / a0(rate_)};
    }
}

uint64_t LoudnessMeter::StepEnd(uint64_t step) const { return (step + 1) * rate_ / 10; }

void LoudnessMeter::Add(const int16_t* interleaved, size_t frames) {
    if (!channels_) return;
    uint64_t stepEnd = StepEnd(steps_);
    for (size_t f = 0; f < frames; ++f) {
        for (unsigned c = 0; c < channels_; ++c) {
            const int sample = interleaved[f * channels_ + c];
            peak_ = std::max(peak_, std::abs(sample));
            ChannelState& s = state_[c];
            const double x = sample / 32768.0;
            const double shelved = shelf_.b0 * x + s.shelf1;
            s.shelf1 = shelf_.b1 * x - shelf_.a1 * shelved + s.shelf2;
            s.shelf2 = shelf_.b2 * x - shelf_.a2 * shelved;
            const double y = highPass_.b0 * shelved + s.highPass1;
            s.highPass1 = highPass_.b1 * shelved - highPass_.a1 * y + s.highPass2;
            s.highPass2 = highPass_.b2 * shelved - highPass_.a2 * y;
            stepEnergy_ += y * y;
        }
        if (++frames_ == stepEnd) {
            EndStep();
            stepEnd = StepEnd(steps_);
        }
    }
}

void LoudnessMeter::EndStep() {
    if (steps_ + 1 >= StepsPerBlock) {
        const uint64_t blockStart = steps_ + 1 == StepsPerBlock ? 0 : StepEnd(steps_ - StepsPerBlock);
        const double energy = stepEnergy_ + lastSteps_[0] + lastSteps_[1] + lastSteps_[2];
        const double meanSquare = energy / double(frames_ - blockStart);
        if (meanSquare > MeanSquareOf(AbsoluteGate)) blocks_.push_back(meanSquare);
    }
    lastSteps_[2] = lastSteps_[1];
    lastSteps_[1] = lastSteps_[0];
    lastSteps_[0] = stepEnergy_;
    totalEnergy_ += stepEnergy_;
    stepEnergy_ = 0;
    ++steps_;
}

double LoudnessMeter::IntegratedLoudness() const {
    if (steps_ < StepsPerBlock) {  // shorter than a block: one block of its own length
        if (frames_ == 0) return -HUGE_VAL;
        const double meanSquare = (totalEnergy_ + stepEnergy_) / double(frames_);
        return meanSquare > MeanSquareOf(AbsoluteGate) ? LufsOf(meanSquare) : -HUGE_VAL;
    }
    if (blocks_.empty()) return -HUGE_VAL;
    double sum = 0;
    for (double block : blocks_) sum += block;
    const double relativeGate = MeanSquareOf(LufsOf(sum / double(blocks_.size())) + RelativeGate);
    double kept = 0;
    size_t count = 0;
    for (double block : blocks_) {
        if (block > relativeGate) {
            kept += block;
            ++count;
        }
    }
    return count ? LufsOf(kept / double(count)) : -HUGE_VAL;
}

double LoudnessMeter::SamplePeak() const { return peak_ / 32768.0; }

double LoudnessMeter::Seconds() const { return channels_ ? double(frames_) / rate_ : 0; }

}  // namespace tunelark::fsound
