// The Blocklist dialog: the contacts who may or may not send sounds, and the three
// blocklist options. Every change is written at once; there is nothing to apply.
#pragma once

#include <windows.h>

#include <vector>

namespace tunelark {

// Blocklist dialogs between initialisation and destruction; only one may run.
int BlocklistOpenCount();

// Controls switched off while the blocklist option has the given value: with exactly
// 0 everything but "Enable the Blocklist" and "&Close"; otherwise none (the radio
// buttons, "Add" and "Remove" then follow the selection and the typed name).
std::vector<int> BlocklistLockedControls(int blocklistEnabled);
// What ticking "Enable the Blocklist" switches back on.
std::vector<int> BlocklistUnlockedControls();

// Modal. 1 for "&Close"; 2 for Esc, the close box, or when another Blocklist dialog
// is already open (this one then ends at once).
int ShowBlocklistDialog(HWND owner);

}  // namespace tunelark
