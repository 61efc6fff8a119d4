#pragma once
// The COM owners: ComPtr, the one owner of an interface pointer (released exactly once, on every
// path), and UniqueBstr for the strings COM allocates.

#include "platform/UniqueHandle.h"

#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

#include <utility>

namespace hf {

template <typename T>
class ComPtr {
  public:
    ComPtr() noexcept = default;
    // Takes over a reference the caller already holds (an out-parameter's result).
    explicit ComPtr(T* owned) noexcept : ptr_(owned) {}
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
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
    T* Detach() noexcept { return std::exchange(ptr_, nullptr); }

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

}  // namespace hf
