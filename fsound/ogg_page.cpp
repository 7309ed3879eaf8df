#include "fsound/ogg_page.h"

#include <array>
#include <cstring>
#include <string>

namespace tunelark::fsound {
namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i << 24;
        for (int k = 0; k < 8; ++k) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
        table[i] = r;
    }
    return table;
}
constexpr std::array<uint32_t, 256> CrcTable = MakeCrcTable();

uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool IsVorbisHeader(const std::string& packet, uint8_t type) {
    return packet.size() >= 7 && uint8_t(packet[0]) == type && packet.compare(1, 6, "vorbis") == 0;
}

bool ValidIdentification(const std::string& p) {
    if (p.size() != 30 || !IsVorbisHeader(p, 1)) return false;
    const auto* b = reinterpret_cast<const uint8_t*>(p.data());
    const unsigned small = b[28] & 15, large = b[28] >> 4;
    return Le32(b + 7) == 0 && b[11] != 0 && Le32(b + 12) != 0 && small >= 6 && large <= 13 &&
           small <= large && (b[29] & 1);
}

// The decoder reads every length here as given, so each must fit in what is left.
bool ValidComment(const std::string& p) {
    if (!IsVorbisHeader(p, 3)) return false;
    const auto* b = reinterpret_cast<const uint8_t*>(p.data());
    size_t pos = 7;
    auto length = [&](uint64_t& n) {
        if (p.size() - pos < 4) return false;
        n = Le32(b + pos);
        pos += 4;
        return n <= p.size() - pos;
    };
    uint64_t vendor = 0, count = 0;
    if (!length(vendor)) return false;
    pos += vendor;
    if (!length(count) || count * 4 > p.size() - pos) return false;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t n = 0;
        if (!length(n)) return false;
        pos += n;
    }
    return pos < p.size() && (b[pos] & 1);
}

}  // namespace

uint32_t OggCrc(const uint8_t* p, size_t n) {
    uint32_t crc = 0;
    for (size_t i = 0; i < n; ++i) crc = (crc << 8) ^ CrcTable[(crc >> 24) ^ p[i]];
    return crc;
}

bool ParseOggPage(const uint8_t* p, size_t available, OggPage& page) {
    if (available < 27 || std::memcmp(p, "OggS", 4) != 0 || p[4] != 0 || (p[5] & ~7u) != 0) return false;
    page.headerType = p[5];
    uint64_t granule = 0;
    for (int i = 7; i >= 0; --i) granule = (granule << 8) | p[6 + i];
    page.granule = static_cast<int64_t>(granule);
    page.serial = Le32(p + 14);
    page.sequence = Le32(p + 18);
    page.segments = p[26];
    page.headerBytes = 27 + page.segments;
    if (available < page.headerBytes) return false;
    page.lacing = p + 27;
    page.bodyBytes = 0;
    for (size_t i = 0; i < page.segments; ++i) page.bodyBytes += page.lacing[i];
    if (available - page.headerBytes < page.bodyBytes) return false;

    // The CRC is taken with its own field as zeros.
    static constexpr uint8_t Zeros[4] = {};
    uint32_t crc = 0;
    auto feed = [&crc](const uint8_t* q, size_t n) {
        for (size_t i = 0; i < n; ++i) crc = (crc << 8) ^ CrcTable[(crc >> 24) ^ q[i]];
    };
    feed(p, 22);
    feed(Zeros, 4);
    feed(p + 26, page.Bytes() - 26);
    return crc == Le32(p + 22);
}

size_t VorbisPlayableBytes(const uint8_t* data, size_t size) {
    std::string headers[3];
    int packetsDone = 0;
    size_t pos = 0, playable = 0;
    bool midPacket = false;
    OggPage first, page;
    int64_t lastGranule = 0;
    while (pos < size && ParseOggPage(data + pos, size - pos, page)) {
        const bool continued = (page.headerType & 1) != 0;
        if (pos == 0) {
            if (!(page.headerType & 2) || continued) return 0;
            first = page;
        } else if (page.serial != first.serial || page.sequence != first.sequence + 1 ||
                   (page.headerType & 2) || continued != midPacket) {
            break;  // another stream, a lost page or a broken chain of packets: the end
        }
        first.sequence = page.sequence;
        if (page.granule != -1) {
            if (page.granule < lastGranule) break;
            lastGranule = page.granule;
        }

        const uint8_t* body = data + pos + page.headerBytes;
        for (size_t i = 0; i < page.segments; ++i) {
            const uint8_t n = page.lacing[i];
            if (packetsDone < 3) headers[packetsDone].append(reinterpret_cast<const char*>(body), n);
            body += n;
            midPacket = n == 255;
            if (!midPacket && packetsDone < 3) ++packetsDone;
        }
        pos += page.Bytes();
        if (page.segments > 0 && !midPacket && packetsDone == 3) playable = pos;
        if (page.headerType & 4) break;
    }
    if (packetsDone < 3 || !ValidIdentification(headers[0]) || !ValidComment(headers[1]) ||
        !IsVorbisHeader(headers[2], 5))
        return 0;
    return playable;
}

}  // namespace tunelark::fsound
