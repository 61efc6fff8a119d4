#include "platform/win32/SystemWin32.h"

#include <windows.h>

namespace hf {

std::uint32_t Win32SystemApi::GetLastError() {
    return ::GetLastError();
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

}  // namespace hf
