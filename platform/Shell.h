#pragma once
// Process start: the one call that starts another program ("shutdown.exe"), by its full path in
// the system folder, so that no search (the current directory, the program's folder, App Paths,
// file associations) can substitute a program someone put there.

#include <string>

namespace hf {

inline constexpr int kSwHide = 0;  // SW_HIDE

class ShellApi {
  public:
    virtual ~ShellApi() = default;

    // GetSystemDirectoryW: the system folder, for example "C:\Windows\system32" (for a 32-bit
    // process on 64-bit Windows the same text, which the file system redirects to the 32-bit
    // folder with its own programs). False with the last error set.
    virtual bool GetSystemDirectoryW(std::wstring& directory) = 0;
    // CreateProcessW(application, commandLine, no inheritance, no flags, currentDirectory,
    // STARTF_USESHOWWINDOW with `showCommand`): `application` is a full path, so nothing is
    // searched. The new process's handles are closed at once and it is not awaited. False with
    // the last error set.
    virtual bool CreateProcessW(const std::wstring& application, const std::wstring& commandLine,
                                const std::wstring& currentDirectory, int showCommand) = 0;
};

}  // namespace hf
