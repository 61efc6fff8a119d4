#pragma once
#include "platform/System.h"

namespace hf {

class Win32SystemApi final : public SystemApi {
  public:
    std::uint32_t GetLastError() override;
    void SetLastError(std::uint32_t code) override;
    void Sleep(std::uint32_t milliseconds) override;
    std::uint64_t GetTickCount64() override;
    std::wstring FormatMessageW(std::uint32_t code) override;
    std::uint32_t GetOEMCP() override;
    bool WideCharToMultiByte(std::uint32_t codePage, std::uint32_t flags, std::wstring_view text,
                             std::string& bytes, bool& usedDefaultChar) override;
};

}  // namespace hf
