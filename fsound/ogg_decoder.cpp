// Ogg Vorbis files: read whole (sounds here are short) and decoded from memory, so that
// nothing of the file reaches the decoder unchecked.
#include <windows.h>

#include <vector>

#include "fsound/decoder.h"
#include "fsound/handles.h"
#include "fsound/ogg_vorbis.h"

namespace tunelark::fsound {
namespace {

constexpr DWORD LargestFile = 64 * 1024 * 1024;

class OggDecoder : public Decoder {
public:
    explicit OggDecoder(std::unique_ptr<VorbisStream> s) : stream_(std::move(s)) {
        format_ = {stream_->SampleRate(), stream_->Channels()};
    }
    size_t Read(int16_t* out, size_t frames) override { return stream_->Read(out, frames); }

private:
    std::unique_ptr<VorbisStream> stream_;
};

}  // namespace

std::unique_ptr<Decoder> OpenOggDecoder(const std::string& path) {
    std::vector<uint8_t> data;
    {
        KernelHandle file = OpenForReading(path.c_str());
        if (!file) return nullptr;
        const DWORD size = GetFileSize(file.get(), nullptr);
        if (size == INVALID_FILE_SIZE || size > LargestFile) return nullptr;
        data.resize(size);
        DWORD got = 0;
        if (size > 0 && !ReadFile(file.get(), data.data(), size, &got, nullptr)) return nullptr;
        data.resize(got);
    }
    auto stream = VorbisStream::Open(std::move(data));
    if (!stream) return nullptr;
    return std::make_unique<OggDecoder>(std::move(stream));
}

}  // namespace tunelark::fsound
