// Owning wrappers for the kernel handles the playback code keeps: the worker's thread
// and mutexes, and the mutex that guards the current stream.
#pragma once

#include <windows.h>

namespace tunelark {

// Owns a kernel handle that CloseHandle releases. Empty is a null handle.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    HANDLE release() {
        HANDLE h = handle_;
        handle_ = nullptr;
        return h;
    }
    void reset(HANDLE handle = nullptr) {
        if (handle_) CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = nullptr;
};

// An unnamed mutex, not owned, default security.
inline UniqueHandle MakeMutex() {
    return UniqueHandle(CreateMutexA(nullptr, FALSE, nullptr));
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
