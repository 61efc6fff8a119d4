#pragma once
// The one owner of a COM interface pointer: releases it exactly once, on every path.

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

}  // namespace hf
