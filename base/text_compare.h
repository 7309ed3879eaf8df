// Text comparison for commands, sound fields and SoundPack names.
#pragma once

#include <string_view>

namespace tunelark {

// Equal when the texts differ at most in the case of the ASCII letters A to Z. Bytes
// from 128 upward compare exactly: their case depends on the code page, and both sides
// of a conversation must agree on what matches.
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

}  // namespace tunelark
