#include "ui/dialog.h"

#include <commdlg.h>

#include <vector>

#include "base/module.h"
#include "ui/about_dialog.h"

namespace tunelark::ui {

namespace {

const DialogHandlers* HandlersOf(HWND dialog) {
    return reinterpret_cast<const DialogHandlers*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(LargeIcon()));
        const DialogHandlers* handlers = HandlersOf(dialog);
        return handlers && handlers->init ? handlers->init(dialog) : TRUE;
    }
    const DialogHandlers* handlers = HandlersOf(dialog);
    if (!handlers) return FALSE;
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDOK) {
            if (handlers->ok) handlers->ok(dialog);
            else EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (id == IDCANCEL) {
            if (handlers->cancel) handlers->cancel(dialog);
            else EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return handlers->command && handlers->command(dialog, id, HIWORD(wParam)) ? TRUE : FALSE;
    }
    case WM_NOTIFY:
        if (!handlers->notify) return FALSE;
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT,
                          handlers->notify(dialog, reinterpret_cast<NMHDR*>(lParam)));
        return TRUE;
    case WM_CLOSE:
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    case WM_HELP:
        // F1 anywhere in the plug-in's dialogs; Help itself has nothing more to show.
        if (!handlers->isHelp) ShowHelp(dialog);
        return TRUE;
    }
    if (!handlers->message || !handlers->message(dialog, message, wParam, lParam)) return FALSE;
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
    return TRUE;
}

}  // namespace

INT_PTR RunModalDialog(int templateId, HWND owner, const DialogHandlers& handlers) {
    return DialogBoxParamA(ThisModule(), MAKEINTRESOURCEA(templateId), owner, DialogProc,
                           reinterpret_cast<LPARAM>(&handlers));
}

bool IsChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void SetChecked(HWND dialog, int id, bool checked) {
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

std::string ItemText(HWND dialog, int id, size_t limit) {
    if (limit == 0) return std::string();
    std::vector<char> buffer(limit, '\0');
    const UINT length = GetDlgItemTextA(dialog, id, buffer.data(), static_cast<int>(limit));
    return std::string(buffer.data(), length < limit ? length : limit - 1);
}

void SetItemText(HWND dialog, int id, const std::string& text) {
    SetDlgItemTextA(dialog, id, text.c_str());
}

void EnableControls(HWND dialog, std::initializer_list<int> ids, bool enabled) {
    for (int id : ids) EnableWindow(GetDlgItem(dialog, id), enabled ? TRUE : FALSE);
}

namespace {
constexpr const char* RedrawPausedProperty = "Tunelark.RedrawPaused";
}

RedrawPause::RedrawPause(HWND control) {
    if (!control || !(GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) || GetPropA(control, RedrawPausedProperty))
        return;
    SetPropA(control, RedrawPausedProperty, reinterpret_cast<HANDLE>(1));
    SendMessageA(control, WM_SETREDRAW, FALSE, 0);
    control_ = control;
}

RedrawPause::~RedrawPause() {
    if (!control_) return;
    RemovePropA(control_, RedrawPausedProperty);
    SendMessageA(control_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(control_, nullptr, TRUE);
}

bool TellRefusal(HWND owner, const Refusal& refusal) {
    if (!refusal) return false;
    MessageBoxA(owner, RefusalText(refusal).c_str(), "Sorry...", MB_OK | MB_ICONEXCLAMATION);
    return true;
}

std::string AskFileName(FileDialog kind, HWND owner, const char* filter, const char* defaultExtension) {
    char file[2048] = {};  // as long as any path the plug-in keeps
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | (kind == FileDialog::Open ? OFN_FILEMUSTEXIST : OFN_PATHMUSTEXIST);
    ofn.lpstrDefExt = defaultExtension;
    // The library is loaded on first use and kept for good: linked into the plug-in, it
    // would be unloaded with it and leave a mutex behind at every unload.
    using Ask = BOOL(WINAPI*)(LPOPENFILENAMEA);
    HMODULE dialogs = nullptr;
    if (!LoadLibraryA("comdlg32.dll") || !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, "comdlg32.dll", &dialogs))
        return std::string();
    const char* name = kind == FileDialog::Open ? "GetOpenFileNameA" : "GetSaveFileNameA";
    const auto ask = reinterpret_cast<Ask>(reinterpret_cast<void*>(GetProcAddress(dialogs, name)));
    if (!ask || !ask(&ofn)) return std::string();
    file[sizeof file - 1] = '\0';
    return file;
}

}  // namespace tunelark::ui
