// Owners for the handles the sound layer holds: each closes its handle exactly once.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>  // before msacm.h, which needs its types
#include <msacm.h>

#include <utility>

namespace tunelark::fsound {

template <typename H, typename Closer>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(H h) : h_(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& o) noexcept : h_(std::exchange(o.h_, H{})) {}
    UniqueHandle& operator=(UniqueHandle&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, H{});
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    H get() const { return h_; }
    explicit operator bool() const { return h_ != H{}; }
    void reset(H h = H{}) {
        if (h_ != H{}) Closer{}(h_);
        h_ = h;
    }

private:
    H h_{};
};

struct CloseKernelHandle {
    void operator()(HANDLE h) const { CloseHandle(h); }
};
struct CloseMmio {
    void operator()(HMMIO h) const { mmioClose(h, 0); }
};
struct CloseAcmStream {
    void operator()(HACMSTREAM h) const { acmStreamClose(h, 0); }
};

using KernelHandle = UniqueHandle<HANDLE, CloseKernelHandle>;
using MmioHandle = UniqueHandle<HMMIO, CloseMmio>;
using AcmStreamHandle = UniqueHandle<HACMSTREAM, CloseAcmStream>;

// CreateFile reports failure as INVALID_HANDLE_VALUE; the owner holds null instead.
inline KernelHandle OpenForReading(const char* path) {
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return KernelHandle(h == INVALID_HANDLE_VALUE ? nullptr : h);
}

}  // namespace tunelark::fsound
