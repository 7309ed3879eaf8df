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

// Reads the install.ini at iniPath (a full path), builds the pack with every Sound that
// passes its checks, saves it and appends it to the database. progressBar, when it is a
// window, is a progress control moved one step per Sound accepted. Answers the new pack,
// or null when the install failed before any Sound was read; problems are in
// InstallErrorText either way.
SoundPack* InstallSoundPack(const std::string& iniPath, HWND progressBar);

// Every problem an install of the file would meet, one line each, without installing:
// all of a section's problems, not only its first. soundFiles, when given, receives the
// full path of each Sound that would be installed. Empty when the file is sound.
std::string CheckInstallFile(const std::string& iniPath, std::vector<std::string>* soundFiles = nullptr);

}  // namespace tunelark
