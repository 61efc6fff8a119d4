#pragma once
// The exception classes every stage raises and the cleaning run catches.

#include <cstdint>
#include <exception>
#include <string>

namespace hf {

class SystemApi;

// Base of every failure the cleaning run reports; carries the text shown after the error prefix.
class Exception : public std::exception {
  public:
    explicit Exception(std::wstring message);
    const std::wstring& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

  private:
    std::wstring message_;
    std::string utf8_;
};

// An operating-system call failed; Code() is the thread's last-error code at that moment.
class EOSError : public Exception {
  public:
    EOSError(std::uint32_t code, std::wstring message)
        : Exception(std::move(message)), code_(code) {}
    std::uint32_t Code() const noexcept { return code_; }

  private:
    std::uint32_t code_;
};

// A COM call returned a failure HRESULT.
class EOleException : public Exception {
  public:
    EOleException(std::int32_t hr, std::wstring message) : Exception(std::move(message)), hr_(hr) {}
    std::int32_t ErrorCode() const noexcept { return hr_; }

  private:
    std::int32_t hr_;
};

// A string list was read at or past its end.
class EStringListError : public Exception {
  public:
    using Exception::Exception;
};

// Registry data could not be read after its size was taken.
class ERegistryException : public Exception {
  public:
    using Exception::Exception;
};

// The system's text for `code` with trailing line breaks, blanks and full stops removed, as it
// appears inside our messages.
std::wstring SystemErrorText(SystemApi& system, std::uint32_t code);

// "System Error.  Code: %d.\r\n%s", or "A call to an OS function failed" for code 0.
std::wstring OSErrorMessage(std::uint32_t code, const std::wstring& systemText);

// Raises EOSError for `code` with the system's text for it.
[[noreturn]] void RaiseOSError(SystemApi& system, std::uint32_t code);

// Raises EOSError for the thread's current last error.
[[noreturn]] void RaiseLastOSError(SystemApi& system);

// The message of a failed HRESULT: the failing object's description with trailing full stops,
// blanks and control characters removed; else the system's text; else "OLE error %.8X"
// (eight hexadecimal digits, A-F in upper case).
std::wstring OleErrorMessage(std::int32_t hr, const std::wstring& description,
                             const std::wstring& systemText);

}  // namespace hf
