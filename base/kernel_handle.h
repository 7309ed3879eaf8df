// Kernel objects: threads, mutexes, events, files.
#pragma once

#include <windows.h>

#include "base/unique_handle.h"

namespace tunelark {

struct CloseKernelHandle {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
using KernelHandle = UniqueHandle<HANDLE, CloseKernelHandle>;

// CreateFile reports failure as INVALID_HANDLE_VALUE; the owner holds null instead.
inline KernelHandle AdoptFileHandle(HANDLE h) {
    return KernelHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

// An unnamed mutex, not owned, default security.
inline KernelHandle MakeMutex() {
    return KernelHandle(CreateMutexA(nullptr, FALSE, nullptr));
}

// Holds a Win32 mutex for its scope. A mutex whose previous owner died without
// releasing it still counts as taken; a null or closed handle is not taken, and then
// nothing is released either.
class MutexLock {
public:
    explicit MutexLock(HANDLE mutex) : mutex_(mutex) {
        DWORD r = mutex_ ? WaitForSingleObject(mutex_, INFINITE) : WAIT_FAILED;
        held_ = (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED);
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    ~MutexLock() {
        if (held_) ReleaseMutex(mutex_);
    }

private:
    HANDLE mutex_;
    bool held_ = false;
};

}  // namespace tunelark
