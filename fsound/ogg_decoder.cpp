// Ogg Vorbis through stb_vorbis. Sounds with more than two channels are mixed down to
// stereo by the decoder itself.
#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include "fsound/decoder.h"

namespace tunelark::fsound {
namespace {

class OggDecoder : public Decoder {
public:
    explicit OggDecoder(stb_vorbis* v) : v_(v) {
        const stb_vorbis_info info = stb_vorbis_get_info(v_);
        format_ = {info.sample_rate, info.channels >= 2 ? 2u : 1u};
    }
    ~OggDecoder() override { stb_vorbis_close(v_); }
    OggDecoder(const OggDecoder&) = delete;
    OggDecoder& operator=(const OggDecoder&) = delete;

    size_t Read(int16_t* out, size_t frames) override {
        const int channels = static_cast<int>(format_.channels);
        size_t done = 0;
        while (done < frames) {
            int n = stb_vorbis_get_samples_short_interleaved(
                v_, channels, out + done * channels, static_cast<int>((frames - done) * channels));
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        return done;
    }

private:
    stb_vorbis* v_;
};

}  // namespace

std::unique_ptr<Decoder> OpenOggDecoder(const std::string& path) {
    int error = 0;
    stb_vorbis* v = stb_vorbis_open_filename(path.c_str(), &error, nullptr);
    if (!v) return nullptr;
    const stb_vorbis_info info = stb_vorbis_get_info(v);
    if (info.channels < 1 || info.sample_rate < 1000 || info.sample_rate > 192000) {
        stb_vorbis_close(v);
        return nullptr;
    }
    auto decoder = std::make_unique<OggDecoder>(v);
    // Headers alone do not make a playable sound: it needs at least one decodable packet.
    short probe[2];
    if (stb_vorbis_get_samples_short_interleaved(v, 2, probe, 2) <= 0 || !stb_vorbis_seek_start(v))
        return nullptr;
    return decoder;
}

}  // namespace tunelark::fsound
