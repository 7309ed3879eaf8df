#include "sounddb/library_change.h"

#include <utility>
#include <vector>

#include "base/module.h"
#include "base/regular_file.h"
#include "settings/registry.h"
#include "sounddb/library_watch.h"
#include "sounddb/sound_registry.h"

namespace tunelark {

namespace {

bool KeyExists(const std::string& path) {
    return static_cast<bool>(RegKey::Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ));
}

// Refusals of rights, as against a file in use or a full disk.
bool IsRightsRefusal(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT || error == ERROR_PRIVILEGE_NOT_HELD;
}

Sound* FindInPack(const SoundPack& pack, const std::string& indexText) {
    for (Sound* s = pack.Sounds(); s; s = s->Next())
        if (s->IndexText() == indexText) return s;
    return nullptr;
}

std::string JoinedWithAnd(const std::vector<std::string>& words) {
    std::string joined;
    for (size_t i = 0; i < words.size(); ++i) joined += (i == 0 ? "" : i + 1 == words.size() ? " and " : ", ") + words[i];
    return joined;
}

// For a Sound whose save was refused halfway: which of its values the registry holds as
// they were meant to be, read back after the refusal. Empty when its key is not there.
std::string SavedPart(const SoundPack& pack, const Sound& wanted) {
    const Sound* now = FindInPack(pack, wanted.IndexText());
    if (!now) return std::string();
    std::vector<std::string> saved, missed;
    const std::pair<const char*, bool> fields[] = {{"command", now->Command() == wanted.Command()},
                                                   {"file", now->Filename() == wanted.Filename()},
                                                   {"message", now->Message() == wanted.Message()}};
    for (const auto& [name, equal] : fields) (equal ? saved : missed).push_back(name);
    std::string text = "Part of it was saved: the list shows " + DescribeSound(*now) + " as the registry holds it";
    if (!saved.empty()) text += ", with its " + JoinedWithAnd(saved) + " as you gave " + (saved.size() > 1 ? "them" : "it");
    if (!missed.empty()) text += ", but not its " + JoinedWithAnd(missed);
    return text + ". Saving it again completes it once the change is allowed.";
}

// The refusal of a new SoundIndex that a pack in the registry has, or nothing.
Refusal IndexTaken(int index, const std::string& notDone) {
    const auto owners = RegistryIndexOwners();
    const auto owner = owners.find(index);
    if (owner == owners.end()) return Refusal();
    return ChangedMeanwhile(ERROR_ALREADY_EXISTS, notDone,
                            "SoundIndex " + std::to_string(index) + " is in use by " + DescribePack(owner->second) +
                                ", which another program changed meanwhile. Choose another SoundIndex.");
}

// The refusal of a change to a record whose key another program deleted, or nothing.
Refusal KeyGone(const std::string& keyPath, const std::string& notDone, const std::string& what) {
    if (LibraryKeyExists(keyPath)) return Refusal();
    return ChangedMeanwhile(ERROR_FILE_NOT_FOUND, notDone,
                            "Another program deleted " + what + " meanwhile; nothing was written.");
}

}  // namespace

std::string RefusalText(const Refusal& refusal) {
    std::string text = refusal.notDone + "\r\n";
    if (!refusal.done.empty()) text += refusal.done + "\r\n";
    if (!refusal.why.empty()) return text + "\r\n" + refusal.why + "\r\n";
    text += "\r\nWindows gave this reason: " + SystemErrorText(refusal.error) + "\r\n\r\n";
    if (IsRightsRefusal(refusal.error)) {
        text += "The SoundPacks are shared by every user of this computer, and your Windows account may not "
                "change them. To let every user change them, run the Tunelark setup program as an "
                "administrator (with \"Let every user of this computer change the SoundPacks\" ticked), or ask "
                "an administrator to make this change.\r\n";
    } else {
        text += "Try again; if it is refused again, ask an administrator.\r\n";
    }
    return text;
}

Refusal ChangedMeanwhile(DWORD error, std::string notDone, std::string why) {
    Refusal refusal;
    refusal.error = error;
    refusal.notDone = std::move(notDone);
    refusal.why = std::move(why);
    return refusal;
}

