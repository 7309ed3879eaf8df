// Text comparison for commands, sound fields and SoundPack names.
#pragma once

#include <string>
#include <string_view>

namespace tunelark {

// Equal when the texts differ at most in the case of the ASCII letters A to Z that are
// characters of their own in the system's code page (see base/ansi_text.h): the second
// byte of a double-byte character is never folded. Other bytes compare exactly: their
// case depends on the code page, and both sides of a conversation must agree on what
// matches.
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);
// The text in the form EqualsIgnoreAsciiCase compares: equal forms, equal texts.
std::string FoldAsciiCase(std::string_view text);

// The same byte by byte, for bytes that are not text (the encoded SoundIndex).
bool BytesEqualIgnoreAsciiCase(std::string_view a, std::string_view b);

}  // namespace tunelark
