#include "sounddb/library_lock.h"

#include <sddl.h>

namespace tunelark {

namespace {

constexpr char LockName[] = "Global\\Tunelark SoundPack library";
// Everyone may wait for it and release it; only its maker may change its rights.
constexpr char LockRights[] = "D:(A;;0x00100001;;;WD)";
constexpr DWORD Use = SYNCHRONIZE | MUTEX_MODIFY_STATE;

HANDLE OpenOrCreate() {
    // CreateMutex asks for full access to a mutex that is there already, which another
    // user's rights refuse: open it for use first.
    if (HANDLE mutex = OpenMutexA(Use, FALSE, LockName)) return mutex;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(LockRights, SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    HANDLE mutex = CreateMutexA(&attributes, FALSE, LockName);
    LocalFree(descriptor);
    // Made by another process between the two calls.
    return mutex ? mutex : OpenMutexA(Use, FALSE, LockName);
}

}  // namespace

LibraryLock::LibraryLock(DWORD waitMs) : mutex_(OpenOrCreate()) {
    if (!mutex_) return;
    const DWORD waited = WaitForSingleObject(mutex_.get(), waitMs);
    // A holder that died without letting go leaves it to the next.
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    busy_ = waited == WAIT_TIMEOUT;
}

LibraryLock::~LibraryLock() {
    if (held_) ReleaseMutex(mutex_.get());
}

}  // namespace tunelark
