#pragma once

#include <windows.h>

namespace tunelark {

constexpr int OptionsAccepted = 301;

// Advanced Options: the toast switch, the level settings and the output device, each
// written at once, and the way to the Blocklist dialog. 301 for "OK", 2 for "Cancel" or Esc; nothing depends on which.
int ShowAdvancedOptions(HWND owner);

}  // namespace tunelark
