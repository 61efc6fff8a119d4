#pragma once
// Files: attributes and times, deletion, the directory search, and the Windows folder.

#include <cstdint>
#include <string>

namespace hf {

// FILETIME: 100-nanosecond intervals since 1601-01-01 UTC.
struct FileTime {
    std::uint32_t dwLowDateTime = 0;
    std::uint32_t dwHighDateTime = 0;
};

// WIN32_FILE_ATTRIBUTE_DATA.
struct FileAttributeData {
    std::uint32_t dwFileAttributes = 0;
    FileTime ftCreationTime;
    FileTime ftLastAccessTime;
    FileTime ftLastWriteTime;
    std::uint32_t nFileSizeHigh = 0;
    std::uint32_t nFileSizeLow = 0;
};

// The part of WIN32_FIND_DATAW the rules read.
struct FindData {
    std::uint32_t dwFileAttributes = 0;
    std::wstring cFileName;  // the long name, as the search returned it
};

inline constexpr std::uint32_t kFileAttributeReadOnly = 0x01;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeArchive = 0x20;
inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFF;

using FindHandle = std::uintptr_t;
inline constexpr FindHandle kInvalidFindHandle = ~FindHandle{0};  // INVALID_HANDLE_VALUE

inline constexpr int kCsidlWindows = 0x24;
inline constexpr std::uint32_t kShgfpTypeCurrent = 0;
inline constexpr std::size_t kMaxPathBuffer = 261;  // MAX_PATH + 1

class FileApi {
  public:
    virtual ~FileApi() = default;

    // GetFileAttributesW: the attributes, or kInvalidFileAttributes with the last error set.
    virtual std::uint32_t GetFileAttributesW(const std::wstring& path) = 0;
    // GetFileAttributesExW with GetFileExInfoStandard; false with the last error set.
    virtual bool GetFileAttributesExW(const std::wstring& path, FileAttributeData& data) = 0;
    // DeleteFileW; false with the last error set.
    virtual bool DeleteFileW(const std::wstring& path) = 0;
    // FindFirstFileW / FindNextFileW / FindClose.
    virtual FindHandle FindFirstFileW(const std::wstring& pattern, FindData& data) = 0;
    virtual bool FindNextFileW(FindHandle search, FindData& data) = 0;
    virtual bool FindClose(FindHandle search) = 0;
    // SHGetFolderPathW(no window, csidl, no token, flags, buffer): `buffer` receives the
    // kMaxPathBuffer characters the shell wrote (NUL-terminated or not); returns the HRESULT.
    virtual std::int32_t SHGetFolderPathW(int csidl, std::uint32_t flags, std::wstring& buffer) = 0;
};

// Whether `path` exists as a file (not a directory).
inline bool FileExists(FileApi& files, const std::wstring& path) {
    const std::uint32_t attributes = files.GetFileAttributesW(path);
    return attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) == 0;
}

}  // namespace hf
