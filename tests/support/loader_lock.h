// Holding the process's loader lock keeps any new thread from starting: the way to
// make a thread come up late, as it does when a host starts a plug-in from inside a
// DLL notification.
#pragma once

#include <windows.h>

namespace testsupport {

class LoaderLockHold {
public:
    LoaderLockHold();
    ~LoaderLockHold() { Release(); }
    LoaderLockHold(const LoaderLockHold&) = delete;
    LoaderLockHold& operator=(const LoaderLockHold&) = delete;

    // False where the system has no such lock to take; the caller then skips.
    bool held() const { return held_; }
    void Release();

private:
    bool held_ = false;
    ULONG_PTR cookie_ = 0;
};

}  // namespace testsupport
