// Texts that trip a byte-by-byte look in the system's double-byte code page: second bytes
// "\" and "|" (none in 949, whose second bytes are letters or above 0x80), and two
// characters that differ only in a second byte that is an ASCII letter's case.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

struct DoubleByteSamples {
    std::string name, file, letterA, letterB;
};

inline DoubleByteSamples SamplesOfThisCodePage() {
    switch (GetACP()) {
    case 932: return {"\x83\x5C\x83\x93\x83\x4F\x83\x70\x83\x62\x83\x4E", "\x95\x5C\x83\x7C", "\x83\x41", "\x83\x61"};
    case 936: return {"\x83\x5C\x83\x7C\x81\x41", "\x81\x5C\x82\x7C", "\x81\x41", "\x81\x61"};
    case 950: return {"\xA4\x5C\xA4\x7C", "\xA3\x5C\xA1\x7C", "\xA1\x41", "\xA1\x61"};
    default: return {"\x81\x41\x82\x41", "\x81\x61\x82\x61", "\x81\x41", "\x81\x61"};
    }
}

}  // namespace testsupport
