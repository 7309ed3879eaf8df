#include "sounddb/install.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "base/module.h"
#include "base/regular_file.h"
#include "base/text_compare.h"
#include "settings/registry.h"
#include "sounddb/library_change.h"
#include "sounddb/library_watch.h"
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

// What a line of the report stands for: tlpack counts only problems against the file.
enum class LineKind { Problem, Warning, AlreadyInPack };

// Collects the lines of one file's report, each counted, and keeps up to a bound.
class ProblemLog {
public:
    ProblemLog(std::string& out, long long bound) : out_(out), bound_(bound) {}
    void Add(const std::string& line, LineKind kind = LineKind::Problem) {
        ++counts_[static_cast<int>(kind)];
        if (++lines_ <= bound_) out_ += line;
    }
    void MissingKey(const char* key, const std::string& section) {
        Add(FormatModuleMessage(MsgMissingKey, {key, section}));
    }
    void Finish() {
        if (lines_ > bound_) out_ += "... and " + std::to_string(lines_ - bound_) + " more problems\r\n";
    }
    long long Count(LineKind kind) const { return counts_[static_cast<int>(kind)]; }

private:
    std::string& out_;
    long long bound_;
    long long lines_ = 0;
    long long counts_[3] = {};
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

// Which pack holds each SoundIndex, as the registry has it now (another process may have
// added Sounds since this one loaded): the name of the first pack key with it. Gathered
// once, not looked for for every section.
class IndexOwners {
public:
    IndexOwners() : owners_(RegistryIndexOwners()) {}
    const std::string* Owner(int index) const {
        const auto found = owners_.find(index);
        return found == owners_.end() ? nullptr : &found->second;
    }

private:
    std::unordered_map<int, std::string> owners_;
};

// The Sounds of one file, one per SoundIndex: a later section replaces an earlier one
// of the same SoundIndex, as saving it would overwrite that Sound's registry key.
class AcceptedSounds {
public:
    struct Entry {
        long long section;
        std::unique_ptr<Sound> sound;
    };
    // Answers the section whose Sound this one replaced, or 0.
    long long Accept(long long section, std::unique_ptr<Sound> sound) {
        const auto [slot, isNew] = slots_.try_emplace(sound->Index(), entries_.size());
        if (isNew) {
            entries_.push_back({section, std::move(sound)});
            return 0;
        }
        Entry& earlier = entries_[slot->second];
        const long long replaced = earlier.section;
        earlier = {section, std::move(sound)};
        return replaced;
    }
    std::vector<Entry>& Entries() { return entries_; }

private:
    std::unordered_map<int, size_t> slots_;
    std::vector<Entry> entries_;
};

// What the Sound sections of one file are read against.
struct SectionContext {
    const IniFile& ini;
    SoundPack& pack;             // the pack the Sounds are made for
    const SoundPack* installed;  // the loaded pack of the file's Name, or null
    std::string packDir;         // with its trailing "\"
    InstallOutcome* outcome;     // null when checking
    bool checking;               // every problem of a section; a SoundIndex of `installed` is none
    IndexOwners owners;
};

// One Sound section; null when it is rejected. The install reports only a section's
// first problem; a check reports them all.
std::unique_ptr<Sound> ReadSound(const SectionContext& context, const std::string& section, ProblemLog& log) {
    auto sound = std::make_unique<Sound>(&context.pack);
    bool rejected = false;
    auto reject = [&](const std::string& line, LineKind kind = LineKind::Problem) {
        log.Add(line, kind);
        rejected = true;
        return !context.checking;  // true: stop reading this section
    };
    const IniFile& ini = context.ini;
    const int index = ini.Integer(section, "SoundIndex");
    if (index == 0) {
        if (reject(FormatModuleMessage(MsgMissingKey, {"SoundIndex", section}))) return nullptr;
    } else if (const std::string* owner = context.owners.Owner(index);
               owner && !(context.checking && context.installed && EqualsIgnoreAsciiCase(*owner, context.installed->Name()))) {
        const bool ownPack = EqualsIgnoreAsciiCase(*owner, context.pack.Name());
        if (context.outcome) (ownPack ? context.outcome->alreadyInPack : context.outcome->inOtherPack).push_back(index);
        if (reject(FormatModuleMessage(MsgIndexInUse, {index}), ownPack ? LineKind::AlreadyInPack : LineKind::Problem))
            return nullptr;
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
        } else if ((context.packDir + *value).size() >= PathBufferSize) {
            if (reject("Error: The sound file's path in " + section + " is too long - will not install it\r\n"))
                return nullptr;
        } else {
            sound->SetFilename(context.packDir + *value);
        }
    }
    return rejected ? nullptr : std::move(sound);
}

