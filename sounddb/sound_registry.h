// The sound database's lasting copy below HKEY_LOCAL_MACHINE: one key per SoundPack
// under SoundsKeyPath, one key per Sound under its pack's key, named by IndexText.
#pragma once

#include <windows.h>

#include <string>
#include <unordered_map>

#include "settings/registry.h"
#include "sounddb/sound_records.h"

namespace tunelark {

extern const char* const DatabaseKeyPath;  // below HKEY_LOCAL_MACHINE; SoundsKeyPath's parent
extern const char* const SoundsKeyPath;    // below HKEY_LOCAL_MACHINE
// The longest text of a Sound (command, file, message) that a load reads back, in bytes.
constexpr size_t MaxSoundTextBytes = 1023;

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
// Keys are opened with the rights to read them and no more, for every user alike.
void LoadSoundDatabase(const std::string& rootPath);
// Reads in the one pack key below HKEY_LOCAL_MACHINE\rootPath whose name equals `name`
// but for the case of ASCII letters, as LoadSoundDatabase would, and appends it: a pack
// that is in the registry but not loaded. Null when there is no such key or it cannot
// be read.
SoundPack* LoadSoundPack(const std::string& rootPath, const std::string& name);

// Reads the pack's Artist, Version and Sounds again from its key, in place: after a
// change the registry refused part of, the record holds what the registry does. The
// record itself stays (callers may hold it). False when the key cannot be read.
bool RereadSoundPack(SoundPack& pack);

// What the registry holds now, whatever this process loaded: a change checks against it
// under the library lock (LibraryWrite), since another process may have changed it.
bool LibraryKeyExists(const std::string& keyPath);
// The name of the pack key that holds a Sound key of each SoundIndex: the first in the
// order a load reads them, as FindSoundByIndex answers for the loaded database.
std::unordered_map<int, std::string> RegistryIndexOwners();

// Whether the user may change the database at keyPath (a pack or Sound key, or the root;
// one not there yet is asked of the key it would be created in): write values and
// create keys, and `extra` rights (DELETE) as well. ERROR_SUCCESS or the refusal.
// Asked before a change, so a user without the rights learns it before doing the work.
RegResult ProbeLibraryChange(const std::string& keyPath, REGSAM extra = 0);

// The writes stop at the first step the registry refuses and answer its reason; what
// was written before it stays. ERROR_SUCCESS when all was written.

// Writes the pack and all its Sounds (each with Enabled = 1). Writes nothing for a
// pack whose name is not a safe key name.
RegResult SaveSoundPack(SoundPack& pack);
// The pack's key with its Name, Artist and Version, none of its Sounds; `enable` writes
// Enabled = 1 as well, otherwise the flag stays as the user set it.
RegResult SaveSoundPackValues(const SoundPack& pack, bool enable);
// Writes the Sound below packKeyPath and sets its KeyPath. Writes nothing (and leaves
// KeyPath) when the resulting key would not lie below a pack key.
RegResult SaveSound(Sound& sound, const std::string& packKeyPath);
// Deletes packKeyPath\IndexText with everything below it, when that is a Sound key.
RegResult DeleteSoundKey(const Sound& sound, const std::string& packKeyPath);
// Deletes the Sound's key, takes the Sound out of its pack and destroys it. When the
// key cannot be deleted the Sound stays, in memory as in the registry.
RegResult DeleteSound(Sound* sound);
// Deletes the pack's key tree (only when KeyPath is a pack key), destroys its Sounds,
// unlinks it from SoundPackList and destroys it: 1. When the registry refuses, 0 with
// the reason in `refused`: the pack stays, holding the Sounds whose keys are left.
int DeleteSoundPack(SoundPack* pack, RegResult* refused = nullptr);

}  // namespace tunelark
