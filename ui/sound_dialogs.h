// Add Sound and Edit Sound: one Sound's four fields, checked while the user types. The
// confirm button is enabled only while every field is acceptable; the SoundIndex must
// be a number in range, without leading zeros, that no other Sound uses, because it is
// what every user's copy of the plug-in knows the sound by.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace tunelark {

class Sound;
class SoundPack;

// Bits of a dialog's validity mask; the confirm button wants all four.
constexpr unsigned IndexValid = 1;
constexpr unsigned CommandGiven = 2;
constexpr unsigned FilenameGiven = 4;
constexpr unsigned MessageGiven = 8;
constexpr unsigned AllFieldsValid = 15;

// Each answers the new mask; the other bits are left as they are.
unsigned SetFieldBit(unsigned mask, unsigned bit);
unsigned ClearFieldBit(unsigned mask, unsigned bit);
inline bool ConfirmEnabled(unsigned mask) { return mask == AllFieldsValid; }

// The largest SoundIndex either dialog accepts.
constexpr unsigned LargestSoundIndex = 16387064;

// What the SoundIndex field's text is worth: the status shown beside it and whether it
// sets IndexValid. `editing` is the Sound that Edit Sound edits, null in Add Sound.
// The number is read as GetDlgItemInt reads an unsigned one.
struct IndexVerdict {
    std::string status;
    bool valid = false;
};
IndexVerdict JudgeSoundIndex(const std::string& text, const Sound* editing);

// Process-wide, one per dialog, as the dialogs keep them.
unsigned AddSoundValidMask();
unsigned EditSoundValidMask();
int AddSoundOpenCount();
int EditSoundOpenCount();

// Adds a Sound to the pack. With a Config Panel as owner (or its tree view), the new
// row is sent to the end of the panel's list. 1 when added, 2 when cancelled or
// refused because one is already open; -1 when the dialog could not be created.
int ShowAddSound(SoundPack& pack, HWND owner);
// Edits the Sound in place. 1 when changed and saved, 2 otherwise, -1 as above.
int ShowEditSound(Sound& sound, HWND owner);

// Where the dialogs meet the file dialog, replaceable by tests.
struct SoundDialogSeams {
    // The sound file the user picked; empty when cancelled.
    std::function<std::string(HWND owner)> browse;
};
SoundDialogSeams& SoundDialogsSeams();
void ResetSoundDialogsSeams();

}  // namespace tunelark
