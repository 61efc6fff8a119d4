#pragma once
// COM owners for the lab scheduler, its console tool and its Wine test: ComRef<T> holds one
// reference to a COM object, Bstr one BSTR; each is released exactly once, on every path.

#include <oleauto.h>
#include <unknwn.h>

#include <utility>

#include "platform/UniqueHandle.h"

namespace hf::lab {

template <typename T>
class ComRef {
  public:
    ComRef() noexcept = default;
    // Takes over a reference the caller already holds (no AddRef).
    explicit ComRef(T* owned) noexcept : ptr_(owned) {}
    ComRef(const ComRef& other) noexcept : ptr_(other.ptr_) {
        if (ptr_ != nullptr) {
            ptr_->AddRef();
        }
    }
    ComRef(ComRef&& other) noexcept : ptr_(other.Detach()) {}
    ComRef& operator=(ComRef other) noexcept {
        std::swap(ptr_, other.ptr_);
        return *this;
    }
    ~ComRef() { Reset(); }

    T* Get() const noexcept { return ptr_; }
    T* operator->() const noexcept { return ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }

    // Releases the current object and hands out the slot for an out-parameter.
    T** Put() noexcept {
        Reset();
        return &ptr_;
    }
    void Reset() noexcept {
        if (T* old = std::exchange(ptr_, nullptr)) {
            old->Release();
        }
    }
    // Gives up ownership without releasing.
    T* Detach() noexcept { return std::exchange(ptr_, nullptr); }

    template <typename U>
    HRESULT As(ComRef<U>& out) const noexcept {
        return ptr_->QueryInterface(__uuidof(U), reinterpret_cast<void**>(out.Put()));
    }

  private:
    T* ptr_ = nullptr;
};

struct BstrTraits {
    using Handle = BSTR;
    static Handle Invalid() noexcept { return nullptr; }
    void Close(Handle text) const noexcept { ::SysFreeString(text); }
};
using Bstr = UniqueHandle<BstrTraits>;

// A new BSTR holding `text` (owns nothing when allocation fails).
inline Bstr MakeBstr(const wchar_t* text) {
    return Bstr(BstrTraits{}, ::SysAllocString(text));
}

}  // namespace hf::lab
