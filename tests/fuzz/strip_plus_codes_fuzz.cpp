// Fuzzes the name stripping with arbitrary names, code tables, host versions and code pages.
// Input layout: one byte of host version, one of the code page, then seven codes (a length
// byte, taken modulo 5 so that over-long codes occur too, and that many bytes), the name.
// Names and codes are copied into buffers of exactly their size, so the sanitizers
// see any read past their end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "plugin/names/strip_plus_codes.h"

namespace {

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    std::string Bytes(std::size_t n) {
        n = n < size_ - pos_ ? n : size_ - pos_;
        std::string out(reinterpret_cast<const char*>(data_ + pos_), n);
        pos_ += n;
        return out;
    }

    std::string Rest() { return Bytes(size_ - pos_); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    // Around the limit between the two index tables, and the extremes.
    const std::uint8_t versionByte = in.Byte();
    const int hostVersion = versionByte == 0xFF ? INT32_MIN : versionByte == 0xFE ? INT32_MAX : versionByte % 6;
    // Single-byte, and the lead bytes of 932 and 936.
    const tunelark::CodePage pages[] = {{}, tunelark::CodePage({{0x81, 0x9F}, {0xE0, 0xFC}}), tunelark::CodePage({{0x81, 0xFE}})};
    const tunelark::CodePage& page = pages[in.Byte() % 3];

    tunelark::PlusCodes codes;
    for (std::string* code : {&codes.colour, &codes.bold, &codes.italic, &codes.underline, &codes.strikeout,
                              &codes.reset, &codes.nbsp}) {
        *code = in.Bytes(in.Byte() % 5);
    }

    // An exact-size heap copy, with no terminator, so an overrun of the name is caught.
    const std::string name = in.Rest();
    std::unique_ptr<char[]> exact(new char[name.size() ? name.size() : 1]);
    std::memcpy(exact.get(), name.data(), name.size());
    const std::string result =
        tunelark::StripPlusCodesFromText(std::string_view(exact.get(), name.size()), codes, hostVersion, page);

    // With no codes that could match, the name comes back unchanged.
    if (codes.colour.empty() && codes.bold.empty() && codes.italic.empty() && codes.underline.empty() &&
        codes.strikeout.empty() && codes.reset.empty() && name.find(codes.nbsp + "{") == std::string::npos) {
        Check(result == name);
    }
    // The reset code goes last, and cutting off the trailing part cannot bring one back.
    if (!codes.reset.empty()) Check(page.Find(result, codes.reset) == std::string::npos);
    // Every step only removes characters, so the result is a subsequence of the name.
    std::size_t matched = 0;
    for (std::size_t i = 0; i < name.size() && matched < result.size(); ++i) {
        if (name[i] == result[matched]) ++matched;
    }
    Check(matched == result.size());

    return 0;
}
