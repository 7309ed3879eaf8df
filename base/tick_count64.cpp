// GetTickCount64 for Windows XP, which does not have it.
//
// The static pthread library that the C++ runtime locks through calls GetTickCount64,
// and a binary that imports it does not load on XP. Defining the import's pointer here
// binds that call to this one instead, so no binary linked with this object imports
// the function: it is looked up at run time, and widened from GetTickCount where it is
// missing. Every binary that must load on XP links this object (see CMakeLists.txt).
//
// Nothing here may take a lock the pthread library implements: it is what that library
// calls while it waits.
#include <windows.h>

#include "base/tick_count64.h"

namespace tunelark {

ULONGLONG WidenTickCount(ULONGLONG last, DWORD now) {
    const DWORD elapsed = now - static_cast<DWORD>(last);
    return elapsed >= 0x80000000u ? last : last + elapsed;
}

}  // namespace tunelark

namespace {

using TickCount64 = ULONGLONG(WINAPI*)();

// The count as last handed out; 0 until the first call.
volatile ULONGLONG widened = 0;

ULONGLONG WINAPI WidenedTickCount() {
    ULONGLONG seen = __atomic_load_n(&widened, __ATOMIC_ACQUIRE);
    for (;;) {
        const DWORD now = GetTickCount();
        const ULONGLONG next = seen == 0 ? now : tunelark::WidenTickCount(seen, now);
        if (next == seen ||
            __atomic_compare_exchange_n(&widened, &seen, next, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
            return next;
    }
}

TickCount64 found = nullptr;

ULONGLONG WINAPI FirstTickCount64() {
    TickCount64 use = __atomic_load_n(&found, __ATOMIC_ACQUIRE);
    if (!use) {
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        use = kernel ? reinterpret_cast<TickCount64>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetTickCount64")))
                     : nullptr;
        if (!use) use = WidenedTickCount;
        __atomic_store_n(&found, use, __ATOMIC_RELEASE);
    }
    return use();
}

}  // namespace

// The slot the linker would otherwise fill from kernel32's import library.
extern "C" {
TickCount64 tunelarkTickCount64Slot asm("__imp__GetTickCount64@0") = FirstTickCount64;
}
