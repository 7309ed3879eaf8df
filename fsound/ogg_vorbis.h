// Ogg Vorbis decoding over a file held in memory, platform-free so it can be fuzzed
// natively. Only the part VorbisPlayableBytes() vouches for reaches stb_vorbis.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct stb_vorbis;

namespace tunelark::fsound {

class VorbisStream {
public:
    // Null when the file is not a playable Ogg Vorbis sound.
    static std::unique_ptr<VorbisStream> Open(std::vector<uint8_t> file);
    ~VorbisStream();
    VorbisStream(const VorbisStream&) = delete;
    VorbisStream& operator=(const VorbisStream&) = delete;

    unsigned SampleRate() const { return rate_; }
    unsigned Channels() const { return channels_; }  // 1 or 2; more are mixed down to 2
    // Up to `frames` interleaved frames; 0 at the end or at a packet it cannot decode.
    size_t Read(int16_t* out, size_t frames);

private:
    VorbisStream() = default;
    bool Start(std::vector<uint8_t> file);
    void Mix(size_t i, int16_t* out) const;

    std::vector<uint8_t> file_;
    // The decoder allocates everything from here, so a setup it gives up on half-way
    // leaves nothing behind, and a header cannot make it ask for more than this.
    std::vector<char> arena_;
    ::stb_vorbis* v_ = nullptr;
    unsigned rate_ = 0, channels_ = 0;
    bool ended_ = false;
    // The decoded frame being handed out, per channel; owned by the decoder.
    float** frame_ = nullptr;
    int frameChannels_ = 0;
    size_t frameLength_ = 0, framePos_ = 0;
};

}  // namespace tunelark::fsound
