#include "plugin/names/plus_codes.h"

#include <windows.h>

#include <cstring>

#include "settings/registry.h"

namespace tunelark {

namespace {

// Buffer the host's table was designed around: three bytes and the terminator.
constexpr DWORD CodeBufferSize = MaxPlusCodeLength + 1;

std::string ReadCode(const char* keyPath, const char* valueName) {
    std::string code = ReadRegString(HKEY_CURRENT_USER, keyPath, valueName, CodeBufferSize);
    // Data without a terminator can fill all four bytes; a code that long is not supported.
    if (code.size() > MaxPlusCodeLength) code.clear();
    return code;
}

}  // namespace

PlusCodes ReadPlusCodes(const char* keyPath) {
    if (!keyPath) keyPath = PlusCodesKeyPath;
    PlusCodes codes;
    codes.colour = ReadCode(keyPath, "Colour");
    codes.bold = ReadCode(keyPath, "Bold");
    codes.italic = ReadCode(keyPath, "Italic");
    codes.underline = ReadCode(keyPath, "Underline");
    codes.strikeout = ReadCode(keyPath, "Strikeout");
    codes.reset = ReadCode(keyPath, "Reset");
    codes.nbsp = ReadCode(keyPath, "nbsp");
    if (!codes.colour.empty()) return codes;

    codes = DefaultPlusCodes();
    WriteRegString(HKEY_CURRENT_USER, keyPath, "Colour", codes.colour.c_str());
    WriteRegString(HKEY_CURRENT_USER, keyPath, "Bold", codes.bold.c_str());
    WriteRegString(HKEY_CURRENT_USER, keyPath, "Italic", codes.italic.c_str());
    WriteRegString(HKEY_CURRENT_USER, keyPath, "Underline", codes.underline.c_str());
    WriteRegString(HKEY_CURRENT_USER, keyPath, "Strikeout", codes.strikeout.c_str());
    WriteRegString(HKEY_CURRENT_USER, keyPath, "Reset", codes.reset.c_str());
    WriteRegString(HKEY_CURRENT_USER, keyPath, "nbsp", codes.nbsp.c_str());
    return codes;
}

std::string StripPlusCodes(const char* keyPath, std::string_view source, int hostVersion) {
    return StripPlusCodesFromText(source, ReadPlusCodes(keyPath), hostVersion, SystemCodePage());
}

void StripPlusCodes(const char* keyPath, const char* source, char* destination, std::size_t limit,
                    int hostVersion) {
    StripPlusCodes(ReadPlusCodes(keyPath), source, destination, limit, hostVersion);
}

void StripPlusCodes(const PlusCodes& codes, const char* source, char* destination, std::size_t limit,
                    int hostVersion) {
    // Taken into owned text before anything is written, as source may be destination.
    const CodePage& page = SystemCodePage();
    const std::string name =
        StripPlusCodesFromText(source ? std::string_view(source) : std::string_view(), codes, hostVersion, page);
    if (!destination || limit == 0) return;
    // Never half a character before the terminator.
    const std::size_t length = page.FitLength(name, limit - 1);
    std::memcpy(destination, name.data(), length);
    destination[length] = '\0';
}

}  // namespace tunelark
