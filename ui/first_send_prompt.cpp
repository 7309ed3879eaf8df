#include "ui/first_send_prompt.h"

#include <windows.h>

#include "plugin/state/plugin_state.h"
#include "ui/resource_ids.h"

namespace tunelark {

namespace {

INT_PTR CALLBACK PromptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Plugin().largeIcon));
        return TRUE;
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        // Esc and the close box count as Deny: the safe answer.
        if (id != IDC_ALLOW && id != IDC_DENY && id != IDCANCEL) return FALSE;
        bool remember = IsDlgButtonChecked(dialog, IDC_REMEMBER_ANSWER) == BST_CHECKED;
        int answer = id == IDC_ALLOW ? PromptAllow : PromptDeny;
        EndDialog(dialog, answer | (remember ? PromptRemember : 0));
        return TRUE;
    }
    case WM_CLOSE:
        SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int ShowFirstSendPrompt() {
    INT_PTR result = DialogBoxParamA(Plugin().module, MAKEINTRESOURCEA(IDD_FIRST_SEND_PROMPT),
                                     nullptr, PromptProc, 0);
    // A dialog that cannot be created at all is treated as a refusal.
    return result <= 0 ? PromptDeny : static_cast<int>(result);
}

}  // namespace tunelark
