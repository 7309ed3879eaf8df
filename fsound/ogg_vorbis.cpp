#include "fsound/ogg_vorbis.h"

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include <algorithm>
#include <climits>

#include "fsound/ogg_page.h"

namespace tunelark::fsound {
namespace {

// Ordinary files need well under the first size; a rare one with large codebooks gets
// more, up to a bound no notification sound comes near.
constexpr size_t FirstArena = 512 * 1024;
constexpr size_t LargestArena = 16 * 1024 * 1024;

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
    short probe[2];
    return stb_vorbis_get_samples_short_interleaved(v_, 2, probe, 2) > 0 && stb_vorbis_seek_start(v_);
}

size_t VorbisStream::Read(int16_t* out, size_t frames) {
    const int channels = static_cast<int>(channels_);
    size_t done = 0;
    while (done < frames && !ended_) {
        const size_t want = std::min<size_t>(frames - done, INT_MAX / 2);
        const int n = stb_vorbis_get_samples_short_interleaved(v_, channels, out + done * channels,
                                                               static_cast<int>(want * channels));
        if (n <= 0) ended_ = true;
        else done += static_cast<size_t>(n);
    }
    return done;
}

}  // namespace tunelark::fsound
