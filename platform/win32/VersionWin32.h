#pragma once
#include "platform/Version.h"

namespace hf {

class Win32VersionApi final : public VersionApi {
  public:
    std::uint32_t GetFileVersionInfoSizeW(const std::wstring& path) override;
    bool GetFileVersionInfoW(const std::wstring& path, std::uint32_t size, void* data) override;
    bool VerQueryValueW(const void* block, const std::wstring& subBlock, const void*& value,
                        std::uint32_t& length) override;
};

}  // namespace hf
