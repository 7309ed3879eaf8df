// The SoundPack dialogs the Config Panel opens: New SoundPack, SoundPack Properties,
// Install a Soundpack with its Error Dialog, and Confirm Delete. New and installed packs
// are announced to the panel (the dialog's owner) with UM_ADDPACKNODE.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace tunelark {

class SoundPack;

// Properties opened without a pack to show.
constexpr int PropertiesWithoutPack = 1003;

// 1 when a pack was created (appended, saved, announced), 2 when cancelled.
int ShowNewSoundPack(HWND owner);
// Shows the pack and switches its Enabled flag. 1 (OK), 2 (Esc), PropertiesWithoutPack
// for no pack, without showing anything.
int ShowSoundPackProperties(HWND owner, SoundPack* pack);
// Installs install.ini files, one after the other, until closed; always 2.
int ShowInstallSoundPack(HWND owner);
// Shows InstallErrorText and empties it. 1 (Close) or 2 (Esc).
int ShowInstallErrors(HWND owner);
// DeleteCancelled, or DeleteWithFiles / DeleteKeepFiles as option 203 stands when OK
// is pressed.
int ShowConfirmDelete(HWND owner);

// Why New SoundPack refuses a name: empty when it may be created. Refused are an empty
// name, one that cannot be a key and directory of its own, and one a pack already has
// (in the database or only in the registry): saving it would overwrite that pack.
std::string NewSoundPackNameProblem(const std::string& name);

// Where the dialogs meet the system's file dialog, replaceable by tests.
struct PackSeams {
    // The install.ini the user picks; empty when cancelled.
    std::function<std::string(HWND owner)> installFilePath;
};
PackSeams& PackDialogSeams();
void ResetPackDialogSeams();

}  // namespace tunelark
