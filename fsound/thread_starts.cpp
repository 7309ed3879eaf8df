// A thread has started once the loader has told the modules of its start (it does so
// on the new thread, after the system's own set-up of it and before its first code),
// and begun to end once the loader has told them of its end. The loader tells every
// function in the module's thread-callback sections (.CRT$XL*), in an executable and
// in a DLL alike; the sound layer is linked into both, so one is registered here.
#include "fsound/thread_starts.h"

#include <tlhelp32.h>

#include <algorithm>
#include <vector>

namespace tunelark::fsound {
namespace {

struct Started {
    DWORD id;
    unsigned mark;  // its place among the starts seen, from 1; 0 for those already there
};

// The threads that have started and not begun to end: those that were there when this
// module was loaded, and those whose start the loader has announced since.
struct Running {
    CRITICAL_SECTION lock;
    std::vector<Started> threads;
    unsigned starts = 0;
};
// Set up by the loader's first call, which comes before any constructor of this
// module runs, so it is a plain pointer; null where nothing needs watching.
Running* running = nullptr;

bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// False when the system's list of threads could not be read.
bool ThreadsOfThisProcess(std::vector<DWORD>& ids) {
    ids.clear();
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    const DWORD self = GetCurrentProcessId();
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == self) ids.push_back(entry.th32ThreadID);
    CloseHandle(snapshot);
    return true;
}

void NTAPI OnThreadEvent(PVOID, DWORD reason, PVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        if (!UnderWine()) return;
        running = new Running;
        InitializeCriticalSection(&running->lock);
        std::vector<DWORD> ids;
        ThreadsOfThisProcess(ids);
        for (DWORD id : ids) running->threads.push_back({id, 0});
        return;
    }
    if (!running) return;
    if (reason == DLL_PROCESS_DETACH) {
        // At process exit other threads may still call in; the memory goes anyway.
        if (reserved) return;
        DeleteCriticalSection(&running->lock);
        delete running;
        running = nullptr;
        return;
    }
    const DWORD id = GetCurrentThreadId();
    EnterCriticalSection(&running->lock);
    std::erase_if(running->threads, [id](const Started& t) { return t.id == id; });
    if (reason == DLL_THREAD_ATTACH) running->threads.push_back({id, ++running->starts});
    LeaveCriticalSection(&running->lock);
}

// True when every thread in `ids` but the caller has started, is not ending and is not
// newer than `mark`.
bool Settled(const std::vector<DWORD>& ids, unsigned mark) {
    const DWORD self = GetCurrentThreadId();
    EnterCriticalSection(&running->lock);
    const bool settled = std::all_of(ids.begin(), ids.end(), [&](DWORD id) {
        const auto it = std::find_if(running->threads.begin(), running->threads.end(),
                                     [id](const Started& t) { return t.id == id; });
        return id == self || (it != running->threads.end() && it->mark <= mark);
    });
    LeaveCriticalSection(&running->lock);
    return settled;
}

}  // namespace

unsigned ThreadStartMark() {
    if (!running) return 0;
    EnterCriticalSection(&running->lock);
    const unsigned mark = running->starts;
    LeaveCriticalSection(&running->lock);
    return mark;
}

bool WaitForThreadsToSettle(DWORD timeoutMs, unsigned mark) {
    if (!running) return true;
    const DWORD began = GetTickCount();
    std::vector<DWORD> ids;
    for (;;) {
        if (ThreadsOfThisProcess(ids) && Settled(ids, mark)) return true;
        if (GetTickCount() - began >= timeoutMs) return false;
        Sleep(1);
    }
}

}  // namespace tunelark::fsound

// The loader calls the functions listed between .CRT$XLA and .CRT$XLZ at every start
// and end of a thread; `used` keeps the entry in the object.
extern "C" {
__attribute__((section(".CRT$XLT"), used)) PIMAGE_TLS_CALLBACK tunelark_thread_events =
    tunelark::fsound::OnThreadEvent;
}