Refusal LibraryBusy(std::string notDone) {
    return ChangedMeanwhile(WAIT_TIMEOUT, std::move(notDone),
                            "Another program (tlpack, the setup program or another user's Tunelark) was changing the "
                            "SoundPacks all the while, so nothing was changed. Try again in a moment.");
}

std::string DescribeSound(const Sound& sound) {
    return "the sound \"" + sound.Command() + "\" (SoundIndex " + sound.IndexText() + ")";
}

std::string DescribePack(const std::string& name) {
    return "the SoundPack \"" + name + "\"";
}

Refusal CheckLibraryChange(const std::string& keyPath, const std::string& notDone, REGSAM extra) {
    Refusal refusal;
    refusal.error = static_cast<DWORD>(ProbeLibraryChange(keyPath, extra));
    if (refusal) refusal.notDone = notDone;
    return refusal;
}

Refusal AddSoundToLibrary(SoundPack& pack, std::unique_ptr<Sound> sound, Sound** added) {
    *added = nullptr;
    const std::string notDone = "Tunelark could not add " + DescribeSound(*sound) + " to " + DescribePack(pack.Name()) + ".";
    const LibraryWrite write;
    if (write.Busy()) return LibraryBusy(notDone);
    if (Refusal gone = KeyGone(pack.KeyPath(), notDone, DescribePack(pack.Name()))) return gone;
    if (Refusal taken = IndexTaken(sound->Index(), notDone)) return taken;
    const std::string path = pack.KeyPath() + "\\" + sound->IndexText();
    const bool keyWasThere = KeyExists(path);
    Refusal refusal;
    refusal.error = static_cast<DWORD>(SaveSound(*sound, pack.KeyPath()));
    if (!refusal) {
        *added = pack.AddSound(std::move(sound));
        return refusal;
    }
    refusal.notDone = notDone;
    // Taken back where it can be; what the registry kept is read in.
    if (!keyWasThere) DeleteSoundKey(*sound, pack.KeyPath());
    RereadSoundPack(pack);
    refusal.done = SavedPart(pack, *sound);
    return refusal;
}

Refusal StoreSoundChanges(Sound& sound, const Sound& edited, int enabled) {
    SoundPack* pack = sound.Pack();
    const std::string packKey = pack ? pack->KeyPath() : std::string();
    const std::string oldIndex = sound.IndexText();
    const bool moved = edited.IndexText() != oldIndex;
    const std::string notDone = "Tunelark could not save the changes to " + DescribeSound(sound) + ".";
    const LibraryWrite write;
    if (write.Busy()) return LibraryBusy(notDone);
    if (Refusal gone = KeyGone(sound.KeyPath(), notDone, DescribeSound(sound))) return gone;
    if (edited.Index() != sound.Index()) {
        if (Refusal taken = IndexTaken(edited.Index(), notDone)) return taken;
    }
    const bool newKeyWasThere = moved && KeyExists(packKey + "\\" + edited.IndexText());

    Sound stored(pack);
    stored.SetIndexText(edited.IndexText());
    stored.SetCommand(edited.Command());
    stored.SetFilename(edited.Filename());
    stored.SetMessage(edited.Message());
    Refusal refusal;
    refusal.error = static_cast<DWORD>(SaveSound(stored, packKey));
    // Saving marks the Sound enabled; the flag is what the user chose.
    RegResult flag = ERROR_SUCCESS;
    if (!refusal) stored.SetProperty(SoundEnabledProperty, enabled, &flag);
    if (!refusal) refusal.error = static_cast<DWORD>(flag);
    if (!refusal && moved) {
        refusal.error = static_cast<DWORD>(DeleteSoundKey(sound, packKey));
        if (refusal) {
            refusal.notDone = "Tunelark could not remove the old SoundIndex " + oldIndex + " of " + DescribeSound(stored) + ".";
            refusal.done = "The sound was saved under its new SoundIndex " + stored.IndexText() +
                           "; the list shows both until the old one is deleted.";
        }
    } else if (refusal) {
        refusal.notDone = notDone;
        if (moved && !newKeyWasThere) DeleteSoundKey(stored, packKey);
    }
    if (!refusal) {
        sound.SetIndexText(stored.IndexText());
        sound.SetCommand(stored.Command());
        sound.SetFilename(stored.Filename());
        sound.SetMessage(stored.Message());
        sound.SetKeyPath(stored.KeyPath());
        return refusal;
    }
    if (pack) {
        RereadSoundPack(*pack);
        if (refusal.done.empty()) refusal.done = SavedPart(*pack, stored);
    }
    return refusal;
}

