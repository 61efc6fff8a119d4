#include "platform/win32/ShellWin32.h"

#include "platform/win32/Win32Handles.h"

#include <windows.h>

namespace hf {

static_assert(kSwHide == SW_HIDE);  // the portable constant is the value windows.h gives

bool Win32ShellApi::GetSystemDirectoryW(std::wstring& directory) {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (;;) {
        const UINT length = ::GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
        if (length == 0) {
            return false;
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            directory = std::move(buffer);
            return true;
        }
        buffer.assign(length + 1, L'\0');  // the size it needs, NUL included
    }
}

bool Win32ShellApi::CreateProcessW(const std::wstring& application, const std::wstring& commandLine,
                                   const std::wstring& currentDirectory, int showCommand) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showCommand);
    std::wstring writableCommandLine = commandLine;  // CreateProcessW may write into it
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(application.c_str(), writableCommandLine.data(), nullptr, nullptr, FALSE,
                          0, nullptr, currentDirectory.empty() ? nullptr : currentDirectory.c_str(),
                          &startup, &started)) {
        return false;
    }
    const UniqueKernelHandle process(KernelHandleTraits{}, started.hProcess);
    const UniqueKernelHandle thread(KernelHandleTraits{}, started.hThread);
    return true;
}

}  // namespace hf
