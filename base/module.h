// The plug-in's own module and what it carries: the handle its entry point stores, the
// window icons loaded from it, and texts formatted from its message table.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tunelark {

// Valid from load on; dialogs, icons and messages are all looked up through it.
HMODULE ThisModule();
void SetThisModule(HMODULE module);

// The large icon is loaded as the system loads a window icon; the small one as a
// 16 x 16 image with a transparent background. Both are owned until DestroyPluginIcons.
void LoadPluginIcons(int largeId, int smallId);
void DestroyPluginIcons();
HICON LargeIcon();
HICON SmallIcon();

// One insert of a message: a text for %n or %n!s!, a number for %n!d!. Holds the
// text's address only, so it lives no longer than the call it is made for.
struct MessageInsert {
    MessageInsert(const std::string& text) : value(reinterpret_cast<DWORD_PTR>(text.c_str())) {}
    MessageInsert(const char* text) : value(reinterpret_cast<DWORD_PTR>(text ? text : "")) {}
    MessageInsert(int number) : value(static_cast<DWORD_PTR>(number)) {}
    DWORD_PTR value;
};

// Message `id` of the module's message table with %1, %2... replaced by `inserts`;
// empty when the module has no such message.
std::string FormatModuleMessage(DWORD id, const std::vector<MessageInsert>& inserts = {});

// The system's own text for an error code, in the user's language, with the code:
// "Access is denied. (error 5)"; the code alone when the system has no text for it.
std::string SystemErrorText(DWORD error);

// The C++ runtime linked into this module keeps, for good, a reserve for exceptions
// and a record (with an event and a thread handle) of the thread that loaded it. A host
// that unloads and reloads the plug-in would gather one set per load: on an unload that
// is not process exit they are given back here. The record's own few hundred bytes
// cannot be.
void ReleaseRuntimeResources();

}  // namespace tunelark
