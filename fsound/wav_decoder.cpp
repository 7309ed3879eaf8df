// WAV files (integer and float PCM directly, everything else through the Audio
// Compression Manager) and headerless .raw files.
#include <windows.h>
#include <mmreg.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "fsound/acm_conversion.h"
#include "fsound/decoder.h"
#include "fsound/handles.h"
#include "fsound/pcm_queue.h"
#include "fsound/wav_parse.h"
#include "fsound/wave_format.h"

namespace tunelark::fsound {
namespace {

constexpr DWORD PcmChunkLimit = 1 << 20;   // bytes read per Read call at most
constexpr DWORD CodecSourceChunk = 8 * 1024;  // compressed bytes fed to the codec per call
constexpr DWORD CodecOutputLimit = 4 << 20;   // more per chunk than any codec expands to
constexpr DWORD FirstSoundLimit = 256 * 1024;  // compressed bytes allowed before any sound

class FileSource : public ByteSource {
public:
    explicit FileSource(HANDLE file) : file_(file) {
        LARGE_INTEGER size{};
        if (GetFileSizeEx(file_, &size)) size_ = static_cast<uint64_t>(size.QuadPart);
    }
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* buffer, size_t n) override { return Read(offset, buffer, n) == n; }

    // Answers how many bytes it read (fewer at the end of the file or on an error).
    size_t Read(uint64_t offset, void* buffer, size_t n) {
        LARGE_INTEGER to{};
        to.QuadPart = static_cast<LONGLONG>(offset);
        DWORD got = 0;
        if (n > MAXDWORD || !SetFilePointerEx(file_, to, nullptr, FILE_BEGIN) ||
            !ReadFile(file_, buffer, static_cast<DWORD>(n), &got, nullptr))
            return 0;
        return got;
    }

private:
    HANDLE file_;
    uint64_t size_ = 0;
};

// Integer and float samples, converted as they are read.
class PcmDecoder : public Decoder {
public:
    PcmDecoder(KernelHandle file, const WavInfo& info)
        : file_(std::move(file)), source_(file_.get()), info_(info), pos_(info.dataOffset),
          remaining_(info.dataBytes - info.dataBytes % info.blockAlign) {
        format_ = {info.sampleRate, info.channels};
    }

    size_t Read(int16_t* out, size_t frames) override {
        const size_t maxFrames = std::max<size_t>(1, PcmChunkLimit / info_.blockAlign);
        const size_t n = std::min<uint64_t>({frames, maxFrames, remaining_ / info_.blockAlign});
        if (n == 0) return 0;
        raw_.resize(n * info_.blockAlign);
        const size_t got = source_.Read(pos_, raw_.data(), raw_.size());
        // A short read means the file ended (or failed) early: play what came.
        remaining_ = got < raw_.size() ? 0 : remaining_ - got;
        pos_ += got;
        return WavToPcm16(info_, raw_.data(), got, out);
    }

private:
    KernelHandle file_;
    FileSource source_;
    WavInfo info_;
    uint64_t pos_, remaining_;
    std::vector<uint8_t> raw_;
};

// Any other format tag: the system's codec for it turns whole blocks into PCM.
class CodecDecoder : public Decoder {
public:
    CodecDecoder(KernelHandle file, const WavInfo& info)
        : file_(std::move(file)), source_(file_.get()), info_(info), pos_(info.dataOffset),
          end_(info.dataOffset + info.dataBytes) {
        format_ = {info.sampleRate, info.channels};
        pcm_.SetChannels(info.channels);
        // The ADPCM codecs fill the last block up with silence; the fact chunk says where
        // the sound really ends. Streaming writers leave it at 0.
        if (info.hasFact && info.factFrames > 0) frameLimit_ = info.factFrames;
    }

