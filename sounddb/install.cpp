#include "sounddb/install.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "base/module.h"
#include "base/regular_file.h"
#include "base/text_compare.h"
#include "settings/registry.h"
#include "sounddb/pack_files.h"
#include "sounddb/sound_registry.h"

namespace tunelark {

std::string InstallErrorText;

namespace {

constexpr DWORD TextBufferSize = 1023;
constexpr char NotFound[] = "ERROR_NOT_FOUND";
constexpr DWORD MsgMissingKey = 0x80020002;
constexpr DWORD MsgIndexInUse = 0x80020004;
constexpr int ProgressRange = 10000;
// A file that claims millions of sounds must not make a text nobody can read.
constexpr int MaxReportedProblems = 40;
// Runs of missing sections longer than this are reported on one line.
constexpr long long MaxMissingListedOneByOne = 3;

const char* const CannotOpenText =
    "Could not open the specified install.ini file. Please check that the file exists, and that you "
    "have the relevant permissions to open it";
const char* const NoSoundsText =
    "Could not determine the number of sounds to add. Either the install.ini file adds 0 sounds, or the "
    "file is in some way corrupt. Please try downloading the soundpack again, and if the problem "
    "persists, please contact the maker of the soundpack for help.";

class IniFile {
public:
    explicit IniFile(std::string path) : path_(std::move(path)) {}

