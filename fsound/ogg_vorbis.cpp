#include "fsound/ogg_vorbis.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "fsound/ogg_page.h"

namespace tunelark::fsound {
namespace {

// Ordinary files need well under the first size; a rare one with large codebooks gets
// more, up to a bound no notification sound comes near.
constexpr size_t FirstArena = 512 * 1024;
constexpr size_t LargestArena = 16 * 1024 * 1024;

// A damaged packet can decode to any float at all, NaN included.
int16_t ToPcm(float x) {
    if (x != x) return 0;
    if (x >= 1.0f) return 32767;
    if (x <= -1.0f) return -32768;
    return static_cast<int16_t>(x * 32767.0f);
}

// Which side each channel of a multichannel sound mixes into, in Vorbis channel order:
// L left, R right, C both, F (low frequency) neither.
const char* Sides(int channels) {
    static const char* const Layouts[] = {"LCR", "LRLR", "LCRLR", "LCRLRF", "LCRLRCF", "LCRLRLRF"};
    return channels >= 3 && channels <= 8 ? Layouts[channels - 3] : nullptr;
}

}  // namespace

std::unique_ptr<VorbisStream> VorbisStream::Open(std::vector<uint8_t> file) {
    std::unique_ptr<VorbisStream> s(new VorbisStream);
    if (!s->Start(std::move(file))) return nullptr;
    return s;
}

VorbisStream::~VorbisStream() {
    if (v_) stb_vorbis_close(v_);
}

bool VorbisStream::Start(std::vector<uint8_t> file) {
    const size_t playable = VorbisPlayableBytes(file.data(), file.size());
    if (playable == 0 || playable > INT_MAX) return false;
    file.resize(playable);
    file_ = std::move(file);

    for (size_t arena = FirstArena; arena <= LargestArena && !v_; arena *= 4) {
        arena_.assign(arena, 0);
        const stb_vorbis_alloc alloc{arena_.data(), static_cast<int>(arena_.size())};
        int error = 0;
        v_ = stb_vorbis_open_memory(file_.data(), static_cast<int>(file_.size()), &error, &alloc);
        if (!v_ && error != VORBIS_outofmem) return false;
    }
    if (!v_) return false;
    const stb_vorbis_info info = stb_vorbis_get_info(v_);
    if (info.channels < 1 || info.sample_rate < 1000 || info.sample_rate > 192000) return false;
    rate_ = info.sample_rate;
    channels_ = info.channels >= 2 ? 2 : 1;

    // Headers alone do not make a playable sound: it needs at least one decodable packet.
    int channels = 0;
    float** pcm = nullptr;
    return stb_vorbis_get_frame_float(v_, &channels, &pcm) > 0 && stb_vorbis_seek_start(v_);
}

void VorbisStream::Mix(size_t i, int16_t* out) const {
    if (channels_ == 1) {
        out[0] = ToPcm(frame_[0][i]);
    } else if (frameChannels_ == 2) {
        out[0] = ToPcm(frame_[0][i]);
        out[1] = ToPcm(frame_[1][i]);
    } else {
        const char* sides = Sides(frameChannels_);
        float left = 0, right = 0, leftWeight = 0, rightWeight = 0;
        for (int c = 0; c < frameChannels_; ++c) {
            const char side = sides ? sides[c] : (c % 2 ? 'R' : 'L');
            const float weight = side == 'C' ? 0.7f : side == 'F' ? 0.0f : 1.0f;
            if (side != 'R') left += weight * frame_[c][i], leftWeight += weight;
            if (side != 'L') right += weight * frame_[c][i], rightWeight += weight;
        }
        out[0] = ToPcm(left / leftWeight);
        out[1] = ToPcm(right / rightWeight);
    }
}

// Decodes to floats and converts here: stb_vorbis's own conversion to 16 bits
// overflows on the wild values a damaged packet gives.
size_t VorbisStream::Read(int16_t* out, size_t frames) {
    size_t done = 0;
    while (done < frames) {
        if (framePos_ >= frameLength_) {
            if (ended_) break;
            const int n = stb_vorbis_get_frame_float(v_, &frameChannels_, &frame_);
            if (n <= 0 || frameChannels_ < 1) {
                ended_ = true;
                break;
            }
            frameLength_ = static_cast<size_t>(n);
            framePos_ = 0;
            continue;
        }
        const size_t n = std::min(frameLength_ - framePos_, frames - done);
        for (size_t i = 0; i < n; ++i) Mix(framePos_ + i, out + (done + i) * channels_);
        framePos_ += n;
        done += n;
    }
    return done;
}

}  // namespace tunelark::fsound
