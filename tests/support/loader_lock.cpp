#include "support/loader_lock.h"

namespace testsupport {

namespace {

using LockFn = LONG(NTAPI*)(ULONG, ULONG*, ULONG_PTR*);
using UnlockFn = LONG(NTAPI*)(ULONG, ULONG_PTR);

template <typename Fn>
Fn NtdllEntry(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
}

}  // namespace

LoaderLockHold::LoaderLockHold() {
    if (auto lock = NtdllEntry<LockFn>("LdrLockLoaderLock"))
        held_ = NtdllEntry<UnlockFn>("LdrUnlockLoaderLock") && lock(0, nullptr, &cookie_) == 0;
}

void LoaderLockHold::Release() {
    if (!held_) return;
    NtdllEntry<UnlockFn>("LdrUnlockLoaderLock")(0, cookie_);
    held_ = false;
}

}  // namespace testsupport
