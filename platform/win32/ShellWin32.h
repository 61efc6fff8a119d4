#pragma once
#include "platform/Shell.h"

namespace hf {

class Win32ShellApi final : public ShellApi {
  public:
    std::intptr_t ShellExecuteW(const wchar_t* verb, const std::wstring& file,
                                const std::wstring& parameters, const wchar_t* directory,
                                int showCommand) override;
};

}  // namespace hf
