#pragma once

#include <windows.h>

namespace tunelark {

// The version shown by About; a fixed text, not a version resource.
inline constexpr char PluginVersionText[] = "3.00.008";

// About: the version and the credits from the message table. 1 for "&Close", 2 for Esc.
int ShowAbout(HWND owner);

// Help: how to use the plug-in. Opened by F1 in any of the plug-in's dialogs.
int ShowHelp(HWND owner);

}  // namespace tunelark
