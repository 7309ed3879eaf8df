// The one lock over changes to the SoundPack library, shared by every process and session
// of the computer: the plug-in of each signed-in user, tlpack and the setup. A change is
// checked against the registry and written while it is held, so that two processes never
// both take one SoundIndex or pack name, nor write back what the other deleted.
#pragma once

#include <windows.h>

#include "base/kernel_handle.h"

namespace tunelark {

// How long a change waits for another program's (a large install takes seconds).
constexpr DWORD LibraryLockWaitMs = 10000;

class LibraryLock {
public:
    explicit LibraryLock(DWORD waitMs = LibraryLockWaitMs);
    ~LibraryLock();
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;

    // Another program held the lock for the whole wait: nothing may be written. A lock
    // the system will not make or open at all holds nobody back.
    bool Busy() const { return busy_; }

private:
    KernelHandle mutex_;
    bool held_ = false;
    bool busy_ = false;
};

}  // namespace tunelark
