// One owner for every kind of handle the plug-in keeps: kernel objects, registry keys,
// multimedia files, codec streams. Each closes its handle exactly once.
#pragma once

#include <utility>

namespace tunelark {

// Closer is a stateless function object that releases a non-empty handle. The empty
// value is H{} (null), whatever the API's own failure value is: callers translate
// INVALID_HANDLE_VALUE and the like before handing a handle over.
template <typename H, typename Closer>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(H handle) : h_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : h_(std::exchange(other.h_, H{})) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.h_, H{}));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    H get() const { return h_; }
    explicit operator bool() const { return h_ != H{}; }
    // For APIs that return the handle through an out-parameter; closes what is held.
    H* receive() {
        reset();
        return &h_;
    }
    H release() { return std::exchange(h_, H{}); }
    void reset(H handle = H{}) {
        if (h_ != H{}) Closer{}(h_);
        h_ = handle;
    }

private:
    H h_{};
};

}  // namespace tunelark
