#pragma once
// The COM owners: ComPtr, the one owner of an interface pointer (released exactly once, on every
// path), and UniqueBstr for the strings COM allocates.

#include "platform/UniqueHandle.h"

#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

#include <string_view>
#include <utility>

namespace hf {

template <typename T>
class ComPtr {
  public:
    ComPtr() noexcept = default;
    // Takes over a reference the caller already holds (an out-parameter's result).
    explicit ComPtr(T* owned) noexcept : ptr_(owned) {}
    // A copy holds a reference of its own.
    ComPtr(const ComPtr& other) noexcept : ptr_(other.ptr_) {
        if (ptr_ != nullptr) {
            ptr_->AddRef();
        }
    }
    ComPtr& operator=(const ComPtr& other) noexcept {
        if (this != &other) {
            if (other.ptr_ != nullptr) {
                other.ptr_->AddRef();
            }
            Reset(other.ptr_);
        }
        return *this;
    }
    ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.ptr_, nullptr));
        }
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const noexcept { return ptr_; }
    T* operator->() const noexcept { return ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }

    // Releases what is held and hands out the slot for an out-parameter.
    T** Put() noexcept {
        Reset();
        return &ptr_;
    }
    void Reset(T* owned = nullptr) noexcept {
        T* old = std::exchange(ptr_, owned);
        if (old != nullptr) {
            old->Release();
        }
    }
    // Gives up ownership without releasing.
    T* Detach() noexcept { return std::exchange(ptr_, nullptr); }

    // QueryInterface for U (by the headers' __uuidof) into `out`, which is released first.
    template <typename U>
    HRESULT As(ComPtr<U>& out) const noexcept {
        return ptr_->QueryInterface(__uuidof(U), reinterpret_cast<void**>(out.Put()));
    }

  private:
    T* ptr_ = nullptr;
};

// A string from SysAllocString* or handed out by a COM call.
struct BstrTraits {
    using Handle = BSTR;
    static Handle Invalid() noexcept { return nullptr; }
    void Close(Handle text) const noexcept { ::SysFreeString(text); }
};
using UniqueBstr = UniqueHandle<BstrTraits>;

// A new BSTR holding `text` (owns nothing when allocation fails).
inline UniqueBstr MakeBstr(std::wstring_view text) {
    return UniqueBstr(BstrTraits{},
                      ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

}  // namespace hf
