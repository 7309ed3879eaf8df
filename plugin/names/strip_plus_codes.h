// The text side of display-name normalisation: removing the host's formatting codes
// from a name. Free of Windows headers so that it also builds (and is fuzzed) natively.
#pragma once

#include <string>
#include <string_view>

#include "base/ansi_text.h"

namespace tunelark {

// The host's formatting codes, byte strings in the ANSI code page. An empty code is
// never matched.
struct PlusCodes {
    std::string colour;
    std::string bold;
    std::string italic;
    std::string underline;
    std::string strikeout;
    std::string reset;
    std::string nbsp;
};

// The codes the host uses out of the box (bytes in Windows-1252).
PlusCodes DefaultPlusCodes();

// Removes colour codes with their arguments, the five plain codes and the trailing
// part that starts with nbsp followed by "{". hostVersion picks the colour index
// limits (versions up to 2 know 16 colours, later ones 68). A code is found only where
// it stands as whole characters of the name in `page`, never inside a character.
std::string StripPlusCodesFromText(std::string_view text, const PlusCodes& codes, int hostVersion,
                                   const CodePage& page = CodePage());

// Whether text is a hexadecimal colour as it may follow "#": six hexadecimal digits.
bool IsHexColour(std::string_view text);

// Whether text is a number from 0 to 255 written the one way: digits only, no sign,
// no blank, no leading zero.
bool IsCanonicalByte(std::string_view text);

}  // namespace tunelark
