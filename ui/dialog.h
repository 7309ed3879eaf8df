// The skeleton every dialog of the plug-in stands on: a modal dialog from the module's
// resources with the plug-in's big icon, and handlers for its few messages. A dialog
// keeps its state in a struct of its own that the handlers capture.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>

#include "sounddb/library_change.h"

namespace tunelark::ui {

struct DialogHandlers {
    // After the icon is set. Answers what WM_INITDIALOG answers: TRUE lets the system
    // put the focus on the first control.
    std::function<BOOL(HWND dialog)> init;
    // Any command but IDOK and IDCANCEL; true when handled.
    std::function<bool(HWND dialog, int id, int code)> command;
    // The answer goes back to the control through DWLP_MSGRESULT.
    std::function<LRESULT(HWND dialog, NMHDR* header)> notify;
    // "OK" and Enter; without a handler the dialog ends with IDOK.
    std::function<void(HWND dialog)> ok;
    // "Cancel", Esc and the close box; without a handler the dialog ends with IDCANCEL.
    std::function<void(HWND dialog)> cancel;
    // Any other message (the dialog's own WM_USER messages, WM_DESTROY); true when
    // handled, which answers the sender 0.
    std::function<bool(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)> message;
    // F1 (WM_HELP) opens the Help dialog over any dialog but Help itself.
    bool isHelp = false;
};

// Runs the dialog with resource id templateId modally. Answers the value it ended with,
// or -1 when it could not be created.
INT_PTR RunModalDialog(int templateId, HWND owner, const DialogHandlers& handlers);

// Control helpers. Texts are read through a buffer of `limit` bytes, terminator
// included, as the dialogs' fixed fields are; a longer text comes back cut to fit.
bool IsChecked(HWND dialog, int id);
void SetChecked(HWND dialog, int id, bool checked);
std::string ItemText(HWND dialog, int id, size_t limit);
void SetItemText(HWND dialog, int id, const std::string& text);
void EnableControls(HWND dialog, std::initializer_list<int> ids, bool enabled);

// Tells the user of a refused change to the library in a message box, once: true when
// there was one to tell.
bool TellRefusal(HWND owner, const Refusal& refusal);

// Switches a control's drawing off while many items go in or out, and back on with one
// repaint when it goes out of scope: a list view or tree view otherwise repaints and
// resizes its scroll bars for every item. Only the outermost of nested pauses of one
// control switches drawing back on. A control without WS_VISIBLE is left alone, since
// switching drawing on would show it.
class RedrawPause {
public:
    explicit RedrawPause(HWND control);
    ~RedrawPause();
    RedrawPause(const RedrawPause&) = delete;
    RedrawPause& operator=(const RedrawPause&) = delete;

private:
    HWND control_ = nullptr;  // set only by the pause that switched drawing off
};

// The common Open or Save dialog: the full path chosen, empty when cancelled. filter is
// the dialog's list of "name\0pattern\0" pairs; defaultExtension may be null.
enum class FileDialog { Open, Save };
std::string AskFileName(FileDialog kind, HWND owner, const char* filter, const char* defaultExtension);

}  // namespace tunelark::ui
