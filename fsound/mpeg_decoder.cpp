// MP3 and MP2 through the Audio Compression Manager. The ACM codec wants the stream's
// shape up front, so the first frames are found and checked here; a file without a
// believable chain of frames, or one the codec yields no sound for, is refused.
#include <windows.h>
#include <mmreg.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "fsound/acm_conversion.h"
#include "fsound/decoder.h"
#include "fsound/handles.h"
#include "fsound/mpeg_frame.h"
#include "fsound/pcm_queue.h"
#include "fsound/wave_format.h"

namespace tunelark::fsound {
namespace {

constexpr DWORD ScanBytes = 64 * 1024;   // how far past any ID3v2 tag a first frame may lie
constexpr DWORD SourceChunk = 8 * 1024;  // compressed bytes fed to the codec per call
// Lowest bitrate at the lowest rate expands about 32-fold; leave room beyond that.
constexpr DWORD OutputChunk = SourceChunk * 64;
constexpr DWORD FirstSoundLimit = 256 * 1024;  // compressed bytes allowed before any sound

bool ReadAt(HANDLE file, DWORD offset, void* buffer, DWORD size, DWORD& got) {
    got = 0;
    if (SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return false;
    return ReadFile(file, buffer, size, &got, nullptr) != 0;
}

DWORD Id3v2Length(const unsigned char* p, DWORD available) {
    if (available < 10 || std::memcmp(p, "ID3", 3) != 0) return 0;
    if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return 0;
    DWORD size = (DWORD(p[6]) << 21) | (DWORD(p[7]) << 14) | (DWORD(p[8]) << 7) | p[9];
    return 10 + size + ((p[5] & 0x10) ? 10 : 0);
}

class MpegDecoder : public Decoder {
public:
    bool Open(const std::string& path) {
        file_ = OpenForReading(path.c_str());
        if (!file_) return false;
        const DWORD size = GetFileSize(file_.get(), nullptr);
        if (size == INVALID_FILE_SIZE || size < 4) return false;

        std::vector<unsigned char> head(std::min<DWORD>(size, ScanBytes));
        DWORD got = 0;
        if (!ReadAt(file_.get(), 0, head.data(), static_cast<DWORD>(head.size()), got)) return false;
        head.resize(got);
        DWORD start = Id3v2Length(head.data(), got);
        if (start >= size) return false;

        end_ = size;
        char tail[3] = {};
        if (size >= 128 + start && ReadAt(file_.get(), size - 128, tail, 3, got) && got == 3 &&
            std::memcmp(tail, "TAG", 3) == 0)
            end_ = size - 128;

        if (start != 0) {
            head.resize(std::min<DWORD>(end_ - start, ScanBytes));
            if (!ReadAt(file_.get(), start, head.data(), static_cast<DWORD>(head.size()), got)) return false;
            head.resize(got);
        } else if (head.size() > end_) {
            head.resize(end_);
        }
        MpegFrame frame;
        size_t at = 0;
        if (!FindMpegStream(head.data(), head.size(), start + head.size() == end_, at, frame)) return false;
        pos_ = start + static_cast<DWORD>(at);
        // An encoder's info frame decodes to a frame of silence: skip it, and trim what
        // its LAME extension says the encoder and the decoder add around the sound.
        MpegInfoFrame info;
        if (ParseMpegInfoFrame(head.data() + at, head.size() - at, frame, info)) {
            pos_ += frame.frameBytes;
            if (info.lame) {
                skip_ = info.encoderDelay + MpegDecoderDelay;
                hold_ = info.padding > MpegDecoderDelay ? info.padding - MpegDecoderDelay : 0;
            }
        }
        if (pos_ >= end_) return false;
        stream_frame_ = frame;
        nextFrame_ = pos_;
        if (!OpenCodec(frame)) return false;
        format_ = {frame.sampleRate, frame.channels};
        pcm_.SetChannels(frame.channels);

        // Some codecs take a few frames before they give out sound; a file that never
        // gives any is not playable.
        const DWORD firstPos = pos_;
        while (pcm_.Ready(hold_) == 0 && !finished_ && pos_ - firstPos < FirstSoundLimit) Decode();
        return pcm_.Ready(hold_) > 0;
    }

    // What is held back at the end is the encoder's padding: it is never read.
    size_t Read(int16_t* out, size_t frames) override {
        return pcm_.Take(out, frames, hold_, [this] {
            if (finished_) return false;
            Decode();
            return true;
        });
    }

private:
    bool OpenCodec(const MpegFrame& f) {
        const WAVEFORMATEX pcm = Pcm16WaveFormat(f.channels, f.sampleRate);
        const unsigned unpadded = f.frameBytes - (f.padding ? (f.layer == 1 ? 4 : 1) : 0);
        if (f.layer == 3) {
            MPEGLAYER3WAVEFORMAT mp3{};
            mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
            mp3.wfx.nChannels = static_cast<WORD>(f.channels);
            mp3.wfx.nSamplesPerSec = f.sampleRate;
            mp3.wfx.nAvgBytesPerSec = f.bitrate / 8;
            mp3.wfx.nBlockAlign = 1;
            mp3.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
            mp3.wID = MPEGLAYER3_ID_MPEG;
            mp3.fdwFlags = MPEGLAYER3_FLAG_PADDING_ISO;
            mp3.nBlockSize = static_cast<WORD>(unpadded);
            mp3.nFramesPerBlock = 1;
            return codec_.Open(&mp3.wfx, pcm, SourceChunk, OutputChunk, OutputChunk);
        }
        MPEG1WAVEFORMAT mp{};
        mp.wfx.wFormatTag = WAVE_FORMAT_MPEG;
        mp.wfx.nChannels = static_cast<WORD>(f.channels);
        mp.wfx.nSamplesPerSec = f.sampleRate;
        mp.wfx.nAvgBytesPerSec = f.bitrate / 8;
        // Rates of the 44.1 kHz family pad frames, so frames differ in size.
        mp.wfx.nBlockAlign = static_cast<WORD>(f.sampleRate % 11025 == 0 ? 1 : unpadded);
        mp.wfx.cbSize = sizeof(MPEG1WAVEFORMAT) - sizeof(WAVEFORMATEX);
        mp.fwHeadLayer = f.layer == 1 ? ACM_MPEG_LAYER1 : ACM_MPEG_LAYER2;
        mp.dwHeadBitrate = f.bitrate;
        static constexpr WORD Modes[4] = {ACM_MPEG_STEREO, ACM_MPEG_JOINTSTEREO,
                                          ACM_MPEG_DUALCHANNEL, ACM_MPEG_SINGLECHANNEL};
        mp.fwHeadMode = Modes[f.channelMode];
        mp.fwHeadModeExt = static_cast<WORD>(1u << f.modeExtension);
        mp.wHeadEmphasis = static_cast<WORD>(f.emphasis + 1);
        mp.fwHeadFlags = static_cast<WORD>((f.version == 1 ? ACM_MPEG_ID_MPEG1 : 0) |
                                           (f.crc ? ACM_MPEG_PROTECTIONBIT : 0));
        return codec_.Open(&mp.wfx, pcm, SourceChunk, OutputChunk, OutputChunk);
    }

    // Feeds the codec one more piece of the file and queues what it gives.
    // Only whole frames of the stream go in: a frame header that is broken, belongs to
    // another stream, or a frame cut short ends the sound there, since a codec fed such
    // data answers with loud garbage.
    void Decode() {
        DWORD want = std::min<DWORD>(SourceChunk - pending_, end_ - pos_);
        DWORD got = 0;
        if (want > 0 && (!ReadAt(file_.get(), pos_, codec_.Source() + pending_, want, got) || got == 0)) {
            got = 0;  // unreadable rest: end the sound with what the codec still holds
            end_ = pos_;
        }
        pos_ += got;
        const DWORD bufStart = pos_ - (pending_ + got);
        while (nextFrame_ < end_) {
            if (nextFrame_ + 4 > pos_ && pos_ < end_) break;  // its header comes with the next read
            MpegFrame f;
            if (end_ - nextFrame_ < 4 || !ParseMpegFrame(codec_.Source() + (nextFrame_ - bufStart), f) ||
                !SameMpegStream(f, stream_frame_) || f.frameBytes > end_ - nextFrame_) {
                end_ = pos_ = nextFrame_;
                break;
            }
            nextFrame_ += f.frameBytes;
        }
        // A header not yet read whole stays behind, unfed, until it can be checked.
        const DWORD total = pos_ - bufStart;
        const DWORD fed = std::min(nextFrame_, pos_) - bufStart;
        const bool last = bufStart + fed >= end_;
        DWORD used = 0, fresh = 0;
        if (!codec_.Convert(fed, last, used, fresh)) {
            finished_ = true;
            return;
        }
        pending_ = total - used;
        if (pending_ > 0) std::memmove(codec_.Source(), codec_.Source() + used, pending_);
        pcm_.Append(codec_.Output(), fresh);
        skip_ -= pcm_.Drop(skip_);
        // Done when the file is used up and the codec has nothing more to give, or
        // when it stops consuming input altogether.
        if (last && (fresh == 0 || pending_ == 0 || used == 0)) finished_ = true;
        if (!last && used == 0 && fresh == 0 && pending_ == SourceChunk) finished_ = true;
    }

    KernelHandle file_;
    AcmConversion codec_;
    DWORD pending_ = 0;  // undecoded bytes kept at the start of the codec's source buffer
    DWORD pos_ = 0, end_ = 0;
    bool finished_ = false;
    MpegFrame stream_frame_;
    DWORD nextFrame_ = 0;  // where the next frame header is due
    PcmQueue pcm_;
    size_t skip_ = 0, hold_ = 0;  // decoded frames to drop at the start and at the end
};

}  // namespace

std::unique_ptr<Decoder> OpenMpegDecoder(const std::string& path) {
    auto decoder = std::make_unique<MpegDecoder>();
    if (!decoder->Open(path)) return nullptr;
    return decoder;
}

}  // namespace tunelark::fsound
