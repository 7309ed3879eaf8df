// Finds a dialog or message box of this process by its caption, the way a person finds
// it on the screen. Used by the host stand-in to answer the plug-in's prompts and by the
// tests to drive dialogs.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

struct DialogSearch {
    const std::string* caption;
    HWND found = nullptr;
};

inline BOOL CALLBACK MatchOwnDialog(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<DialogSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId()) return TRUE;
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (std::string(cls) != "#32770") return TRUE;
    // Reads the caption without sending WM_GETTEXT, which would wait for a window
    // thread that may itself be busy in the call that opened the dialog.
    wchar_t wide[256] = {};
    InternalGetWindowText(hwnd, wide, 256);
    char text[256] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    // A modal dialog becomes visible only once its controls exist and are initialised.
    if (*s->caption == text && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
        s->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

inline HWND FindOwnDialog(const std::string& caption) {
    DialogSearch search{&caption};
    EnumWindows(MatchOwnDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Posts a click on a button of the dialog, as the user's click would arrive.
inline void ClickButton(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace standin
