#pragma once

#include <windows.h>

namespace tunelark {

// Raises a host toast; the return value is whatever the toast message returned.
LRESULT ShowToast(const char* text, const char* caption, int flag);

// From Initialize to Uninitialize, on the host's thread: the playback side's notices of
// the chosen output device become warning toasts (when error toasts are on), raised on
// the host's thread as it handles its messages, never on the thread that noticed.
void StartDeviceNotices();
void StopDeviceNotices();

}  // namespace tunelark

extern "C" {
LRESULT __stdcall DisplayToast(const char* text, const char* caption, void* passThrough, int flag);
LRESULT __stdcall DisplayToastW(const wchar_t* text, const wchar_t* caption, void* passThrough,
                                int flag);
}
