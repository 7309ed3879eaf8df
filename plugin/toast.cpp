#include "plugin/toast.h"

#include <atomic>
#include <mutex>
#include <string>

#include "base/module.h"
#include "playback/sound_play.h"
#include "plugin/host_records.h"
#include "settings/settings_store.h"

namespace {

LRESULT SendToast(const void* text, const void* caption, void* passThrough, int flag, LPARAM wide) {
    tunelark::HostToastRecord record{};
    record.caption = caption;
    record.text = text;
    record.passThrough = passThrough;
    record.flag = (flag & 0xFF) ? 0xFFFFFFFFu : 0u;
    record.reserved = 0;
    // Registered on every call: the number is stable per session, and this keeps the
    // toast usable before Initialize.
    UINT message = RegisterWindowMessageA("MessengerPlus_DisplayToast");
    return SendMessageA(HWND_BROADCAST, message, reinterpret_cast<WPARAM>(&record), wide);
}

}  // namespace

extern "C" LRESULT __stdcall DisplayToast(const char* text, const char* caption, void* passThrough,
                                          int flag) {
    return SendToast(text, caption, passThrough, flag, 0);
}

extern "C" LRESULT __stdcall DisplayToastW(const wchar_t* text, const wchar_t* caption,
                                           void* passThrough, int flag) {
    return SendToast(text, caption, passThrough, flag, 1);
}

namespace tunelark {

LRESULT ShowToast(const char* text, const char* caption, int flag) {
    return DisplayToast(text, caption, nullptr, flag);
}

}  // namespace tunelark

namespace tunelark {

namespace {

// The toast record points at the text, and a broadcast sent from another thread waits for
// every window of the host's thread: the noticing thread posts to a window of the host's
// thread instead, which raises the toast.
const char* const NoticeWindowClass = "Tunelark device notices";
constexpr UINT DeviceNoticeMessage = WM_APP + 1;
std::atomic<HWND> noticeWindow{nullptr};
std::mutex noticeMutex;
std::string noticeDevice[2];  // by DeviceNotice, under noticeMutex

void PostDeviceNotice(DeviceNotice notice, const char* device) {
    {
        std::lock_guard lock(noticeMutex);
        noticeDevice[notice] = device;
    }
    if (HWND window = noticeWindow) PostMessageA(window, DeviceNoticeMessage, notice, 0);
}

std::string NoticeText(WPARAM notice, const std::string& device) {
    // The name is looked up again by number when an open is refused, which a device
    // unplugged that moment no longer has.
    const std::string name = device.empty() ? std::string("The chosen sound device") : "\"" + device + "\"";
    if (notice == DeviceGone) return name + " is not connected: sounds play on the default device.";
    return name + " would not play: the sound played on the default device.";
}

LRESULT CALLBACK NoticeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != DeviceNoticeMessage || wParam > DeviceRefused) return DefWindowProcA(window, message, wParam, lParam);
    std::string device;
    {
        std::lock_guard lock(noticeMutex);
        device = noticeDevice[wParam];
    }
    if (Settings.GetOption(ToastsEnabled) == 1)
        ShowToast(NoticeText(wParam, device).c_str(), "Tunelark Plugin :: Warning",
                  Settings.GetOption(SoundsEnabled) == 1 ? 1 : 0);
    return 0;
}

}  // namespace

void StartDeviceNotices() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &NoticeWindowProc;
    windowClass.hInstance = ThisModule();
    windowClass.lpszClassName = NoticeWindowClass;
    RegisterClassA(&windowClass);
    // Message-only: no broadcast reaches it, and it is never shown.
    noticeWindow = CreateWindowExA(0, NoticeWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), nullptr);
    SetDeviceNoticeHandler(&PostDeviceNotice);
}

void StopDeviceNotices() {
    SetDeviceNoticeHandler(nullptr);
    // Notices still posted go with the window.
    if (HWND window = noticeWindow.exchange(nullptr)) DestroyWindow(window);
    UnregisterClassA(NoticeWindowClass, ThisModule());
}

}  // namespace tunelark
