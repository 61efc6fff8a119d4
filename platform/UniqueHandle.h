#pragma once
// One owner type for every kind of handle: UniqueHandle<Traits> closes its handle exactly once,
// when it goes out of scope or is reset, on every path.
//
// Traits provide:
//   using Handle = ...;                  // the raw handle type
//   static Handle Invalid() noexcept;    // the value that owns nothing
//   void Close(Handle) const noexcept;   // releases a valid handle (the traits object may
//                                        // carry the API it closes through)

#include <utility>

namespace hf {

template <typename Traits>
class UniqueHandle {
  public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept : handle_(Traits::Invalid()) {}
    explicit UniqueHandle(Traits traits, Handle handle = Traits::Invalid()) noexcept
        : traits_(std::move(traits)), handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept
        : traits_(std::move(other.traits_)), handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
            traits_ = std::move(other.traits_);
        }
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != Traits::Invalid(); }

    // Closes the owned handle (if any) and takes `handle`.
    void reset(Handle handle = Traits::Invalid()) noexcept {
        Handle old = std::exchange(handle_, handle);
        if (old != Traits::Invalid()) {
            traits_.Close(old);
        }
    }
    Handle release() noexcept { return std::exchange(handle_, Traits::Invalid()); }

  private:
    Traits traits_{};
    Handle handle_;
};

}  // namespace hf
