// Second bytes "\\" and "|" (none in 949) and two characters differing in a letter's case.
#pragma once
#include <windows.h>
#include <string>

namespace testsupport {
struct DoubleByteSamples { std::string name, file, letterA, letterB; };
inline DoubleByteSamples SamplesOfThisCodePage() {
    if (GetACP() == 932) return {"\x83\x5C\x83\x93\x83\x4F\x83\x70\x83\x62\x83\x4E", "\x95\x5C\x83\x7C", "\x83\x41", "\x83\x61"};
    if (GetACP() == 936) return {"\x83\x5C\x83\x7C\x81\x41", "\x81\x5C\x82\x7C", "\x81\x41", "\x81\x61"};
    return {"\x81\x41\x82\x41", "\x81\x61\x82\x61", "\x81\x41", "\x81\x61"};
}
}  // namespace testsupport
