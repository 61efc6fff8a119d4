#pragma once
// The thread-level calls every area shares: last error, pauses, a monotonic clock, the
// system's text for an error code, and the OEM code page with the conversion into it.

#include <cstdint>
#include <string>
#include <string_view>

namespace hf {

// WideCharToMultiByte's flag: a character without an exact equivalent becomes the default
// character (and is reported as such) instead of a look-alike.
inline constexpr std::uint32_t kWcNoBestFitChars = 0x400;  // WC_NO_BEST_FIT_CHARS

class SystemApi {
  public:
    virtual ~SystemApi() = default;

    // The calling thread's last-error code (GetLastError).
    virtual std::uint32_t GetLastError() = 0;
    // Sets it (SetLastError): a layer that answers a call in Windows' stead fails it this way.
    virtual void SetLastError(std::uint32_t code) = 0;
    // Suspends the thread for `milliseconds` (Sleep); 0 only yields the processor.
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    // Milliseconds since an arbitrary start, never going back (GetTickCount64).
    virtual std::uint64_t GetTickCount64() = 0;
    // The system's text for a Win32 error code or an HRESULT (FormatMessageW, from the system
    // table), exactly as the system gives it; empty when it has none.
    virtual std::wstring FormatMessageW(std::uint32_t code) = 0;
    // The system's OEM code page (GetOEMCP): what console programs and the tools that capture
    // a program's output decode with by default.
    virtual std::uint32_t GetOEMCP() = 0;
    // `text` in the code page `codePage` (WideCharToMultiByte with `flags` and the code page's
    // default character) into `bytes`; `usedDefaultChar` says whether a character had no
    // equivalent and became the default character. False with the last error set when the
    // conversion failed (an unknown code page: 87).
    virtual bool WideCharToMultiByte(std::uint32_t codePage, std::uint32_t flags,
                                     std::wstring_view text, std::string& bytes,
                                     bool& usedDefaultChar) = 0;
};

}  // namespace hf
