// Owners for COM interface pointers and the BSTRs that automation methods return.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace tunelark {

// Owns one reference to a COM interface.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller already holds.
    explicit ComPtr(T* adopted) : p_(adopted) {}
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) { reset(); p_ = std::exchange(other.p_, nullptr); }
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** receive() { reset(); return &p_; }
    T* detach() { return std::exchange(p_, nullptr); }
    void reset() { if (p_) { p_->Release(); p_ = nullptr; } }

private:
    T* p_ = nullptr;
};

// Calls an automation getter, `call(T** out)`, and owns what it gave only when it
// succeeded: a failed call may leave anything in its out-parameter, and that must be
// neither used nor released.
template <typename T, typename Call>
ComPtr<T> GetOnSuccess(Call call) {
    T* raw = nullptr;
    if (FAILED(call(&raw))) return ComPtr<T>();
    return ComPtr<T>(raw);
}

// Queries an automation object for an interface; empty when the object is null or refuses.
template <typename T>
ComPtr<T> QueryAs(IUnknown* object, const IID& iid) {
    ComPtr<T> result;
    if (object && FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(result.receive()))))
        result.detach();
    return result;
}

// Owns a BSTR returned by a messenger method.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(BSTR adopted) : s_(adopted) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(s_); }
    BSTR* receive() { SysFreeString(s_); s_ = nullptr; return &s_; }
    BSTR get() const { return s_; }

private:
    BSTR s_ = nullptr;
};

// The same for a getter that gives a BSTR; `succeeded` tells an empty name from a failure.
template <typename Call>
Bstr GetBstrOnSuccess(Call call, bool* succeeded = nullptr) {
    BSTR raw = nullptr;
    const bool ok = SUCCEEDED(call(&raw));
    if (succeeded) *succeeded = ok;
    return ok ? Bstr(raw) : Bstr();
}

}  // namespace tunelark
