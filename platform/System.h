#pragma once
// The thread-level calls every area shares: last error, pauses, a monotonic clock and the
// system's text for an error code.

#include <cstdint>
#include <string>

namespace hf {

class SystemApi {
  public:
    virtual ~SystemApi() = default;

    // The calling thread's last-error code (GetLastError).
    virtual std::uint32_t GetLastError() = 0;
    // Suspends the thread for `milliseconds` (Sleep); 0 only yields the processor.
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    // Milliseconds since an arbitrary start, never going back (GetTickCount64).
    virtual std::uint64_t GetTickCount64() = 0;
    // The system's text for a Win32 error code or an HRESULT (FormatMessageW, from the system
    // table), exactly as the system gives it; empty when it has none.
    virtual std::wstring FormatMessageW(std::uint32_t code) = 0;
};

}  // namespace hf
