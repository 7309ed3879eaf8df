// tlpack: SoundPacks from the command line, for pack makers and scripts, with the very
// code the plug-in uses. Works on the sound database of the machine (or Wine prefix) it
// runs on.
//   tlpack install PATH\install.ini    install a pack (its sound files already in place)
//   tlpack export NAME OUT.ini         write an installed pack out as an install.ini
//   tlpack list                        the installed packs and their sounds
//   tlpack check PATH\install.ini      every problem of a file, without installing it
// Exit codes: 0 done and no problem, 1 a failure or a problem found, 2 bad arguments.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/module.h"
#include "base/regular_file.h"
#include "fsound/decoder.h"
#include "sounddb/export.h"
#include "sounddb/install.h"
#include "sounddb/sound_registry.h"

using namespace tunelark;

namespace {

constexpr int Done = 0;
constexpr int Failed = 1;
constexpr int BadArguments = 2;

int Usage() {
    std::fprintf(stderr,
                 "usage: tlpack install PATH\\install.ini | export NAME OUT.ini | list | check PATH\\install.ini\n");
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

int CountSounds(const SoundPack& pack) {
    int n = 0;
    for (const Sound* s = pack.Sounds(); s; s = s->Next()) ++n;
    return n;
}

int Install(const std::string& ini) {
    InstallErrorText.clear();
    const SoundPack* pack = InstallSoundPack(FullPath(ini), nullptr);
    PrintProblems(InstallErrorText);
    if (!pack) {
        std::printf("not installed\n");
        return Failed;
    }
    std::printf("installed \"%s\": %d sounds\n", pack->Name().c_str(), CountSounds(*pack));
    return InstallErrorText.empty() ? Done : Failed;
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
    std::printf("exported \"%s\" (%d sounds) to %s\n", pack->Name().c_str(), CountSounds(*pack), ini.c_str());
    return Done;
}

int List() {
    for (const SoundPack* pack = FirstSoundPack(); pack; pack = pack->Next()) {
        std::printf("%s - %s, version %s: %d sounds\n", pack->Name().c_str(), pack->Artist().c_str(),
                    pack->Version().c_str(), CountSounds(*pack));
        for (const Sound* s = pack->Sounds(); s; s = s->Next())
            std::printf("  %-10s /xTL%-16s %s\n", s->IndexText().c_str(), s->Command().c_str(), s->Filename().c_str());
    }
    return Done;
}

int Check(const std::string& ini) {
    std::vector<std::string> files;
    const std::string report = CheckInstallFile(FullPath(ini), &files);
    PrintProblems(report);
    int problems = report.empty() ? 0 : 1;
    for (const std::string& file : files) {
        if (!IsRegularFilePath(file.c_str())) {
            std::printf("Error: The sound file %s is missing\n", file.c_str());
            ++problems;
        } else if (!fsound::OpenDecoder(file)) {
            std::printf("Error: The sound file %s cannot be played\n", file.c_str());
            ++problems;
        }
    }
    if (problems == 0) std::printf("no problems: %zu sounds\n", files.size());
    return problems ? Failed : Done;
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
    return Usage();
}
