// tlpack: SoundPacks from the command line, for pack makers and scripts, with the very
// code the plug-in uses. Works on the sound database of the machine (or Wine prefix) it
// runs on.
//   tlpack install PATH\install.ini    install a pack (its sound files already in place)
//   tlpack export NAME OUT.ini         write an installed pack out as an install.ini
//   tlpack list                        the installed packs and their sounds
//   tlpack check PATH\install.ini      every problem of a file, without installing it, and
//                                      each sound's loudness
//   tlpack remove NAME [--files]       uninstall a pack, with its directory of sound files
//   tlpack share                       let every user change the SoundPacks (the setup's step)
// Exit codes: 0 done and no problem, 1 a failure or a problem found, 2 bad arguments.
// Warnings (a SoundIndex given twice) and, on an install, sections whose SoundIndex the
// pack has already are no problems: a setup program may run the same install again.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "base/ansi_text.h"
#include "base/module.h"
#include "base/regular_file.h"
#include "base/shared_directory.h"
#include "fsound/fsound.h"
#include "fsound/loudness.h"
#include "sounddb/export.h"
#include "sounddb/install.h"
#include "sounddb/library_change.h"
#include "sounddb/pack_files.h"
#include "sounddb/sound_registry.h"
#include "settings/shared_access.h"

using namespace tunelark;

namespace {

constexpr int Done = 0;
constexpr int Failed = 1;
constexpr int BadArguments = 2;

int Usage() {
    std::fprintf(stderr,
                 "usage: tlpack install PATH\\install.ini | export NAME OUT.ini | list | check PATH\\install.ini"
                 " | remove NAME [--files] | share\n");
    return BadArguments;
}

// The profile functions look for a bare name in the Windows directory: make it full.
std::string FullPath(const std::string& path) {
    char full[2048];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n > 0 && n < sizeof full ? std::string(full, n) : path;
}

// Problem texts end their lines with CR LF already.
void PrintProblems(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            std::printf("%s\n", line.c_str());
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty()) std::printf("%s\n", line.c_str());
}

// "label: 1, 2, 3" with at most a screenful of numbers; nothing for an empty list.
void PrintIndexes(const char* label, const std::vector<int>& indexes) {
    constexpr size_t Shown = 20;
    if (indexes.empty()) return;
    std::string line = "  " + std::string(label) + ":";
    for (size_t i = 0; i < indexes.size() && i < Shown; ++i) line += (i ? ", " : " ") + std::to_string(indexes[i]);
    if (indexes.size() > Shown) line += " ... (" + std::to_string(indexes.size()) + " in all)";
    std::printf("%s\n", line.c_str());
}

int Install(const std::string& ini) {
    InstallErrorText.clear();
    InstallOutcome outcome;
    const SoundPack* pack = InstallSoundPack(FullPath(ini), nullptr, &outcome);
    PrintProblems(InstallErrorText);
    if (!pack) {
        std::printf("not installed\n");
        return Failed;
    }
    std::printf("%s \"%s\": %d sounds\n", outcome.newRecord ? "installed" : "updated", pack->Name().c_str(),
                pack->SoundCount());
    PrintIndexes("added", outcome.added);
    PrintIndexes("already in this pack, left as they are", outcome.alreadyInPack);
    PrintIndexes("in use by another pack, not installed", outcome.inOtherPack);
    return outcome.problems == 0 && outcome.refused == ERROR_SUCCESS ? Done : Failed;
}

int Export(const std::string& name, const std::string& ini) {
    const SoundPack* pack = FindSoundPackByName(name, MatchPackName);
    if (!pack) {
        std::printf("no SoundPack named \"%s\" is installed\n", name.c_str());
        return Failed;
    }
    const std::string problem = ExportSoundPack(*pack, FullPath(ini));
    if (!problem.empty()) {
        std::printf("%s\n", problem.c_str());
        return Failed;
    }
    std::printf("exported \"%s\" (%d sounds) to %s\n", pack->Name().c_str(), pack->SoundCount(), ini.c_str());
    return Done;
}

int List() {
    for (const SoundPack* pack = FirstSoundPack(); pack; pack = pack->Next()) {
        std::printf("%s - %s, version %s: %d sounds\n", pack->Name().c_str(), pack->Artist().c_str(),
                    pack->Version().c_str(), pack->SoundCount());
        for (const Sound* s = pack->Sounds(); s; s = s->Next())
            std::printf("  %-10s /xTL%-16s %s\n", s->IndexText().c_str(), s->Command().c_str(), s->Filename().c_str());
    }
    return Done;
}

// A playable sound's loudness and peak, and a warning (counted in `warnings`) for one the
// plug-in would have to change much to even it out with the rest, or that clips.
void PrintLoudness(const std::string& file, const fsound::Loudness& loudness, long long& warnings) {
    const std::string name = file.substr(SystemCodePage().FindLastOf(file, "\\/") + 1);
    const double peakDb = 20 * std::log10(loudness.peak), away = loudness.lufs - fsound::TargetLoudness;
    if (std::isfinite(loudness.lufs))
        std::printf("  %s: %.1f LUFS, peak %.1f dBFS\n", name.c_str(), loudness.lufs, peakDb);
    else
        std::printf("  %s: silent, peak %.1f dBFS\n", name.c_str(), peakDb);
    constexpr double FarAway = 10;  // LU
    if (!std::isfinite(loudness.lufs)) {
        std::printf("Warning: %s is silent\n", name.c_str());
        ++warnings;
    } else if (std::abs(away) > FarAway) {
        std::printf("Warning: %s is %.1f LU %s than the %.0f LUFS that sounds are played at\n", name.c_str(),
                    std::abs(away), away < 0 ? "quieter" : "louder", fsound::TargetLoudness);
        ++warnings;
    }
    if (loudness.peak >= 32767 / 32768.0) {
        std::printf("Warning: %s clips: its peak is at full scale\n", name.c_str());
        ++warnings;
    }
}

