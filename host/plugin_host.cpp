#include "host/plugin_host.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "host/messenger_standin.h"

namespace standin {

namespace {

const char* const ToastWindowClass = "TunelarkHostToastWindow";

std::string ToastString(const void* text, bool wide) {
    if (!text) return {};
    if (wide) return Narrow(static_cast<const wchar_t*>(text));
    // The plug-in speaks the ANSI code page; show it as UTF-8.
    const char* ansi = static_cast<const char*>(text);
    int n = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    std::wstring w(static_cast<size_t>(n > 0 ? n : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, w.data(), n);
    return Narrow(w.c_str());
}

// The context the host hands over: the conversation pointer followed by the sender's
// name inline.
struct CallContextBuffer {
    IDispatch* conversation;
    char senderName[PluginHost::SenderNameSize];
};

}  // namespace

ToastReceiver::ToastReceiver() {
    message_ = RegisterWindowMessageA("MessengerPlus_DisplayToast");
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = ToastWindowClass;
    RegisterClassA(&wc);  // fails harmlessly when already registered
    window_ = CreateWindowExA(0, ToastWindowClass, "Tunelark host", WS_OVERLAPPED, 0, 0, 10, 10,
                              nullptr, nullptr, wc.hInstance, this);
}

ToastReceiver::~ToastReceiver() {
    if (window_) DestroyWindow(window_);
}

LRESULT CALLBACK ToastReceiver::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<ToastReceiver*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self && msg == self->message_ && wParam) {
        // A broadcast can come from another process, where the record's address means
        // nothing; only a sender in this process is read.
        if (InSendMessageEx(nullptr) & ISMEX_SEND) return 0;
        const auto* record = reinterpret_cast<const tunelark::HostToastRecord*>(wParam);
        Toast toast;
        toast.caption = ToastString(record->caption, lParam == 1);
        toast.text = ToastString(record->text, lParam == 1);
        toast.passThrough = record->passThrough;
        toast.flag = record->flag;
        toast.reserved = record->reserved;
        toast.lParam = lParam;
        self->toasts.push_back(toast);
        if (self->onToast) self->onToast(toast);
        return self->answer;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

PluginHost::PluginHost(const char* path) {
    module_ = LoadLibraryA(path);
    if (!module_) {
        missing_.push_back(path);
        return;
    }
    auto resolve = [&](auto& slot, const char* name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
            reinterpret_cast<void*>(GetProcAddress(module_, name)));
        if (!slot) missing_.push_back(name);
    };
    resolve(exports_.Initialize, "Initialize");
    resolve(exports_.Uninitialize, "Uninitialize");
    resolve(exports_.Configure, "Configure");
    resolve(exports_.PublishInfo, "PublishInfo");
    resolve(exports_.ParseTag, "ParseTag");
    resolve(exports_.ParseCommand, "ParseCommand");
    resolve(exports_.ReceiveNotify, "ReceiveNotify");
    resolve(exports_.DisplayToast, "_DisplayToast@16");
    resolve(exports_.DisplayToastW, "_DisplayToastW@16");
}

PluginHost::~PluginHost() {
    if (module_) FreeLibrary(module_);
}

namespace {

// The host's own buffers for one call: the context and a result buffer.
template <typename Call>
PluginHost::CallResult CallWithContext(IDispatch* conversation, const std::string& sender,
                                       unsigned char fill, Call call) {
    auto context = std::make_unique<CallContextBuffer>();
    context->conversation = conversation;
    std::strncpy(context->senderName, sender.c_str(), sizeof context->senderName - 1);
    auto result = std::make_unique<char[]>(PluginHost::ResultSize);
    std::memset(result.get(), fill, PluginHost::ResultSize);
    PluginHost::CallResult out;
    out.handled = call(reinterpret_cast<tunelark::HostCallContext*>(context.get()), result.get());
    out.text.assign(result.get(), strnlen(result.get(), PluginHost::ResultSize));
    out.untouched = std::all_of(result.get(), result.get() + PluginHost::ResultSize,
                                [fill](char c) { return static_cast<unsigned char>(c) == fill; });
    return out;
}

}  // namespace

PluginHost::CallResult PluginHost::ParseCommand(const std::string& command,
                                                const std::string& parameter,
                                                IDispatch* conversation,
                                                const std::string& sender) {
    return CallWithContext(conversation, sender, resultFill, [&](auto* context, char* result) {
        return exports_.ParseCommand(command.c_str(), parameter.c_str(), context, result);
    });
}

PluginHost::CallResult PluginHost::ReceiveNotify(const std::string& text, IDispatch* conversation,
                                                 const std::string& sender) {
    return CallWithContext(conversation, sender, resultFill, [&](auto* context, char* result) {
        return exports_.ReceiveNotify(text.c_str(), nullptr, context, result);
    });
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

}  // namespace standin
