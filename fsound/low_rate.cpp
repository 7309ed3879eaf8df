#include "fsound/low_rate.h"

#include <vector>

namespace tunelark::fsound {
namespace {

class RateRaiser : public Decoder {
public:
    RateRaiser(std::unique_ptr<Decoder> inner, unsigned factor) : inner_(std::move(inner)), factor_(factor) {
        format_ = inner_->Format();
        format_.sampleRate *= factor;
    }

    size_t Read(int16_t* out, size_t frames) override {
        const size_t channels = format_.channels;
        size_t done = 0;
        while (done < frames) {
            if (count_ - at_ < 2 && !ended_) Refill();  // each output frame lies between two input frames
            if (at_ >= count_) break;
            const int16_t* from = &in_[at_ * channels];
            const int16_t* to = at_ + 1 < count_ ? from + channels : from;  // the last one is held
            for (size_t c = 0; c < channels; ++c)
                out[done * channels + c] =
                    static_cast<int16_t>(from[c] + (to[c] - from[c]) * static_cast<int>(step_) / static_cast<int>(factor_));
            ++done;
            if (++step_ == factor_) {
                step_ = 0;
                ++at_;
            }
        }
        return done;
    }

private:
    void Refill() {
        constexpr size_t Chunk = 256;
        const size_t channels = format_.channels;
        in_.erase(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(at_ * channels));
        count_ -= at_;
        at_ = 0;
        in_.resize((count_ + Chunk) * channels);
        const size_t got = inner_->Read(&in_[count_ * channels], Chunk);
        count_ += got;
        in_.resize(count_ * channels);
        ended_ = got == 0;
    }

    std::unique_ptr<Decoder> inner_;
    unsigned factor_;
    std::vector<int16_t> in_;  // frames at_ to count_ are still to be handed out
    size_t at_ = 0, count_ = 0;
    unsigned step_ = 0;
    bool ended_ = false;
};

}  // namespace

std::unique_ptr<Decoder> AtPlayableRate(std::unique_ptr<Decoder> decoder) {
    if (!decoder) return decoder;
    const unsigned rate = decoder->Format().sampleRate;
    if (rate == 0 || rate >= LowestDeviceRate) return decoder;
    return std::make_unique<RateRaiser>(std::move(decoder), (LowestDeviceRate + rate - 1) / rate);
}

}  // namespace tunelark::fsound
