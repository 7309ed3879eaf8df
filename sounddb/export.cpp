#include "sounddb/export.h"

#include <windows.h>

#include <vector>

#include "base/ansi_text.h"
#include "base/regular_file.h"
#include "sounddb/pack_files.h"

namespace tunelark {

namespace {

constexpr size_t MaxValueLength = 1022;
constexpr char NotFound[] = "ERROR_NOT_FOUND";

// The reader strips blanks around a value and one pair of single or double quotes
// around it; a value that has either is wrapped in double quotes, which go instead.
std::string IniValue(const std::string& value) {
    if (value.empty()) return value;
    const bool padded = value.front() == ' ' || value.front() == '\t' || value.back() == ' ' || value.back() == '\t';
    const bool quoted = value.size() >= 2 && value.front() == value.back() && (value.front() == '"' || value.front() == '\'');
    return padded || quoted ? "\"" + value + "\"" : value;
}

std::string ValueProblem(const std::string& what, const std::string& value) {
    if (value.find_first_of("\r\n") != std::string::npos) return what + " contains a line break";
    if (value == NotFound) return what + " is the text " + NotFound + ", which reads as missing";
    if (IniValue(value).size() > MaxValueLength) return what + " is longer than an install.ini value can be";
    return std::string();
}

std::string BareFileName(const std::string& path) {
    const size_t slash = SystemCodePage().FindLastOf(path, "\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct Entry {
    std::string section;
    const char* key;
    std::string value;
};

}  // namespace

std::string ExportSoundPack(const SoundPack& pack, const std::string& iniPath) {
    std::vector<Entry> entries;
    entries.push_back({"Header", "TotalSounds", std::to_string(pack.SoundCount())});
    entries.push_back({"Header", "Artist", pack.Artist()});
    entries.push_back({"Header", "Name", pack.Name()});
    entries.push_back({"Header", "Version", pack.Version()});
    int n = 0;
    for (const Sound* s = pack.Sounds(); s; s = s->Next()) {
        const std::string section = "Sound" + std::to_string(++n);
        entries.push_back({section, "SoundIndex", s->IndexText()});
        entries.push_back({section, "Command", s->Command()});
        entries.push_back({section, "Filename", BareFileName(s->Filename())});
        entries.push_back({section, "Message", s->Message()});
    }
    for (const Entry& e : entries) {
        const std::string problem = ValueProblem(e.section + " " + e.key, e.value);
        if (!problem.empty()) return "The SoundPack cannot be exported: " + problem + ".";
    }
    for (const Entry& e : entries)
        WritePrivateProfileStringA(e.section.c_str(), e.key, IniValue(e.value).c_str(), iniPath.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, iniPath.c_str());  // flush the cache
    return std::string();
}

namespace {

void Count(RemovalLeft& left, DWORD error) {
    if (error != ERROR_SUCCESS && left.entries++ == 0) left.firstError = error;
}

}  // namespace

RemovalLeft DeleteDirectoryTree(const std::string& path) {
    RemovalLeft left;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return left;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // The link, not what it points to.
        Count(left, RemoveDirectoryChecked(path.c_str()));
        return left;
    }
    const std::string base = SystemCodePage().EndsWith(path, '\\') ? path : path + "\\";
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((base + "*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            const std::string full = base + name;
            if (full.size() >= PathBufferSize) {
                Count(left, ERROR_FILENAME_EXCED_RANGE);
                continue;
            }
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                const RemovalLeft below = DeleteDirectoryTree(full);
                if (below.entries && !left.entries) left.firstError = below.firstError;
                left.entries += below.entries;
            } else {
                Count(left, DeleteFileChecked(full.c_str()));
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    // A directory that keeps some of its entries cannot go either; only its entries count.
    const DWORD removed = RemoveDirectoryChecked(path.c_str());
    if (!left.entries) Count(left, removed);
    return left;
}

Refusal RemovePackDirectory(const std::string& packName) {
    Refusal refusal;
    const std::string directory = PackDirectory(packName);
    if (directory.empty()) return refusal;
    const RemovalLeft left = DeleteDirectoryTree(directory);
    if (!left.entries) return refusal;
    refusal.error = left.firstError;
    refusal.notDone = "Tunelark could not delete all the files of " + DescribePack(packName) + ": " +
                      std::to_string(left.entries) + (left.entries == 1 ? " file or folder stays" : " files or folders stay") +
                      " in " + directory + ".";
    return refusal;
}

}  // namespace tunelark
