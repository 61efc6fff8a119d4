#include "platform/win32/SystemWin32.h"

#include <windows.h>

#include <climits>

namespace hf {

std::uint32_t Win32SystemApi::GetLastError() {
    return ::GetLastError();
}

void Win32SystemApi::SetLastError(std::uint32_t code) {
    ::SetLastError(code);
}

void Win32SystemApi::Sleep(std::uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

std::uint64_t Win32SystemApi::GetTickCount64() {
    return ::GetTickCount64();
}

std::wstring Win32SystemApi::FormatMessageW(std::uint32_t code) {
    wchar_t buffer[1024];
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
        nullptr, code, 0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
    return std::wstring(buffer, length);
}

std::uint32_t Win32SystemApi::GetOEMCP() {
    return ::GetOEMCP();
}

bool Win32SystemApi::WideCharToMultiByte(std::uint32_t codePage, std::uint32_t flags,
                                         std::wstring_view text, std::string& bytes,
                                         bool& usedDefaultChar) {
    bytes.clear();
    usedDefaultChar = false;
    if (text.empty()) {
        return true;  // Windows refuses a length of 0; there is nothing to convert
    }
    if (text.size() > INT_MAX / 4) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const int units = static_cast<int>(text.size());
    // A code page's character takes at most 4 bytes (GB 18030); one call then suffices.
    bytes.resize(text.size() * 4);
    BOOL usedDefault = FALSE;
    const int length = ::WideCharToMultiByte(codePage, flags, text.data(), units, bytes.data(),
                                             static_cast<int>(bytes.size()), nullptr, &usedDefault);
    bytes.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    usedDefaultChar = usedDefault != FALSE;
    return length > 0;
}

}  // namespace hf
