// Drives a modal dialog or message box of this process from a helper thread: waits
// (bounded) for a "#32770" window with the given caption, runs the action on it, and
// makes sure it closes, so a dialog that never appears or never ends fails the test
// instead of hanging it. When the dialog does not come within the timeout, whatever
// dialog or message box the process has open (one with another caption, say) is ended,
// so the call blocked in it returns and the test fails on its assertions.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "host/dialog_finder.h"

namespace testsupport {

using standin::ClickButton;
using standin::FindOwnDialog;

// Any visible dialog or message box of this process, whatever its caption.
inline BOOL CALLBACK MatchAnyOwnDialog(HWND hwnd, LPARAM lp) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd)) return TRUE;
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (std::string(cls) != "#32770") return TRUE;
    *reinterpret_cast<HWND*>(lp) = hwnd;
    return FALSE;
}

inline HWND FindAnyOwnDialog() {
    HWND found = nullptr;
    EnumWindows(MatchAnyOwnDialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

inline bool WaitUntilGone(HWND window, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        if (!IsWindow(window) || !IsWindowVisible(window)) return true;
        Sleep(20);
    }
    return false;
}

// Ends a modal dialog or message box from another thread of its process: as the user
// would (Cancel, then the close box), and if it ignores both, by EndDialog, which makes
// the DialogBox or MessageBox call return. True when it is gone within the bound.
inline bool EndOpenDialog(HWND dialog) {
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    if (WaitUntilGone(dialog, 1000)) return true;
    EndDialog(dialog, IDCANCEL);
    return WaitUntilGone(dialog, 1000);
}

inline std::string DialogItemText(HWND dialog, int id) {
    const int length = GetWindowTextLengthA(GetDlgItem(dialog, id));
    std::string text(static_cast<size_t>(length) + 1, '\0');
    text.resize(GetDlgItemTextA(dialog, id, text.data(), length + 1));
    return text;
}

// The text of a message box (its static text control).
inline std::string MessageBoxText(HWND box) { return DialogItemText(box, 0xFFFF); }

// Items of a tree view in pre-order, each as its text preceded by one "-" per level
// below the top.
inline std::vector<std::string> TreeItems(HWND tree) {
    std::vector<std::string> items;
    std::function<void(HTREEITEM, int)> walk = [&](HTREEITEM item, int depth) {
        for (; item; item = TreeView_GetNextSibling(tree, item)) {
            char text[512] = {};
            TVITEMA tv{};
            tv.mask = TVIF_TEXT;
            tv.hItem = item;
            tv.pszText = text;
            tv.cchTextMax = sizeof text - 1;
            SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv));
            items.push_back(std::string(depth, '-') + text);
            walk(TreeView_GetChild(tree, item), depth + 1);
        }
    };
    walk(TreeView_GetRoot(tree), 0);
    return items;
}

// Rows of a report list view, each as its column texts joined by "|".
inline std::vector<std::string> ListRows(HWND list, int columns) {
    std::vector<std::string> rows;
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::string joined;
        for (int column = 0; column < columns; ++column) {
            char text[1024] = {};
            LVITEMA item{};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = sizeof text - 1;
            SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
            joined += (column ? "|" : "") + std::string(text);
        }
        rows.push_back(joined);
    }
    return rows;
}

class DialogDriver {
public:
    DialogDriver(std::string caption, std::function<void(HWND)> action, DWORD timeoutMs = 5000)
        : caption_(std::move(caption)), action_(std::move(action)) {
        thread_ = std::thread([this, timeoutMs] { Run(timeoutMs); });
    }
    ~DialogDriver() { Join(); }
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // For a dialog that can only appear during a call that has now returned: stop
    // looking for it.
    void StopWaiting() { stop_ = true; }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    bool appeared() const { return appeared_; }
    // False when the dialog was still open after the action and had to be cancelled.
    bool closedByAction() const { return closed_; }
    // Text of a static control read while the dialog was up (id -1 controls have none).
    std::string seenText;

private:
    void Run(DWORD timeoutMs) {
        HWND dialog = nullptr;
        for (DWORD waited = 0; waited < timeoutMs && !dialog && !stop_; waited += 20) {
            dialog = FindOwnDialog(caption_);
            if (!dialog) Sleep(20);
        }
        if (!dialog) {
            // Nothing with that caption came: end what is open instead (a few at most,
            // for a box opened from a dialog), so no modal call stays blocked.
            for (int i = 0; i < 5; ++i) {
                HWND open = FindAnyOwnDialog();
                if (!open || !EndOpenDialog(open)) break;
            }
            return;
        }
        appeared_ = true;
        action_(dialog);
        for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
            if (!IsWindow(dialog)) {
                closed_ = true;
                return;
            }
            Sleep(20);
        }
        EndOpenDialog(dialog);
    }

    std::string caption_;
    std::function<void(HWND)> action_;
    std::thread thread_;
    std::atomic<bool> appeared_{false};
    std::atomic<bool> closed_{false};
    std::atomic<bool> stop_{false};
};

}  // namespace testsupport
