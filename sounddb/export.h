// A SoundPack written back out as an install.ini, and the removal of its sound files.
#pragma once

#include <windows.h>

#include <string>

#include "sounddb/library_change.h"
#include "sounddb/sound_records.h"

namespace tunelark {

// Writes the pack in the install.ini format to iniPath (keeping what else the file holds).
// A value that the format cannot carry so that it installs back unchanged (a line break,
// the text that stands for a missing key, more than 1022 characters) stops the export
// before anything is written: the answer is then why; empty when the pack was written.
std::string ExportSoundPack(const SoundPack& pack, const std::string& iniPath);

// What a removal could not remove: how many files and directories stayed, and the
// system's reason for the first of them.
struct RemovalLeft {
    long long entries = 0;
    DWORD firstError = ERROR_SUCCESS;
};

// Removes the directory with everything in it, by full paths (the process's current
// directory is left alone). A junction or symbolic link inside is removed as a link, never
// followed. What cannot be removed (a read-only file, say) stays, with its directories.
// A path that names no directory removes nothing and leaves nothing.
RemovalLeft DeleteDirectoryTree(const std::string& path);

// Removes SoundPacksDir + the pack's name, when the name is a pack's own (see
// PackNameProblem); nothing otherwise. The caller makes sure no file of it is open.
// Tells what stayed, and why.
Refusal RemovePackDirectory(const std::string& packName);

}  // namespace tunelark
