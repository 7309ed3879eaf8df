#pragma once

#include <windows.h>

namespace tunelark {

// Raises a host toast; the return value is whatever the toast message returned.
LRESULT ShowToast(const char* text, const char* caption, int flag);

}  // namespace tunelark

extern "C" {
LRESULT __stdcall DisplayToast(const char* text, const char* caption, void* passThrough, int flag);
LRESULT __stdcall DisplayToastW(const wchar_t* text, const wchar_t* caption, void* passThrough,
                                int flag);
}
