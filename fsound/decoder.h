// Decoders turn a sound file into 16-bit signed little-endian PCM at the file's own
// sample rate, mono or stereo. That is also the format handed to waveOut, so the
// system's mixer does any resampling and no conversion happens here beyond 8 to 16 bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tunelark::fsound {

struct PcmFormat {
    unsigned sampleRate = 0;
    unsigned channels = 0;  // 1 or 2
};

class Decoder {
public:
    virtual ~Decoder() = default;
    const PcmFormat& Format() const { return format_; }
    // Fills up to `frames` frames (one 16-bit sample per channel each) and answers how
    // many it wrote; 0 means the end of the sound (or an unreadable rest of the file).
    virtual size_t Read(int16_t* out, size_t frames) = 0;

protected:
    PcmFormat format_;
};

// Recognises the file by its content and prepares it for decoding; only a file named
// .raw that no decoder recognises is taken as headerless PCM (16-bit stereo 44.1 kHz).
// Null when the file cannot be read or holds nothing this layer can play.
std::unique_ptr<Decoder> OpenDecoder(const std::string& path);

std::unique_ptr<Decoder> OpenWavDecoder(const std::string& path);
std::unique_ptr<Decoder> OpenRawDecoder(const std::string& path);
std::unique_ptr<Decoder> OpenMpegDecoder(const std::string& path);
std::unique_ptr<Decoder> OpenOggDecoder(const std::string& path);

}  // namespace tunelark::fsound
