// Fuzzes the WAVE parser, the sample conversion and the loudness meter with arbitrary
// files. The file is an exact-size heap copy, so the sanitizers see any read past its end;
// what the parser accepts must lie within the file and convert without touching more than
// it claims.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fsound/loudness.h"
#include "fsound/wav_parse.h"

namespace {

using tunelark::fsound::ByteSource;
using tunelark::fsound::WavEncoding;
using tunelark::fsound::WavInfo;

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t n) override {
        if (offset > bytes_.size() || n > bytes_.size() - offset) return false;
        std::memcpy(buffer, bytes_.data() + offset, n);
        return true;
    }
    const std::uint8_t* At(std::uint64_t offset) const { return bytes_.data() + offset; }

private:
    std::vector<std::uint8_t> bytes_;
};

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemorySource file(std::vector<std::uint8_t>(data, data + size));
    WavInfo info;
    if (!tunelark::fsound::ParseWav(file, info)) return 0;

    Check(info.dataOffset <= size && info.dataBytes <= size - info.dataOffset);
    Check(info.dataBytes >= info.blockAlign && info.blockAlign > 0);
    Check(info.channels == 1 || info.channels == 2);
    // The format handed to the codecs: cbSize matches what is there.
    Check(info.fmt.size() >= 18 && info.fmt.size() == 18u + (info.fmt[16] | (info.fmt[17] << 8)));
    if (info.encoding == WavEncoding::Codec) return 0;
    Check(info.containerBytes * info.channels == info.blockAlign);

    // Convert the start of the data from an exact-size copy into an exact-size output.
    const std::size_t frames = std::min<std::uint64_t>(info.dataBytes, 64 * 1024) / info.blockAlign;
    std::vector<std::uint8_t> in(file.At(info.dataOffset), file.At(info.dataOffset) + frames * info.blockAlign);
    std::vector<std::int16_t> out(frames * info.channels);
    Check(tunelark::fsound::WavToPcm16(info, in.data(), in.size(), out.data()) == frames);

    // The loudness meter, fed in two pieces, takes whatever plays: its filters stay stable
    // at every rate (a figure no full-scale sound reaches would show one that is not).
    tunelark::fsound::LoudnessMeter meter(info.sampleRate, info.channels);
    meter.Add(out.data(), frames / 2);
    meter.Add(out.data() + frames / 2 * info.channels, frames - frames / 2);
    const double lufs = meter.IntegratedLoudness(), peak = meter.SamplePeak();
    Check((lufs == -HUGE_VAL || (std::isfinite(lufs) && lufs < 20)) && peak >= 0 && peak <= 1);
    return 0;
}
