#pragma once
// Process start through the shell: the one call that launches "cmd.exe" and "shutdown.exe".

#include <cstdint>
#include <string>

namespace hf {

inline constexpr int kSwHide = 0;  // SW_HIDE

class ShellApi {
  public:
    virtual ~ShellApi() = default;

    // ShellExecuteW with no owner window. `verb` and `directory` may be null (the default verb,
    // the current directory). Returns the call's HINSTANCE as an integer: greater than 32 when
    // the program was started, an error code otherwise. The started process is not awaited.
    virtual std::intptr_t ShellExecuteW(const wchar_t* verb, const std::wstring& file,
                                        const std::wstring& parameters, const wchar_t* directory,
                                        int showCommand) = 0;
};

}  // namespace hf
