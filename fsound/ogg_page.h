// Ogg pages and the Vorbis header packets, checked by hand before the Vorbis decoder
// sees a byte: stb_vorbis trusts page CRCs it never checks and header lengths it never
// bounds, and a lie in either decodes garbage or breaks its clean-up.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tunelark::fsound {

struct OggPage {
    uint8_t headerType = 0;  // 1 continued packet, 2 first page, 4 last page
    int64_t granule = 0;
    uint32_t serial = 0;
    uint32_t sequence = 0;
    const uint8_t* lacing = nullptr;  // segment table
    size_t segments = 0;
    size_t headerBytes = 0;  // 27 + segments
    size_t bodyBytes = 0;
    size_t Bytes() const { return headerBytes + bodyBytes; }
    // Whether the page's last packet ends on this page.
    bool EndsOnPacket() const { return segments > 0 && lacing[segments - 1] < 255; }
};

uint32_t OggCrc(const uint8_t* p, size_t n);

// Reads the page at p. False unless the whole page (header, segment table, body) lies
// within `available` bytes and its CRC matches.
bool ParseOggPage(const uint8_t* p, size_t available, OggPage& page);

// How many leading bytes of an Ogg Vorbis file may go to the decoder: the first logical
// stream's pages, whole, CRC-checked and in sequence, up to the last one that ends a
// packet, before anything broken. 0 when its three header packets are not all there and
// well-formed, so the file is refused.
size_t VorbisPlayableBytes(const uint8_t* data, size_t size);

}  // namespace tunelark::fsound
