#include "plugin/names/strip_plus_codes.h"

#include <cstddef>

namespace tunelark {

namespace {

// The longest group "(r,g,b)" can be, parentheses included.
constexpr std::size_t MaxRgbGroup = 13;
constexpr std::size_t HexColourDigits = 6;

// The character at i, or the terminator past the end, as the host's C strings read.
char At(const std::string& s, std::size_t i) {
    return i < s.size() ? s[i] : '\0';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

struct IndexLimits {
    int first;   // largest first digit of a two-digit index
    int second;  // largest second digit of a two-digit index
};

IndexLimits LimitsFor(int hostVersion) {
    return hostVersion <= 2 ? IndexLimits{1, 5} : IndexLimits{6, 7};
}

// Whether the digits at i and i + 1 form one two-digit colour index.
bool IsTwoDigitIndex(const std::string& s, std::size_t i, IndexLimits limits) {
    const char first = At(s, i);
    const char second = At(s, i + 1);
    return IsDigit(first) && IsDigit(second) && first - '0' <= limits.first &&
           second - '0' <= limits.second;
}

// How many characters after the colour code at q belong to an "(r,g,b)" group; 0 when
// the group is malformed and only the code goes.
std::size_t RgbGroupLength(const std::string& s, std::size_t q) {
    // Searched from the "(" on, so that a ")" inside a user-chosen colour code can never
    // be taken for the end of the group.
    const std::size_t e = s.find(')', q);
    if (e == std::string::npos || e - q + 1 > MaxRgbGroup) return 0;
    const std::string_view group = std::string_view(s).substr(q, e - q + 1);
    const std::size_t comma1 = group.find(',');
    if (comma1 == std::string_view::npos) return 0;
    const std::size_t comma2 = group.find(',', comma1 + 1);
    if (comma2 == std::string_view::npos) return 0;
    const std::string_view red = group.substr(1, comma1 - 1);
    const std::string_view green = group.substr(comma1 + 1, comma2 - comma1 - 1);
    const std::string_view blue = group.substr(comma2 + 1, group.size() - 1 - (comma2 + 1));
    if (!IsCanonicalByte(red) || !IsCanonicalByte(green) || !IsCanonicalByte(blue)) return 0;
    return group.size();
}

// How many characters after the colour code at q belong to a "fg" or "fg,bg" index.
std::size_t ColourIndexLength(const std::string& s, std::size_t q, IndexLimits limits) {
    const std::size_t f = IsTwoDigitIndex(s, q, limits) ? 2 : 1;
    if (At(s, q + f) != ',') return f;
    const std::size_t b = q + f + 1;
    if (!IsDigit(At(s, b))) return f;  // the comma belongs to the name
    return IsTwoDigitIndex(s, b, limits) ? f + 3 : f + 2;
}

// How many characters to remove for the colour code found at p.
std::size_t ColourCodeSpan(const std::string& s, std::size_t p, std::size_t codeLength,
                           IndexLimits limits) {
    const std::size_t q = p + codeLength;
    const char ch = At(s, q);
    if (ch == '#') {
        // Only a full six-digit colour counts; a name that ends early keeps its text.
        if (q + 1 + HexColourDigits <= s.size() &&
            IsHexColour(std::string_view(s).substr(q + 1, HexColourDigits))) {
            return codeLength + 1 + HexColourDigits;
        }
        return codeLength;
    }
    if (ch == '(') return codeLength + RgbGroupLength(s, q);
    if (IsDigit(ch)) return codeLength + ColourIndexLength(s, q, limits);
    return codeLength;
}

void RemoveEvery(std::string& s, const std::string& code, const CodePage& page) {
    if (code.empty()) return;
    // Searching again from the start catches occurrences that a removal joins together.
    for (std::size_t p = page.Find(s, code); p != std::string::npos; p = page.Find(s, code)) s.erase(p, code.size());
}

}  // namespace

PlusCodes DefaultPlusCodes() {
    return PlusCodes{"\xB7$", "\xB7#", "\xB7&", "\xB7@", "\xB7'", "\xB7" "0", "\xA0"};
}

bool IsHexColour(std::string_view text) {
    if (text.size() != HexColourDigits) return false;
    for (char c : text) {
        const bool hex = IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex) return false;
    }
    return true;
}

bool IsCanonicalByte(std::string_view text) {
    if (text.empty() || text.size() > 3) return false;
    if (text.size() > 1 && text[0] == '0') return false;
    int value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return false;
        value = value * 10 + (c - '0');
    }
    return value <= 255;
}

std::string StripPlusCodesFromText(std::string_view text, const PlusCodes& codes, int hostVersion,
                                   const CodePage& page) {
    std::string s(text);
    const IndexLimits limits = LimitsFor(hostVersion);

    // What follows a code found whole starts a character; digits, "#", "(" and the
    // others looked for after it are characters of their own, never second bytes.
    if (!codes.colour.empty()) {
        // Every pass removes at least the code itself, so the loop ends.
        for (std::size_t p = page.Find(s, codes.colour); p != std::string::npos; p = page.Find(s, codes.colour))
            s.erase(p, ColourCodeSpan(s, p, codes.colour.size(), limits));
    }

    for (const std::string* code : {&codes.bold, &codes.italic, &codes.underline, &codes.strikeout, &codes.reset})
        RemoveEvery(s, *code, page);

    const std::string trailer = codes.nbsp + "{";
    const std::size_t cut = page.FindLast(s, trailer);
    if (cut != std::string::npos) s.erase(cut);
    return s;
}

}  // namespace tunelark
