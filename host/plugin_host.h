// Loads Tunelark.dll the way the messenger host does: LoadLibrary, the nine exports by
// name, a top-level window that receives the toast broadcast.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "plugin/host_records.h"

namespace standin {

struct PluginExports {
    BOOL(__stdcall* Initialize)(int, const char*, IDispatch*) = nullptr;
    void(__stdcall* Uninitialize)() = nullptr;
    int(__stdcall* Configure)() = nullptr;
    BOOL(__stdcall* PublishInfo)(char*, tunelark::HostCommandTable*, int*) = nullptr;
    BOOL(__stdcall* ParseTag)(void*, void*, void*) = nullptr;
    BOOL(__stdcall* ParseCommand)(const char*, const char*, tunelark::HostCallContext*, char*) = nullptr;
    BOOL(__stdcall* ReceiveNotify)(const char*, void*, tunelark::HostCallContext*, char*) = nullptr;
    LRESULT(__stdcall* DisplayToast)(const char*, const char*, void*, int) = nullptr;
    LRESULT(__stdcall* DisplayToastW)(const wchar_t*, const wchar_t*, void*, int) = nullptr;
};

// One toast as the host saw it, texts converted to UTF-8.
struct Toast {
    std::string caption;
    std::string text;
    void* passThrough = nullptr;
    uint32_t flag = 0;
    uint32_t reserved = 0;
    LPARAM lParam = 0;
};

// The toast window: a hidden top-level window, since a broadcast reaches only those.
class ToastReceiver {
public:
    ToastReceiver();
    ~ToastReceiver();
    ToastReceiver(const ToastReceiver&) = delete;
    ToastReceiver& operator=(const ToastReceiver&) = delete;

    HWND window() const { return window_; }
    std::vector<Toast> toasts;
    LRESULT answer = 1;                          // what the window returns for a toast
    std::function<void(const Toast&)> onToast;   // called as each toast arrives

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    HWND window_ = nullptr;
    UINT message_ = 0;
};

class PluginHost {
public:
    // Loads the library and resolves every export; ok() tells whether all nine were found.
    explicit PluginHost(const char* path = "Tunelark.dll");
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    bool ok() const { return module_ && missing_.empty(); }
    const std::vector<std::string>& missingExports() const { return missing_; }
    HMODULE module() const { return module_; }
    const PluginExports& exports() const { return exports_; }

    // The host's sender-name field and result buffer sizes are its own choice.
    static constexpr size_t SenderNameSize = 512;
    static constexpr size_t ResultSize = 4096;

    struct CallResult {
        BOOL handled = 0;
        std::string text;        // the result buffer up to its terminator
        bool untouched = false;  // every byte of the result buffer still holds resultFill
    };
    // The byte the result buffer is filled with before each call.
    unsigned char resultFill = 0;
    CallResult ParseCommand(const std::string& command, const std::string& parameter,
                            IDispatch* conversation, const std::string& sender = "");
    CallResult ReceiveNotify(const std::string& text, IDispatch* conversation,
                             const std::string& sender);

private:
    HMODULE module_ = nullptr;
    PluginExports exports_;
    std::vector<std::string> missing_;
};

// Sends and dispatches pending messages of this thread's windows.
void PumpMessages();

}  // namespace standin