    bool Open() {
        const DWORD block = info_.blockAlign;
        const DWORD chunk = block * std::max<DWORD>(1, CodecSourceChunk / block);
        if (!codec_.Open(reinterpret_cast<const WAVEFORMATEX*>(info_.fmt.data()),
                         Pcm16WaveFormat(info_.channels, info_.sampleRate), chunk, 0, CodecOutputLimit))
            return false;
        // A file the codec gives no sound for is not playable.
        const uint64_t firstPos = pos_;
        while (pcm_.Ready() == 0 && !finished_ && pos_ - firstPos < FirstSoundLimit) Decode();
        return pcm_.Ready() > 0;
    }

    size_t Read(int16_t* out, size_t frames) override {
        return pcm_.Take(out, frames, 0, [this] {
            if (finished_) return false;
            Decode();
            return true;
        });
    }

private:
    // Feeds the codec one more piece of the data chunk and queues what it gives.
    void Decode() {
        const DWORD chunk = codec_.SourceSize();
        const DWORD want = static_cast<DWORD>(std::min<uint64_t>(chunk - pending_, end_ - pos_));
        size_t got = 0;
        if (want > 0) {
            got = source_.Read(pos_, codec_.Source() + pending_, want);
            if (got < want) end_ = pos_ + got;  // cut short: end with what there is
        }
        pos_ += got;
        const bool last = pos_ >= end_;
        const DWORD fed = static_cast<DWORD>(pending_ + got);
        DWORD used = 0, produced = 0;
        if (!codec_.Convert(fed, last, used, produced)) {
            finished_ = true;  // the codec gave up: end the sound here
            return;
        }
        pending_ = fed - used;
        if (pending_ > 0) std::memmove(codec_.Source(), codec_.Source() + used, pending_);

        const size_t frameBytes = format_.channels * 2;
        size_t bytes = produced - produced % frameBytes;
        if (frameLimit_ - framesOut_ < bytes / frameBytes) {
            bytes = (frameLimit_ - framesOut_) * frameBytes;
            finished_ = true;
        }
        framesOut_ += bytes / frameBytes;
        pcm_.Append(codec_.Output(), bytes);
        // Done when the data is used up and the codec has nothing more to give, or when
        // it stops taking input altogether (a last piece smaller than a block).
        if (last && (produced == 0 || pending_ == 0 || used == 0)) finished_ = true;
        if (!last && used == 0 && produced == 0 && pending_ == chunk) finished_ = true;
    }

    KernelHandle file_;
    FileSource source_;
    WavInfo info_;
    AcmConversion codec_;
    DWORD pending_ = 0;  // undecoded bytes kept at the start of the codec's source buffer
    uint64_t pos_, end_;
    uint64_t frameLimit_ = UINT64_MAX, framesOut_ = 0;
    bool finished_ = false;
    PcmQueue pcm_;
};

}  // namespace

std::unique_ptr<Decoder> OpenWavDecoder(const std::string& path) {
    KernelHandle file = OpenForReading(path.c_str());
    if (!file) return nullptr;
    WavInfo info;
    FileSource source(file.get());
    if (!ParseWav(source, info)) return nullptr;
    if (info.encoding != WavEncoding::Codec) return std::make_unique<PcmDecoder>(std::move(file), info);
    auto decoder = std::make_unique<CodecDecoder>(std::move(file), info);
    if (!decoder->Open()) return nullptr;
    return decoder;
}

std::unique_ptr<Decoder> OpenRawDecoder(const std::string& path) {
    KernelHandle file = OpenForReading(path.c_str());
    if (!file) return nullptr;
    // Headerless: CD-quality 16-bit stereo is what such files hold.
    WavInfo info;
    info.encoding = WavEncoding::Pcm;
    info.formatTag = WavTagPcm;
    info.channels = 2;
    info.sampleRate = 44100;
    info.bitsPerSample = 16;
    info.containerBytes = 2;
    info.blockAlign = 4;
    info.dataBytes = FileSource(file.get()).Size();
    if (info.dataBytes < info.blockAlign) return nullptr;
    return std::make_unique<PcmDecoder>(std::move(file), info);
}

}  // namespace tunelark::fsound
