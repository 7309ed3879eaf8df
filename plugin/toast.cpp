#include "plugin/toast.h"

#include "plugin/host_records.h"

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
