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
    bool GetSystemWindowsDirectoryW(std::wstring& directory) override;
    FileHandle CreateFileW(const std::wstring& path, std::uint32_t access, std::uint32_t share,
                           std::uint32_t disposition, std::uint32_t flags) override;
    bool CloseHandle(FileHandle file) override;
    bool GetFileInformationByHandle(FileHandle file, FileHandleInformation& info) override;
    bool GetFinalPathNameByHandleW(FileHandle file, std::uint32_t flags,
                                   std::wstring& path) override;
    bool SetFileDispositionInfo(FileHandle file, bool deleteFile) override;
    bool MoveFileExW(const std::wstring& existing, const std::wstring* newName,
                     std::uint32_t flags) override;
    bool GetFullPathNameW(const std::wstring& path, std::wstring& fullPath) override;
    bool GetLongPathNameW(const std::wstring& path, std::wstring& longPath) override;
    bool IsWow64Process(bool& wow64) override;
    bool GetSystemWow64DirectoryW(std::wstring& directory) override;
    bool EqualOrdinal(std::wstring_view a, std::wstring_view b, bool ignoreCase) override;
    std::uint32_t GetDriveTypeW(const std::wstring& rootPath) override;
    bool SetFileRenameInfo(FileHandle file, const std::wstring& newPath) override;
    bool GetShortPathNameW(const std::wstring& path, std::wstring& shortPath) override;
    FileHandle NtOpenFile(FileHandle folder, const std::wstring& name, std::uint32_t access,
                          std::uint32_t share, std::uint32_t options) override;
    FileHandle ReOpenFile(FileHandle file, std::uint32_t access, std::uint32_t share) override;
    bool ReadFile(FileHandle file, std::uint64_t offset, void* buffer, std::uint32_t size,
                  std::uint32_t& read) override;
    bool SetFileBasicInfo(FileHandle file, std::uint32_t attributes) override;
    bool Wow64DisableWow64FsRedirection(std::uintptr_t& previous) override;
    bool Wow64RevertWow64FsRedirection(std::uintptr_t previous) override;
    std::uint32_t GetSecurityInfo(FileHandle file, ObjectSecurity& security) override;
    bool RtlGenRandom(void* buffer, std::uint32_t size) override;
};

}  // namespace hf
