// Installing a SoundPack from its install.ini description file.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "sounddb/sound_records.h"

namespace tunelark {

// Error lines of the installs since the Error Dialog last showed them; each install
// either replaces it (when it fails before reading any Sound) or appends to it.
extern std::string InstallErrorText;

// What an install did, for callers that report it in their own words; the lines of
// InstallErrorText tell a person the same.
struct InstallOutcome {
    // The install appended the pack to the database: a new pack, or one that was only in
    // the registry. False when it updated a pack already loaded.
    bool newRecord = false;
    std::vector<int> added;          // SoundIndex of each Sound added, in file order
    std::vector<int> alreadyInPack;  // of each section whose SoundIndex the pack had already
    std::vector<int> inOtherPack;    // of each section whose SoundIndex another pack has
    long long warnings = 0;          // sections that replaced an earlier one of the file
    long long problems = 0;          // sections refused for anything but alreadyInPack
    // The system's reason the registry refused the install, or part of it (then
    // `added` holds the Sounds saved before); ERROR_SUCCESS when all was written.
    DWORD refused = ERROR_SUCCESS;
};

// Reads the install.ini at iniPath (a full path) and installs every Sound that passes
// its checks. A pack of that Name already installed (loaded, or only in the registry,
// which is then read in first) is updated in place: its Sounds stay as they are, new
// SoundIndex values are added, Artist and Version are taken from the file, and its
// Enabled flags are left alone. Otherwise the pack is new: saved and appended to the
// database. A SoundIndex given by two sections is the later one's, as its registry key
// would be. progressBar, when it is a window, is a progress control moved one step per
// section accepted. Answers the pack, or null when the install failed before any Sound
// was read; problems are in InstallErrorText either way. A user who may not change the
// library is refused before anything is written; a refusal halfway leaves the pack in
// memory as the registry holds it.
SoundPack* InstallSoundPack(const std::string& iniPath, HWND progressBar, InstallOutcome* outcome = nullptr);

struct InstallFileCheck {
    std::string report;  // one line each, problems and warnings
    long long problems = 0;
    long long warnings = 0;
    std::vector<std::string> soundFiles;  // full path of each Sound that would be installed
};

// Every problem an install of the file would meet, without installing: all of a
// section's problems, not only its first. A SoundIndex that the installed pack of the
// same Name has already is none; a SoundIndex given twice is a warning.
InstallFileCheck CheckInstallFile(const std::string& iniPath);

}  // namespace tunelark
