// PCM WAV through the multimedia I/O functions, which walk the RIFF chunks for us.
#include <algorithm>
#include <vector>

#include "fsound/decoder.h"
#include "fsound/handles.h"

namespace tunelark::fsound {
namespace {

// KSDATAFORMAT_SUBTYPE_PCM starts with the PCM format tag; the rest is the common GUID tail.
constexpr unsigned char PcmSubtypeTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

class WavDecoder : public Decoder {
public:
    WavDecoder(MmioHandle mmio, PcmFormat format, unsigned bits, DWORD dataBytes)
        : mmio_(std::move(mmio)), bits_(bits), remaining_(dataBytes) {
        format_ = format;
    }

    size_t Read(int16_t* out, size_t frames) override {
        const size_t frameBytes = format_.channels * (bits_ / 8);
        size_t want = frames * frameBytes;
        if (want > remaining_) want = remaining_ - remaining_ % frameBytes;
        if (want == 0) return 0;
        raw_.resize(want);
        LONG got = mmioRead(mmio_.get(), reinterpret_cast<HPSTR>(raw_.data()), static_cast<LONG>(want));
        if (got <= 0) {
            remaining_ = 0;
            return 0;
        }
        remaining_ -= static_cast<DWORD>(got);
        const size_t samples = (static_cast<size_t>(got) / frameBytes) * format_.channels;
        if (bits_ == 8) {
            for (size_t i = 0; i < samples; ++i)
                out[i] = static_cast<int16_t>((static_cast<int>(raw_[i]) - 128) << 8);
        } else {
            for (size_t i = 0; i < samples; ++i)
                out[i] = static_cast<int16_t>(raw_[2 * i] | (raw_[2 * i + 1] << 8));
        }
        // A short read means the data chunk claims more than the file holds.
        if (static_cast<size_t>(got) < want) remaining_ = 0;
        return samples / format_.channels;
    }

private:
    MmioHandle mmio_;
    unsigned bits_;
    DWORD remaining_;
    std::vector<unsigned char> raw_;
};

}  // namespace

std::unique_ptr<Decoder> OpenWavDecoder(const std::string& path) {
    std::string name = path;  // mmioOpen wants a writable buffer
    MmioHandle mmio(mmioOpenA(name.data(), nullptr, MMIO_READ | MMIO_ALLOCBUF | MMIO_DENYWRITE));
    if (!mmio) return nullptr;

    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    if (mmioDescend(mmio.get(), &riff, nullptr, MMIO_FINDRIFF) != MMSYSERR_NOERROR) return nullptr;

    MMCKINFO fmt{};
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioDescend(mmio.get(), &fmt, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) return nullptr;
    if (fmt.cksize < 16) return nullptr;
    WAVEFORMATEXTENSIBLE wf{};
    const LONG fmtBytes = static_cast<LONG>(fmt.cksize < sizeof wf ? fmt.cksize : sizeof wf);
    if (mmioRead(mmio.get(), reinterpret_cast<HPSTR>(&wf), fmtBytes) != fmtBytes) return nullptr;
    mmioAscend(mmio.get(), &fmt, 0);

    const WAVEFORMATEX& f = wf.Format;
    bool pcm = f.wFormatTag == WAVE_FORMAT_PCM;
    if (f.wFormatTag == WAVE_FORMAT_EXTENSIBLE && fmtBytes >= static_cast<LONG>(sizeof wf)) {
        const auto* guid = reinterpret_cast<const unsigned char*>(&wf.SubFormat);
        pcm = guid[0] == WAVE_FORMAT_PCM && guid[1] == 0 &&
              std::equal(PcmSubtypeTail + 0, PcmSubtypeTail + 14, guid + 2);
    }
    if (!pcm || (f.wBitsPerSample != 8 && f.wBitsPerSample != 16)) return nullptr;
    if (f.nChannels < 1 || f.nChannels > 2) return nullptr;
    if (f.nSamplesPerSec < 1000 || f.nSamplesPerSec > 192000) return nullptr;

    MMCKINFO data{};
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioDescend(mmio.get(), &data, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) return nullptr;
    const DWORD frameBytes = f.nChannels * (f.wBitsPerSample / 8);
    if (data.cksize < frameBytes) return nullptr;  // nothing to play

    PcmFormat format{f.nSamplesPerSec, f.nChannels};
    return std::make_unique<WavDecoder>(std::move(mmio), format, f.wBitsPerSample, data.cksize);
}

}  // namespace tunelark::fsound
