#include "platform/win32/ShellWin32.h"

#include <windows.h>
#include <shellapi.h>

namespace hf {

static_assert(kSwHide == SW_HIDE);  // the portable constant is the value windows.h gives

std::intptr_t Win32ShellApi::ShellExecuteW(const wchar_t* verb, const std::wstring& file,
                                           const std::wstring& parameters, const wchar_t* directory,
                                           int showCommand) {
    const HINSTANCE result =
        ::ShellExecuteW(nullptr, verb, file.c_str(), parameters.c_str(), directory, showCommand);
    return reinterpret_cast<std::intptr_t>(result);
}

}  // namespace hf
