#include "base/ansi_text.h"

namespace tunelark {

namespace {

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

CodePage::CodePage(std::initializer_list<std::pair<unsigned char, unsigned char>> leadRanges) {
    for (const auto& [first, last] : leadRanges) AddLeadRange(first, last);
}

void CodePage::AddLeadRange(unsigned char first, unsigned char last) {
    for (unsigned b = first; b <= last; ++b) lead_[b] = doubleByte_ = true;
}

std::size_t CodePage::FindFirstOf(std::string_view text, std::string_view chars, std::size_t from) const {
    for (std::size_t i = 0; i < text.size(); i += CharSize(text, i))
        if (i >= from && !IsLeadByte(text[i]) && chars.find(text[i]) != std::string_view::npos) return i;
    return npos;
}

std::size_t CodePage::FindLastOf(std::string_view text, std::string_view chars) const {
    std::size_t found = npos;
    for (std::size_t i = 0; i < text.size(); i += CharSize(text, i))
        if (!IsLeadByte(text[i]) && chars.find(text[i]) != std::string_view::npos) found = i;
    return found;
}

std::size_t CodePage::Find(std::string_view text, std::string_view needle, std::size_t from) const {
    if (needle.empty()) return npos;
    for (std::size_t i = 0; i < text.size(); i += CharSize(text, i)) {
        if (i < from || text.compare(i, needle.size(), needle) != 0) continue;
        // The needle must end where a character of the text does.
        std::size_t end = i;
        while (end < i + needle.size()) end += CharSize(text, end);
        if (end == i + needle.size()) return i;
    }
    return npos;
}

std::size_t CodePage::FindLast(std::string_view text, std::string_view needle) const {
    std::size_t found = npos;
    for (std::size_t at = Find(text, needle); at != npos; at = Find(text, needle, at + 1)) found = at;
    return found;
}

bool CodePage::EndsWith(std::string_view text, char c) const {
    std::size_t last = npos;
    for (std::size_t i = 0; i < text.size(); i += CharSize(text, i)) last = i;
    return last != npos && last + 1 == text.size() && text[last] == c && !IsLeadByte(c);
}

std::size_t CodePage::CharCount(std::string_view text) const {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); i += CharSize(text, i)) ++count;
    return count;
}

std::size_t CodePage::FitLength(std::string_view text, std::size_t limit) const {
    std::size_t end = 0;
    for (std::size_t i = 0; i < text.size(); i += CharSize(text, i)) {
        const std::size_t next = i + CharSize(text, i);
        // A lead byte with nothing after it is half a character as well.
        if (next > limit || (next == text.size() && IsLeadByte(text[i]) && next - i == 1)) break;
        end = next;
    }
    return end;
}

std::string CodePage::FoldAsciiCase(std::string_view text) const {
    std::string folded(text);
    for (std::size_t i = 0; i < folded.size(); i += CharSize(folded, i))
        if (!IsLeadByte(folded[i])) folded[i] = LowerAscii(folded[i]);
    return folded;
}

bool CodePage::EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) const {
    if (a.size() != b.size()) return false;
    // Both walk alike as long as they agree: a lead byte is compared exactly.
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (IsLeadByte(a[i]) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace tunelark
