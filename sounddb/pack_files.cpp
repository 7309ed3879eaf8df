#include "sounddb/pack_files.h"

#include <windows.h>

#include <algorithm>
#include <string_view>

#include "base/ansi_text.h"
#include "base/text_compare.h"
#include "settings/registry.h"

namespace tunelark {

namespace {

constexpr const char* HostKeyPath = "Software\\Drovask\\MsgPlus2";
// The longest key name the registry keeps.
constexpr std::size_t MaxKeyNameLength = 255;

bool IsDeviceName(const std::string& name) {
    // The system takes CON.txt for CON too: only the part before the first dot counts.
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
        if (EqualsIgnoreAsciiCase(stem, device)) return true;
    if (stem.size() == 4 && stem[3] >= '0' && stem[3] <= '9' &&
        (EqualsIgnoreAsciiCase(stem.substr(0, 3), "COM") || EqualsIgnoreAsciiCase(stem.substr(0, 3), "LPT")))
        return true;
    return false;
}

}  // namespace

std::string SoundPacksDir() {
    const std::string pluginDir =
        ReadRegString(HKEY_LOCAL_MACHINE, HostKeyPath, "PluginDir", static_cast<DWORD>(PathBufferSize));
    return pluginDir + "\\Tunelark\\";
}

std::string PackNameProblem(const std::string& name) {
    if (name.empty()) return "the SoundPack has no name";
    const CodePage& page = SystemCodePage();
    if (page.CharCount(name) > MaxKeyNameLength) return "the SoundPack name is longer than 255 characters";
    if (name == "." || name == "..") return "the SoundPack name \"" + name + "\" names a directory above it";
    // Character by character: the second byte of a double-byte character may be "\\" or "|".
    for (std::size_t i = 0; i < name.size(); i += page.CharSize(name, i)) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (page.CharSize(name, i) == 2) continue;
        if (c < 32) return "the SoundPack name contains a control character";
        if (std::string("\\/:<>\"|?*").find(static_cast<char>(c)) != std::string::npos)
            return "the SoundPack name \"" + name + "\" contains the character " + static_cast<char>(c);
    }
    if (name.back() == '.' || name.back() == ' ')
        return "the SoundPack name \"" + name + "\" ends with a dot or a blank";
    if (IsDeviceName(name)) return "the SoundPack name \"" + name + "\" is the name of a device";
    return std::string();
}

std::string PackDirectory(const std::string& name) {
    if (!PackNameProblem(name).empty()) return std::string();
    const std::string path = SoundPacksDir() + name;
    return path.size() < PathBufferSize ? path : std::string();
}

bool StaysInPackDirectory(const std::string& relative) {
    if (relative.find(':') != std::string::npos) return false;
    if (!relative.empty() && (relative[0] == '\\' || relative[0] == '/')) return false;
    size_t start = 0;
    while (start <= relative.size()) {
        const size_t end = std::min(SystemCodePage().FindFirstOf(relative, "\\/", start), relative.size());
        const std::string_view part(relative.data() + start, end - start);
        // Windows drops trailing dots and blanks, so ". ." and "..." can mean "..".
        if (part != "." && !part.empty() && part.find_first_not_of(". ") == std::string_view::npos) return false;
        start = end + 1;
    }
    return true;
}

}  // namespace tunelark