// Every Sound section up to totalSounds, the accepted ones into `accepted`; missing,
// refused and replaced sections are reported.
void ReadSections(const SectionContext& context, int totalSounds, ProblemLog& log, AcceptedSounds& accepted,
                  const Progress& progress) {
    long long expected = 1;
    for (long long n : context.ini.SoundSections(totalSounds)) {
        ReportMissingSections(log, expected, n - 1);
        expected = n + 1;
        std::unique_ptr<Sound> sound = ReadSound(context, SectionName(n), log);
        if (!sound) continue;
        const int index = sound->Index();
        if (const long long replaced = accepted.Accept(n, std::move(sound)))
            log.Add("Warning: " + SectionName(n) + " replaces " + SectionName(replaced) + " for SoundIndex " +
                        std::to_string(index) + " - the later section is kept\r\n",
                    LineKind::Warning);
        progress.Step();
    }
    ReportMissingSections(log, expected, totalSounds);
}

// The line that refuses the Header's pack name, or empty: a name a key and directory
// cannot be, or one whose directory path would not fit.
std::string HeaderNameProblem(const std::string& name) {
    if (const std::string problem = PackNameProblem(name); !problem.empty())
        return "Error: The SoundPack cannot be installed: " + problem + "\r\n";
    if (PackDirectory(name).empty()) return "Error: The SoundPack's directory path would be too long\r\n";
    return std::string();
}

struct PackHeader {
    std::string name, artist, version;
};

// The Header's values, or nothing with the reason in InstallErrorText.
std::optional<PackHeader> ReadHeader(const IniFile& ini) {
    PackHeader header;
    const char* const section = "Header";
    const auto name = ini.Text(section, "Name");
    if (!name) {
        InstallErrorText += FormatModuleMessage(MsgMissingKey, {"Name", section});
        return std::nullopt;
    }
    if (const std::string problem = HeaderNameProblem(*name); !problem.empty()) {
        InstallErrorText += problem;
        return std::nullopt;
    }
    header.name = *name;
    for (const char* key : {"Artist", "Version"}) {
        const auto value = ini.Text(section, key);
        if (!value) {
            InstallErrorText += FormatModuleMessage(MsgMissingKey, {key, section});
            return std::nullopt;
        }
        (std::strcmp(key, "Artist") == 0 ? header.artist : header.version) = *value;
    }
    return header;
}

std::string IndexList(const std::vector<int>& indexes) {
    std::string text;
    for (size_t i = 0; i < indexes.size(); ++i) text += (i ? ", " : "") + std::to_string(indexes[i]);
    return text;
}

// What an install the registry refused halfway did store, and what not.
std::string InstallSavedPart(bool packThere, const std::vector<int>& saved, const std::vector<int>& notSaved) {
    std::string text = packThere ? "The SoundPack is there" : "Nothing of the SoundPack was saved";
    if (packThere) text += saved.empty() ? " without any of the sounds of this file" : " with SoundIndex " + IndexList(saved);
    if (!notSaved.empty()) text += "; not saved: SoundIndex " + IndexList(notSaved);
    return text + ". Installing the file again completes it once the change is allowed.";
}

}  // namespace

