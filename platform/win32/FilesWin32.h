#pragma once
#include "platform/Files.h"

namespace hf {

class Win32FileApi final : public FileApi {
  public:
    std::uint32_t GetFileAttributesW(const std::wstring& path) override;
    bool GetFileAttributesExW(const std::wstring& path, FileAttributeData& data) override;
    bool DeleteFileW(const std::wstring& path) override;
    FindHandle FindFirstFileW(const std::wstring& pattern, FindData& data) override;
    bool FindNextFileW(FindHandle search, FindData& data) override;
    bool FindClose(FindHandle search) override;
    std::int32_t SHGetFolderPathW(int csidl, std::uint32_t flags, std::wstring& buffer) override;
};

}  // namespace hf
