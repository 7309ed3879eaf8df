// Changes to the shared SoundPack library as the dialogs and the pack tool make them,
// each telling what it could not store. The library lives below HKEY_LOCAL_MACHINE and
// in the host's program folder, where a standard user of Windows Vista and later may
// read but not write. A refused change is never shown as done: the records in memory
// are brought back in line with what the registry holds.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "sounddb/sound_records.h"

namespace tunelark {

// A change the registry or the file system refused, in whole or in part.
struct Refusal {
    DWORD error = ERROR_SUCCESS;  // the system's reason; ERROR_SUCCESS when nothing was refused
    std::string notDone;          // what was not stored, as a sentence
    std::string done;             // what was stored before the refusal, as a sentence; may be empty
    // Why, where no right was refused: another program changed the library first, or kept
    // it locked. Empty for the system's refusals.
    std::string why;
    explicit operator bool() const { return error != ERROR_SUCCESS; }
};

// Refusals of a change that met another program's: the key was there already, or was gone.
Refusal ChangedMeanwhile(DWORD error, std::string notDone, std::string why);
// Another program held the library lock for the whole wait (LibraryWrite::Busy).
Refusal LibraryBusy(std::string notDone);

// The message for the user: what was not stored, what was, Windows' reason and what to
// do about it. Lines end with CR LF.
std::string RefusalText(const Refusal& refusal);

// `the sound "moo" (SoundIndex 500)`, `the SoundPack "Farm"`: how messages name them.
std::string DescribeSound(const Sound& sound);
std::string DescribePack(const std::string& name);

// Asked before a dialog opens, so a user without the rights learns it before filling
// it in: whether the library at keyPath may be changed (see ProbeLibraryChange), with
// `notDone` as the message's first sentence when it may not.
Refusal CheckLibraryChange(const std::string& keyPath, const std::string& notDone, REGSAM extra = 0);

// Each change below is checked against the registry and written under the library lock
// (LibraryWrite): a SoundIndex or pack name another process took meanwhile is refused,
// naming the pack that has it, and a Sound or pack another process deleted meanwhile is
// not written back.

// Stores the new Sound below its pack and only then adds it to the pack: `added`
// points at it. Refused, nothing of it stays where it can be taken back, and the pack
// is read again from the registry.
Refusal AddSoundToLibrary(SoundPack& pack, std::unique_ptr<Sound> sound, Sound** added);

// Stores new values for the Sound: `edited` holds them (IndexText, Command, Filename,
// Message), `enabled` its Enabled flag. A new SoundIndex is written before the old key
// is deleted, so a refusal never loses the Sound. On a refusal the pack is read again
// and `sound` may be gone: the caller looks it up anew.
Refusal StoreSoundChanges(Sound& sound, const Sound& edited, int enabled);

// Creates the pack (no Sounds yet) in the registry and then appends it: `added`
// points at it. A pack key the registry kept only in part is read in as it stands.
Refusal CreateSoundPack(std::unique_ptr<SoundPack> pack, SoundPack** added);

// DeleteSound and DeleteSoundPack, telling what stayed.
Refusal RemoveSoundFromLibrary(Sound* sound);
Refusal RemoveSoundPackFromLibrary(SoundPack* pack);

// The Enabled flag of a pack or a Sound.
Refusal SetPackEnabled(const SoundPack& pack, bool enabled);
Refusal SetSoundEnabled(const Sound& sound, bool enabled);

// Deletes a Sound's file; soundDescription (DescribeSound) names it in the message. A
// file that is not there counts as deleted.
Refusal DeleteSoundFile(const std::string& path, const std::string& soundDescription);

}  // namespace tunelark