    int Integer(const std::string& section, const char* key) const {
        return static_cast<int>(GetPrivateProfileIntA(section.c_str(), key, 0, path_.c_str()));
    }
    // Empty when the key is missing (or holds exactly the text that stands for missing).
    std::optional<std::string> Text(const std::string& section, const char* key) const {
        char buffer[TextBufferSize] = {};
        GetPrivateProfileStringA(section.c_str(), key, NotFound, buffer, sizeof buffer, path_.c_str());
        if (std::strcmp(buffer, NotFound) == 0) return std::nullopt;
        return std::string(buffer);
    }
    // The n of every section "Sound<n>" (n written without leading zeros) with
    // 1 <= n <= last, ascending.
    std::vector<long long> SoundSections(long long last) const {
        std::vector<char> names(64 * 1024);
        for (;;) {
            const DWORD got = GetPrivateProfileSectionNamesA(names.data(), static_cast<DWORD>(names.size()),
                                                             path_.c_str());
            if (got + 2 < names.size() || names.size() >= (64u << 20)) break;
            names.resize(names.size() * 4);
        }
        std::set<long long> found;
        for (const char* name = names.data(); *name; name += std::strlen(name) + 1) {
            const std::string_view text(name);
            if (text.size() < 6 || text.size() > 16 || !EqualsIgnoreAsciiCase(text.substr(0, 5), "Sound")) continue;
            const std::string_view digits = text.substr(5);
            if (digits[0] == '0' || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
                continue;
            const long long n = std::stoll(std::string(digits));
            if (n >= 1 && n <= last) found.insert(n);
        }
        return std::vector<long long>(found.begin(), found.end());
    }

private:
    std::string path_;
};

// Collects the problems of one file, each a line, up to a bound.
class ProblemLog {
public:
    ProblemLog(std::string& out, long long bound) : out_(out), bound_(bound) {}
    void Add(const std::string& line) {
        if (++count_ <= bound_) out_ += line;
    }
    void MissingKey(const char* key, const std::string& section) {
        Add(FormatModuleMessage(MsgMissingKey, {key, section}));
    }
    void Finish() {
        if (count_ > bound_) out_ += "... and " + std::to_string(count_ - bound_) + " more problems\r\n";
    }
    long long count() const { return count_; }

private:
    std::string& out_;
    long long bound_;
    long long count_ = 0;
};

class Progress {
public:
    explicit Progress(HWND bar) : bar_(IsWindow(bar) ? bar : nullptr) {}
    void Start(int totalSounds) const {
        if (!bar_) return;
        SendMessageA(bar_, PBM_SETPOS, 0, 0);
        SendMessageA(bar_, PBM_SETRANGE, 0, MAKELPARAM(0, ProgressRange));
        SendMessageA(bar_, PBM_SETSTEP, ProgressRange / totalSounds, 0);
    }
    void Step() const {
        if (bar_) SendMessageA(bar_, PBM_STEPIT, 0, 0);
    }
    void Finish() const {
        if (bar_) SendMessageA(bar_, PBM_SETPOS, ProgressRange, 0);
    }

private:
    HWND bar_;
};

std::string SectionName(long long n) {
    return "Sound" + std::to_string(n);
}

// Missing sections read as a SoundIndex of 0; a long run of them is one line.
void ReportMissingSections(ProblemLog& log, long long first, long long last) {
    if (first > last) return;
    if (last - first < MaxMissingListedOneByOne) {
        for (long long n = first; n <= last; ++n) log.MissingKey("SoundIndex", SectionName(n));
        return;
    }
    log.MissingKey("SoundIndex", SectionName(first) + " to " + SectionName(last) + " (" +
                                     std::to_string(last - first + 1) + " sections)");
}

bool IndexInstalled(int index, const std::set<int>& acceptedHere) {
    return FindSoundByIndex(index, MatchIndex) || acceptedHere.count(index);
}

// One Sound section; null when it is rejected. The install reports only a section's
// first problem; a check (everyProblem) reports them all.
std::unique_ptr<Sound> ReadSound(const IniFile& ini, const std::string& section, SoundPack& pack,
                                 const std::string& packDir, const std::set<int>& acceptedHere,
                                 ProblemLog& log, bool everyProblem = false) {
    auto sound = std::make_unique<Sound>(&pack);
    bool rejected = false;
    auto reject = [&](const std::string& line) {
        log.Add(line);
        rejected = true;
        return !everyProblem;  // true: stop reading this section
    };
    const int index = ini.Integer(section, "SoundIndex");
    if (index == 0) {
        if (reject(FormatModuleMessage(MsgMissingKey, {"SoundIndex", section}))) return nullptr;
    } else if (IndexInstalled(index, acceptedHere)) {
        if (reject(FormatModuleMessage(MsgIndexInUse, {index}))) return nullptr;
    }
    sound->SetIndex(index);
    for (const char* key : {"Command", "Filename", "Message"}) {
        const auto value = ini.Text(section, key);
        if (!value) {
            if (reject(FormatModuleMessage(MsgMissingKey, {key, section}))) return nullptr;
            continue;
        }
        if (std::strcmp(key, "Command") == 0) {
            sound->SetCommand(*value);
        } else if (std::strcmp(key, "Message") == 0) {
            sound->SetMessage(*value);
        } else if (!StaysInPackDirectory(*value)) {
            if (reject("Error: The sound file in " + section + " lies outside the SoundPack's directory - will not install it\r\n"))
                return nullptr;
        } else if ((packDir + *value).size() >= PathBufferSize) {
            if (reject("Error: The sound file's path in " + section + " is too long - will not install it\r\n"))
                return nullptr;
        } else {
            sound->SetFilename(packDir + *value);
        }
    }
    return rejected ? nullptr : std::move(sound);
}

// The line that refuses the Header's pack name, or empty: a name a key and directory
// cannot be, one already installed (loaded, or only in the registry), or one whose
// directory path would not fit.
std::string HeaderNameProblem(const std::string& name) {
    if (const std::string problem = PackNameProblem(name); !problem.empty())
        return "Error: The SoundPack cannot be installed: " + problem + "\r\n";
    if (FindSoundPackByName(name, MatchPackName) ||
        RegKey::Open(HKEY_LOCAL_MACHINE, (std::string(SoundsKeyPath) + "\\" + name).c_str(), KEY_READ))
        return "Error: A SoundPack named \"" + name + "\" is already installed. Delete it first to install it again\r\n";
    if (PackDirectory(name).empty()) return "Error: The SoundPack's directory path would be too long\r\n";
    return std::string();
}

// The Header of the file made into a pack, or null with the reason in InstallErrorText.
std::unique_ptr<SoundPack> ReadHeader(const IniFile& ini) {
    auto pack = std::make_unique<SoundPack>();
    const char* const header = "Header";
    const auto name = ini.Text(header, "Name");
    if (!name) {
        InstallErrorText += FormatModuleMessage(MsgMissingKey, {"Name", header});
        return nullptr;
    }
    if (const std::string problem = HeaderNameProblem(*name); !problem.empty()) {
        InstallErrorText += problem;
        return nullptr;
    }
    pack->SetName(*name);
    for (const char* key : {"Artist", "Version"}) {
        const auto value = ini.Text(header, key);
        if (!value) {
            InstallErrorText += FormatModuleMessage(MsgMissingKey, {key, header});
            return nullptr;
        }
        if (std::strcmp(key, "Artist") == 0) pack->SetArtist(*value);
        else pack->SetVersion(*value);
    }
    return pack;
}

}  // namespace

SoundPack* InstallSoundPack(const std::string& iniPath, HWND progressBar) {
    const Progress progress(progressBar);
    if (iniPath.size() >= PathBufferSize || !OpenRegularFileForReading(iniPath.c_str(), FILE_SHARE_READ | FILE_SHARE_WRITE)) {
        InstallErrorText = CannotOpenText;
        return nullptr;
    }
    const IniFile ini(iniPath);
    const int totalSounds = ini.Integer("Header", "TotalSounds");
    if (totalSounds <= 0) {
        InstallErrorText = NoSoundsText;
        return nullptr;
    }
    std::unique_ptr<SoundPack> pack = ReadHeader(ini);
    if (!pack) return nullptr;
    const std::string packDir = PackDirectory(pack->Name()) + "\\";
    progress.Start(totalSounds);

    ProblemLog log(InstallErrorText, MaxReportedProblems);
    std::set<int> acceptedHere;
    long long expected = 1;
    for (long long n : ini.SoundSections(totalSounds)) {
        ReportMissingSections(log, expected, n - 1);
        expected = n + 1;
        std::unique_ptr<Sound> sound = ReadSound(ini, SectionName(n), *pack, packDir, acceptedHere, log);
        if (!sound) continue;
        acceptedHere.insert(sound->Index());
        pack->AddSound(std::move(sound));
        progress.Step();
    }
    ReportMissingSections(log, expected, totalSounds);
    log.Finish();

    pack->SetKeyPath(std::string(SoundsKeyPath) + "\\" + pack->Name());
    SaveSoundPack(*pack);
    SoundPack* installed = AppendSoundPack(std::move(pack));
    progress.Finish();
    return installed;
}

std::string CheckInstallFile(const std::string& iniPath, std::vector<std::string>* soundFiles) {
    std::string report;
    if (iniPath.size() >= PathBufferSize || !OpenRegularFileForReading(iniPath.c_str(), FILE_SHARE_READ | FILE_SHARE_WRITE))
        return std::string(CannotOpenText) + "\r\n";
    const IniFile ini(iniPath);
    ProblemLog log(report, MaxReportedProblems * 100);
    const int totalSounds = ini.Integer("Header", "TotalSounds");
    if (totalSounds <= 0) log.Add(std::string(NoSoundsText) + "\r\n");

    SoundPack pack;
    const auto name = ini.Text("Header", "Name");
    if (!name) {
        log.MissingKey("Name", "Header");
    } else if (const std::string problem = HeaderNameProblem(*name); !problem.empty()) {
        log.Add(problem);
    }
    for (const char* key : {"Artist", "Version"})
        if (!ini.Text("Header", key)) log.MissingKey(key, "Header");

    const std::string packDir = SoundPacksDir() + name.value_or("") + "\\";
    std::set<int> acceptedHere;
    long long expected = 1;
    auto sections = totalSounds > 0 ? ini.SoundSections(totalSounds) : std::vector<long long>();
    for (long long n : sections) {
        ReportMissingSections(log, expected, n - 1);
        expected = n + 1;
        std::unique_ptr<Sound> sound = ReadSound(ini, SectionName(n), pack, packDir, acceptedHere, log, true);
        if (!sound) continue;
        acceptedHere.insert(sound->Index());
        if (soundFiles) soundFiles->push_back(sound->Filename());
    }
    if (totalSounds > 0) ReportMissingSections(log, expected, totalSounds);
    log.Finish();
    return report;
}

}  // namespace tunelark