int Check(const std::string& ini) {
    const InstallFileCheck check = CheckInstallFile(FullPath(ini));
    PrintProblems(check.report);
    long long problems = check.problems, warnings = check.warnings;
    for (const std::string& file : check.soundFiles) {
        if (!IsRegularFilePath(file.c_str())) {
            std::printf("Error: The sound file %s is missing\n", file.c_str());
            ++problems;
        } else if (const fsound::Loudness loudness = fsound::MeasureFile(file); !loudness.measured) {
            std::printf("Error: The sound file %s cannot be played\n", file.c_str());
            ++problems;
        } else {
            PrintLoudness(file, loudness, warnings);
        }
    }
    // Media Foundation, if a file needed it, is ended and its threads waited for:
    // a program that ends while they end can crash (see fsound/thread_starts.h).
    FSOUND_Close();
    if (problems == 0) {
        const std::string warned = warnings ? ", " + std::to_string(warnings) + " warnings" : "";
        std::printf("no problems: %zu sounds%s\n", check.soundFiles.size(), warned.c_str());
    }
    return problems ? Failed : Done;
}

// The directory goes by the rules of the panel's Delete SoundPack: only a name that can be
// a pack's own directory, and links inside are removed, not followed.
int Remove(const std::string& name, bool withFiles) {
    SoundPack* pack = FindSoundPackByName(name, MatchPackName);
    if (!pack) {
        std::printf("no SoundPack named \"%s\" is installed\n", name.c_str());
        return Failed;
    }
    const std::string packName = pack->Name(), directory = PackDirectory(packName);
    if (const Refusal refusal = CheckLibraryChange(pack->KeyPath(),
                                                   "Tunelark could not remove " + DescribePack(packName) +
                                                       ": nothing was changed.", DELETE)) {
        PrintProblems(RefusalText(refusal));
        return Failed;
    }
    // The key first: a pack whose key stays keeps its files.
    if (const Refusal refusal = RemoveSoundPackFromLibrary(pack)) {
        PrintProblems(RefusalText(refusal));
        return Failed;
    }
    const Refusal files = withFiles ? RemovePackDirectory(packName) : Refusal();
    if (directory.empty()) {
        std::printf("removed \"%s\"; no directory of sound files can have its name\n", packName.c_str());
        return Done;
    }
    if (!withFiles) {
        std::printf("removed \"%s\"; its files are left in %s\n", packName.c_str(), directory.c_str());
        return Done;
    }
    if (files) {
        std::printf("removed \"%s\", but not all of %s: a file in it is in use or read-only\n", packName.c_str(),
                    directory.c_str());
        PrintProblems(RefusalText(files));
        return Failed;
    }
    std::printf("removed \"%s\" and its files\n", packName.c_str());
    return Done;
}

// tlpack share: every user of the machine may change the SoundPacks, the database's key
// and the packs' directory with all they hold and will hold. The setup program runs it as
// an administrator: on Vista and later the plug-in runs with a standard user's rights.
int Share() {
    const std::string directory = SoundPacksDir();
    const std::string problems[] = {
        ShareKeyWithUsers(HKEY_LOCAL_MACHINE, DatabaseKeyPath),
        directory == "\\Tunelark\\" ? "Messenger Plus!'s plug-in directory is unknown (no PluginDir)"
                                    : ShareDirectoryWithUsers(directory)};
    bool failed = false;
    for (const std::string& problem : problems) {
        if (problem.empty()) continue;
        std::printf("not shared: %s\n", problem.c_str());
        failed = true;
    }
    if (failed) return Failed;
    std::printf("every user may change the SoundPacks: HKEY_LOCAL_MACHINE\\%s and %s\n", DatabaseKeyPath,
                directory.c_str());
    return Done;
}

}  // namespace

int main(int argc, char** argv) {
    SetThisModule(GetModuleHandleA(nullptr));  // the message table is linked in
    const std::vector<std::string> args(argv + 1, argv + argc);
    const std::string verb = args.empty() ? "" : args[0];
    if (verb == "list" && args.size() == 1) {
        LoadSoundDatabase(SoundsKeyPath);
        return List();
    }
    if ((verb == "install" || verb == "check") && args.size() == 2) {
        LoadSoundDatabase(SoundsKeyPath);
        return verb == "install" ? Install(args[1]) : Check(args[1]);
    }
    if (verb == "export" && args.size() == 3) {
        LoadSoundDatabase(SoundsKeyPath);
        return Export(args[1], args[2]);
    }
    if (verb == "remove" && (args.size() == 2 || (args.size() == 3 && args[2] == "--files"))) {
        LoadSoundDatabase(SoundsKeyPath);
        return Remove(args[1], args.size() == 3);
    }
    if (verb == "share" && args.size() == 1) return Share();
    return Usage();
}
