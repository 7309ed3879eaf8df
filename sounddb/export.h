// A SoundPack written back out as an install.ini, and the removal of its sound files.
#pragma once

#include <string>

#include "sounddb/sound_records.h"

namespace tunelark {

// Writes the pack in the install.ini format to iniPath (keeping what else the file holds).
// A value that the format cannot carry so that it installs back unchanged (a line break,
// the text that stands for a missing key, more than 1022 characters) stops the export
// before anything is written: the answer is then why; empty when the pack was written.
std::string ExportSoundPack(const SoundPack& pack, const std::string& iniPath);

// Removes the directory with everything in it, by full paths (the process's current
// directory is left alone). A junction or symbolic link inside is removed as a link, never
// followed. What cannot be removed (a read-only file, say) stays, with its directories.
void DeleteDirectoryTree(const std::string& path);

// Removes SoundPacksDir + the pack's name, when the name is a pack's own (see
// PackNameProblem); nothing otherwise. The caller makes sure no file of it is open.
void RemovePackDirectory(const SoundPack& pack);

}  // namespace tunelark