Refusal CreateSoundPack(std::unique_ptr<SoundPack> pack, SoundPack** added) {
    *added = nullptr;
    const std::string notDone = "Tunelark could not create " + DescribePack(pack->Name()) + ".";
    const LibraryWrite write;
    if (write.Busy()) return LibraryBusy(notDone);
    if (LibraryKeyExists(PackKeyPath(pack->Name())))
        return ChangedMeanwhile(ERROR_ALREADY_EXISTS, notDone,
                                "Another program created a SoundPack named \"" + pack->Name() +
                                    "\" meanwhile. Choose another name.");
    Refusal refusal;
    refusal.error = static_cast<DWORD>(SaveSoundPack(*pack));
    if (!refusal) {
        *added = AppendSoundPack(std::move(pack));
        return refusal;
    }
    const std::string name = pack->Name();
    refusal.notDone = notDone;
    // The name was free before (see NewSoundPackNameProblem): what is there is this try's.
    DeleteRegKeyTree(HKEY_LOCAL_MACHINE, pack->KeyPath().c_str());
    if (KeyExists(pack->KeyPath())) {
        *added = LoadSoundPack(SoundsKeyPath, name);
        refusal.done = "Its key was created, without all of its values: the SoundPack is there, and deleting it "
                       "and creating it again completes it once the change is allowed.";
    }
    return refusal;
}

Refusal RemoveSoundFromLibrary(Sound* sound) {
    Refusal refusal;
    if (!sound) return refusal;
    const std::string what = DescribeSound(*sound);
    const LibraryWrite write;
    if (write.Busy()) return LibraryBusy("Tunelark could not delete " + what + ".");
    refusal.error = static_cast<DWORD>(DeleteSound(sound));
    if (refusal) refusal.notDone = "Tunelark could not delete " + what + ".";
    return refusal;
}

Refusal RemoveSoundPackFromLibrary(SoundPack* pack) {
    Refusal refusal;
    if (!pack) return refusal;
    const std::string name = pack->Name();
    const int before = pack->SoundCount();
    const LibraryWrite write;
    if (write.Busy()) return LibraryBusy("Tunelark could not delete " + DescribePack(name) + ".");
    RegResult error = ERROR_SUCCESS;
    if (DeleteSoundPack(pack, &error)) return refusal;
    refusal.error = static_cast<DWORD>(error);
    refusal.notDone = "Tunelark could not delete " + DescribePack(name) + ".";
    const int gone = before - pack->SoundCount();
    if (gone > 0)
        refusal.done = std::to_string(gone) + " of its " + std::to_string(before) +
                       " sounds were deleted; the SoundPack and its other sounds stay.";
    return refusal;
}

namespace {

template <typename Record>
Refusal SetEnabled(const Record& record, int property, bool enabled, const std::string& what) {
    const std::string notDone = "Tunelark could not switch " + what + (enabled ? " on." : " off.");
    const LibraryWrite write;
    if (write.Busy()) return LibraryBusy(notDone);
    // The flag written to a key that is gone would make the key again.
    if (Refusal gone = KeyGone(record.KeyPath(), notDone, what)) return gone;
    Refusal refusal;
    RegResult error = ERROR_SUCCESS;
    if (record.SetProperty(property, enabled ? 1 : 0, &error) == 0) {
        refusal.error = static_cast<DWORD>(error);
        refusal.notDone = notDone;
    }
    return refusal;
}

}  // namespace

Refusal SetPackEnabled(const SoundPack& pack, bool enabled) {
    return SetEnabled(pack, SoundPackEnabledProperty, enabled, DescribePack(pack.Name()));
}

Refusal SetSoundEnabled(const Sound& sound, bool enabled) {
    return SetEnabled(sound, SoundEnabledProperty, enabled, DescribeSound(sound));
}

Refusal DeleteSoundFile(const std::string& path, const std::string& soundDescription) {
    Refusal refusal;
    refusal.error = DeleteFileChecked(path.c_str());
    if (!refusal) return refusal;
    refusal.notDone = "Tunelark could not delete the file " + path + " of " + soundDescription + ".";
    return refusal;
}

}  // namespace tunelark
