// Display-name normalisation with the formatting codes kept in the registry below
// HKEY_CURRENT_USER. The codes are read on every call, so a change takes effect at once.
#pragma once

#include <cstddef>
#include <string>

#include "plugin/names/strip_plus_codes.h"

namespace tunelark {

// Where every caller keeps the codes, below HKEY_CURRENT_USER.
inline constexpr char PlusCodesKeyPath[] = "Software\\vorquell_ software\\Tunelark\\PlusCodes";

// Longest code the registry table can hold (a 4-byte read with the terminator).
inline constexpr std::size_t MaxPlusCodeLength = 3;

// Reads the seven codes from keyPath. A code that is missing or longer than
// MaxPlusCodeLength is empty. When Colour is empty all seven defaults are taken
// instead and written to the key.
PlusCodes ReadPlusCodes(const char* keyPath);

// Strips the codes from source into destination, at most limit - 1 bytes and a
// terminator. source and destination may be the same buffer; a null source reads as
// the empty name, and nothing is written with a null destination or a limit of 0.
void StripPlusCodes(const char* keyPath, const char* source, char* destination, std::size_t limit,
                    int hostVersion);

// The same with codes read beforehand, for callers that normalise several names at once.
void StripPlusCodes(const PlusCodes& codes, const char* source, char* destination, std::size_t limit,
                    int hostVersion);

// The same for owned text, without a length limit.
std::string StripPlusCodes(const char* keyPath, std::string_view source, int hostVersion);

}  // namespace tunelark
