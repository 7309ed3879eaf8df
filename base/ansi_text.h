// ANSI text walked by character. In the double-byte code pages of Japanese, Chinese and
// Korean Windows (932, 936, 949, 950) a lead byte and the byte after it are one
// character, and that second byte may be "\" (0x5C), "|" (0x7C) or an ASCII letter: a
// byte-by-byte look would split a file name at a "backslash" that is not one, or fold a
// letter that is half of another character. In the single-byte code pages every byte is
// a character, and every answer here is what a byte-by-byte look gives.
//
// Second bytes are never below 0x40 in any of these code pages, so a search for a blank,
// a digit, ".", ":", "," or a parenthesis finds the same byte either way.
//
// Free of Windows headers but for SystemCodePage, so that what uses it also builds (and
// is fuzzed) natively.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace tunelark {

class CodePage {
public:
    static constexpr std::size_t npos = std::string_view::npos;

    // Every byte a character of its own.
    CodePage() = default;
    // Lead bytes as GetCPInfo gives them: ranges, first to last inclusive.
    explicit CodePage(std::initializer_list<std::pair<unsigned char, unsigned char>> leadRanges);
    void AddLeadRange(unsigned char first, unsigned char last);

    bool IsLeadByte(char c) const { return lead_[static_cast<unsigned char>(c)]; }
    bool IsDoubleByte() const { return doubleByte_; }

    // Bytes of the character that starts at i: 2 for a lead byte with a byte after it, else 1.
    std::size_t CharSize(std::string_view text, std::size_t i) const {
        return IsLeadByte(text[i]) && i + 1 < text.size() ? 2 : 1;
    }

    // The first character at or after `from` that is one of `chars` (single-byte
    // characters), or npos; FindLastOf the last one.
    std::size_t FindFirstOf(std::string_view text, std::string_view chars, std::size_t from = 0) const;
    std::size_t FindLastOf(std::string_view text, std::string_view chars) const;
    std::size_t Find(std::string_view text, char c, std::size_t from = 0) const {
        return FindFirstOf(text, std::string_view(&c, 1), from);
    }
    // Where `needle` first (last) stands as whole characters of text: it starts and ends
    // where characters do. npos when nowhere, or when needle is empty.
    std::size_t Find(std::string_view text, std::string_view needle, std::size_t from = 0) const;
    std::size_t FindLast(std::string_view text, std::string_view needle) const;

    // Whether the last character of text is c.
    bool EndsWith(std::string_view text, char c) const;
    std::size_t CharCount(std::string_view text) const;
    // The most bytes of text, at most `limit`, that end where a character ends: text cut
    // there never ends in half a character (a lead byte before the terminator).
    std::size_t FitLength(std::string_view text, std::size_t limit) const;
    // Text cut to at most `limit` bytes that way.
    std::string_view Fit(std::string_view text, std::size_t limit) const { return text.substr(0, FitLength(text, limit)); }

    // The ASCII letters A to Z that are characters of their own made small: the form in
    // which two texts equal but for the case of their ASCII letters are equal.
    std::string FoldAsciiCase(std::string_view text) const;
    bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) const;

private:
    std::array<bool, 256> lead_{};
    bool doubleByte_ = false;
};

// The system's ANSI code page, the one every ANSI text of the plug-in is in; read once
// (Windows only).
const CodePage& SystemCodePage();
// A code page by its number; single-byte when the system does not know it (Windows only).
CodePage CodePageOf(unsigned number);

}  // namespace tunelark
