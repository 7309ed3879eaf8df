// Decoded sound waiting to be read, for decoders whose source gives it in blocks of its
// own size: Read takes whole frames from it and asks for the next block when it runs dry.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tunelark::fsound {

class PcmQueue {
public:
    void SetChannels(unsigned channels) { channels_ = channels; }

    // Bytes of 16-bit samples; a frame cut between two blocks is whole once both are in.
    void Append(const void* bytes, size_t count) {
        const size_t at = samples_.size();
        samples_.resize(at + count / sizeof(int16_t));
        std::memcpy(samples_.data() + at, bytes, (count / sizeof(int16_t)) * sizeof(int16_t));
    }

    // Whole frames waiting, less the last `keep` of them.
    size_t Ready(size_t keep = 0) const {
        const size_t frames = (samples_.size() - pos_) / channels_;
        return frames > keep ? frames - keep : 0;
    }

    // Drops up to `frames` frames from the front; answers how many it dropped.
    size_t Drop(size_t frames) {
        const size_t n = std::min(frames, Ready());
        pos_ += n * channels_;
        return n;
    }

    // Fills `out` with up to `frames` frames, keeping the last `keep` back, and calls
    // refill() whenever too few wait; refill answers false once no more will come.
    template <typename Refill>
    size_t Take(int16_t* out, size_t frames, size_t keep, Refill refill) {
        size_t done = 0;
        while (done < frames) {
            const size_t ready = Ready(keep);
            if (ready == 0) {
                samples_.erase(samples_.begin(), samples_.begin() + static_cast<ptrdiff_t>(pos_));
                pos_ = 0;
                if (!refill()) break;
                continue;
            }
            const size_t n = std::min(ready, frames - done);
            std::memcpy(out + done * channels_, samples_.data() + pos_, n * channels_ * sizeof(int16_t));
            pos_ += n * channels_;
            done += n;
        }
        return done;
    }

private:
    unsigned channels_ = 1;
    std::vector<int16_t> samples_;
    size_t pos_ = 0;
};

}  // namespace tunelark::fsound
