// The sound database's lasting copy below HKEY_LOCAL_MACHINE: one key per SoundPack
// under SoundsKeyPath, one key per Sound under its pack's key, named by IndexText.
#pragma once

#include <string>

#include "sounddb/sound_records.h"

namespace tunelark {

extern const char* const DatabaseKeyPath;  // below HKEY_LOCAL_MACHINE; SoundsKeyPath's parent
extern const char* const SoundsKeyPath;    // below HKEY_LOCAL_MACHINE

// A name that may stand as one key below the database: not empty, no "\", not "." or
// "..". Anything else could address a key other than the record's own. ("/" is an
// ordinary character in key names; directories have rules of their own.)
bool IsSafeKeyName(const std::string& name);
// SoundsKeyPath + "\" + a safe name.
bool IsPackKeyPath(const std::string& path);
// A pack key path + "\" + a safe name.
bool IsSoundKeyPath(const std::string& path);
// SoundsKeyPath + "\" + name: where a pack of that name is kept.
std::string PackKeyPath(const std::string& name);

// Appends every SoundPack and Sound below HKEY_LOCAL_MACHINE\rootPath to the database,
// in enumeration order; a Sound key whose name is already a loaded IndexText is skipped.
void LoadSoundDatabase(const std::string& rootPath);
// Reads in the one pack key below HKEY_LOCAL_MACHINE\rootPath whose name equals `name`
// but for the case of ASCII letters, as LoadSoundDatabase would, and appends it: a pack
// that is in the registry but not loaded. Null when there is no such key or it cannot
// be read.
SoundPack* LoadSoundPack(const std::string& rootPath, const std::string& name);

// Writes the pack and all its Sounds (each with Enabled = 1). Writes nothing for a
// pack whose name is not a safe key name.
void SaveSoundPack(SoundPack& pack);
// The pack's key with its Name, Artist and Version, none of its Sounds; `enable` writes
// Enabled = 1 as well, otherwise the flag stays as the user set it.
void SaveSoundPackValues(const SoundPack& pack, bool enable);
// Writes the Sound below packKeyPath and sets its KeyPath. Writes nothing (and leaves
// KeyPath) when the resulting key would not lie below a pack key.
void SaveSound(Sound& sound, const std::string& packKeyPath);
// Deletes packKeyPath\IndexText with everything below it, when that is a Sound key.
void DeleteSoundKey(const Sound& sound, const std::string& packKeyPath);
// Deletes the Sound's key, takes the Sound out of its pack and destroys it.
void DeleteSound(Sound* sound);
// Deletes the pack's key tree (only when KeyPath is a pack key), destroys its Sounds,
// unlinks it from SoundPackList and destroys it. Answers 1.
int DeleteSoundPack(SoundPack* pack);

}  // namespace tunelark
