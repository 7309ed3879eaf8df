// Fuzzes Ogg Vorbis files as the sound layer reads them: the page and header checks,
// then stb_vorbis over what they let through, decoded to the end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fsound/ogg_page.h"
#include "fsound/ogg_vorbis.h"

namespace {

using namespace tunelark::fsound;

// Mutations almost always break a page CRC, which stops them at the page check; with the
// CRCs made right again they reach the header checks and stb_vorbis too.
std::vector<uint8_t> WithCrcsRepaired(const std::uint8_t* data, std::size_t size) {
    std::vector<uint8_t> d(data, data + size);
    size_t pos = 0;
    while (size - pos >= 27 && d[pos] == 'O' && d[pos + 1] == 'g' && d[pos + 2] == 'g' && d[pos + 3] == 'S') {
        size_t bytes = 27 + d[pos + 26];
        if (bytes > size - pos) break;
        for (size_t i = 0; i < d[pos + 26]; ++i) bytes += d[pos + 27 + i];
        if (bytes > size - pos) break;
        for (int i = 22; i < 26; ++i) d[pos + i] = 0;
        const uint32_t crc = OggCrc(d.data() + pos, bytes);
        for (int i = 0; i < 4; ++i) d[pos + 22 + i] = static_cast<uint8_t>(crc >> (8 * i));
        pos += bytes;
    }
    return d;
}

void Decode(const std::uint8_t* data, std::size_t size) {
    const size_t playable = VorbisPlayableBytes(data, size);
    if (playable > size) std::abort();

    auto stream = VorbisStream::Open(std::vector<uint8_t>(data, data + size));
    if (!stream) return;
    if (playable == 0 || (stream->Channels() != 1 && stream->Channels() != 2)) std::abort();
    // A Vorbis packet holds at most 8192 frames, and every one takes at least a byte.
    const size_t bound = (playable + 1) * 8192;
    std::vector<int16_t> pcm(4096 * 2);
    size_t total = 0;
    while (size_t n = stream->Read(pcm.data(), 4096)) {
        total += n;
        if (total > bound) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Decode(data, size);
    const std::vector<uint8_t> repaired = WithCrcsRepaired(data, size);
    Decode(repaired.data(), repaired.size());
    return 0;
}