SoundPack* InstallSoundPack(const std::string& iniPath, HWND progressBar, InstallOutcome* outcome) {
    InstallOutcome unused;
    InstallOutcome& result = outcome ? *outcome : unused;
    result = InstallOutcome();
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
    const std::optional<PackHeader> header = ReadHeader(ini);
    if (!header) return nullptr;

    // Checked against the registry and written with no other process changing the library.
    const LibraryWrite write;
    if (write.Busy()) {
        const Refusal busy = LibraryBusy("Tunelark could not install " + DescribePack(header->name) + ".");
        InstallErrorText += RefusalText(busy);
        result.refused = busy.error;
        return nullptr;
    }
    // One record per key: a second one would share the first one's key, and deleting
    // either would delete both.
    SoundPack* installed = FindSoundPackByName(header->name, MatchPackName);
    if (installed && !LibraryKeyExists(installed->KeyPath())) {
        // Another process deleted it meanwhile: installed, it is a new pack.
        installed->FreeSounds();
        UnlinkSoundPack(installed);
        installed = nullptr;
    }
    result.newRecord = !installed;
    if (!installed && RegKey::Open(HKEY_LOCAL_MACHINE, PackKeyPath(header->name).c_str(), KEY_READ)) {
        // Only in the registry: read in first, so the update starts from what the key holds.
        installed = LoadSoundPack(SoundsKeyPath, header->name);
        if (!installed) {
            InstallErrorText += "Error: A SoundPack named \"" + header->name +
                                "\" is in the registry but cannot be read - will not install over it\r\n";
            return nullptr;
        }
    }
    // A user who may not change the library learns it before anything is written.
    if (const Refusal refusal = CheckLibraryChange(PackKeyPath(header->name),
                                                   "Tunelark could not install " + DescribePack(header->name) +
                                                       ": nothing was changed.")) {
        InstallErrorText += RefusalText(refusal);
        result.refused = refusal.error;
        return nullptr;
    }
    std::unique_ptr<SoundPack> fresh;
    if (!installed) {
        fresh = std::make_unique<SoundPack>();
        fresh->SetName(header->name);
        fresh->SetKeyPath(PackKeyPath(header->name));
    }
    SoundPack& pack = installed ? *installed : *fresh;
    progress.Start(totalSounds);

    ProblemLog log(InstallErrorText, MaxReportedProblems);
    const SectionContext context{ini, pack, installed, PackDirectory(pack.Name()) + "\\", &result, false, {}};
    AcceptedSounds accepted;
    ReadSections(context, totalSounds, log, accepted, progress);
    log.Finish();
    result.problems = log.Count(LineKind::Problem);
    result.warnings = log.Count(LineKind::Warning);

    pack.SetArtist(header->artist);
    pack.SetVersion(header->version);
    // An update leaves the pack switched on or off as the user chose.
    Refusal refusal;
    refusal.error = static_cast<DWORD>(SaveSoundPackValues(pack, fresh != nullptr));
    const std::string keyPath = PackKeyPath(pack.Name());
    std::vector<int> notSaved;
    for (AcceptedSounds::Entry& entry : accepted.Entries()) {
        if (!refusal) refusal.error = static_cast<DWORD>(SaveSound(*entry.sound, keyPath));
        if (refusal) {
            notSaved.push_back(entry.sound->Index());
            continue;
        }
        Sound* sound = pack.AddSound(std::move(entry.sound));
        result.added.push_back(sound->Index());
    }
    SoundPack* answer = nullptr;
    if (!refusal) {
        answer = fresh ? AppendSoundPack(std::move(fresh)) : installed;
    } else {
        // Memory holds what the registry does: the pack as far as it was written.
        result.refused = refusal.error;
        answer = fresh ? LoadSoundPack(SoundsKeyPath, pack.Name()) : installed;
        if (installed) RereadSoundPack(*installed);
        refusal.notDone = "Tunelark could not install all of " + DescribePack(header->name) + ".";
        refusal.done = InstallSavedPart(answer != nullptr, result.added, notSaved);
        InstallErrorText += RefusalText(refusal);
    }
    progress.Finish();
    return answer;
}

InstallFileCheck CheckInstallFile(const std::string& iniPath) {
    InstallFileCheck check;
    if (iniPath.size() >= PathBufferSize || !OpenRegularFileForReading(iniPath.c_str(), FILE_SHARE_READ | FILE_SHARE_WRITE)) {
        check.report = std::string(CannotOpenText) + "\r\n";
        check.problems = 1;
        return check;
    }
    const IniFile ini(iniPath);
    ProblemLog log(check.report, MaxReportedProblems * 100);
    const int totalSounds = ini.Integer("Header", "TotalSounds");
    if (totalSounds <= 0) log.Add(std::string(NoSoundsText) + "\r\n");

    const auto name = ini.Text("Header", "Name");
    if (!name) {
        log.MissingKey("Name", "Header");
    } else if (const std::string problem = HeaderNameProblem(*name); !problem.empty()) {
        log.Add(problem);
    }
    for (const char* key : {"Artist", "Version"})
        if (!ini.Text("Header", key)) log.MissingKey(key, "Header");

    SoundPack pack;
    const SoundPack* installed = name ? FindSoundPackByName(*name, MatchPackName) : nullptr;
    const SectionContext context{ini, pack, installed, SoundPacksDir() + name.value_or("") + "\\", nullptr, true, {}};
    AcceptedSounds accepted;
    if (totalSounds > 0) ReadSections(context, totalSounds, log, accepted, Progress(nullptr));
    log.Finish();
    for (const AcceptedSounds::Entry& entry : accepted.Entries()) check.soundFiles.push_back(entry.sound->Filename());
    check.problems = log.Count(LineKind::Problem);
    check.warnings = log.Count(LineKind::Warning);
    return check;
}

}  // namespace tunelark
