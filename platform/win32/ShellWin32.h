#pragma once
#include "platform/Shell.h"

namespace hf {

class Win32ShellApi final : public ShellApi {
  public:
    bool GetSystemDirectoryW(std::wstring& directory) override;
    bool CreateProcessW(const std::wstring& application, const std::wstring& commandLine,
                        const std::wstring& currentDirectory, int showCommand) override;
};

}  // namespace hf
