// Drives a modal dialog or message box of this process from a helper thread: waits
// (bounded) for a "#32770" window with the given caption, runs the action on it, and
// makes sure it closes, so a dialog that never appears or never ends fails the test
// instead of hanging it.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "host/dialog_finder.h"

namespace testsupport {

using standin::ClickButton;
using standin::FindOwnDialog;

inline std::string DialogItemText(HWND dialog, int id) {
    char text[1024] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
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
        if (!dialog) return;
        appeared_ = true;
        action_(dialog);
        for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
            if (!IsWindow(dialog)) {
                closed_ = true;
                return;
            }
            Sleep(20);
        }
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    }

    std::string caption_;
    std::function<void(HWND)> action_;
    std::thread thread_;
    std::atomic<bool> appeared_{false};
    std::atomic<bool> closed_{false};
    std::atomic<bool> stop_{false};
};

}  // namespace testsupport
