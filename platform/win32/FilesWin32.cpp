#include "platform/win32/FilesWin32.h"

#include <windows.h>
#include <shlobj.h>

#include <limits>

namespace hf {

static_assert(kFileAttributeReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT);
static_assert(kDeleteAccess == DELETE);
static_assert(kFileReadAttributes == FILE_READ_ATTRIBUTES);
static_assert(kFileShareAll == (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
static_assert(kOpenExisting == OPEN_EXISTING);
static_assert(kFileFlagOpenReparsePoint == FILE_FLAG_OPEN_REPARSE_POINT);
static_assert(kFileFlagBackupSemantics == FILE_FLAG_BACKUP_SEMANTICS);
static_assert(kMoveFileDelayUntilReboot == MOVEFILE_DELAY_UNTIL_REBOOT);

namespace {

// Calls `fill(buffer, size)` of a Windows function that returns the length it wrote, or the
// size it needs (terminator included) when the buffer is too small, or 0 on failure.
template <typename Fill>
bool ReadGrowing(std::wstring& out, Fill fill) {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD written = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (written == 0) {
            return false;
        }
        if (written < buffer.size()) {
            out.assign(buffer.data(), written);
            return true;
        }
        buffer.assign(written, L'\0');
    }
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);  // the path kept growing under us
    return false;
}

FileTime ToFileTime(const FILETIME& time) {
    return {time.dwLowDateTime, time.dwHighDateTime};
}

void CopyFindData(const WIN32_FIND_DATAW& found, FindData& data) {
    data.dwFileAttributes = found.dwFileAttributes;
    data.cFileName = found.cFileName;
}

HANDLE ToHandle(std::uintptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

std::uint32_t Win32FileApi::GetFileAttributesW(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str());
}

bool Win32FileApi::GetFileAttributesExW(const std::wstring& path, FileAttributeData& data) {
    WIN32_FILE_ATTRIBUTE_DATA record{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &record)) {
        return false;
    }
    data.dwFileAttributes = record.dwFileAttributes;
    data.ftCreationTime = ToFileTime(record.ftCreationTime);
    data.ftLastAccessTime = ToFileTime(record.ftLastAccessTime);
    data.ftLastWriteTime = ToFileTime(record.ftLastWriteTime);
    data.nFileSizeHigh = record.nFileSizeHigh;
    data.nFileSizeLow = record.nFileSizeLow;
    return true;
}

bool Win32FileApi::DeleteFileW(const std::wstring& path) {
    return ::DeleteFileW(path.c_str()) != 0;
}

FindHandle Win32FileApi::FindFirstFileW(const std::wstring& pattern, FindData& data) {
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return kInvalidFindHandle;
    }
    CopyFindData(found, data);
    return reinterpret_cast<FindHandle>(search);
}

bool Win32FileApi::FindNextFileW(FindHandle search, FindData& data) {
    WIN32_FIND_DATAW found{};
    if (!::FindNextFileW(ToHandle(search), &found)) {
        return false;
    }
    CopyFindData(found, data);
    return true;
}

bool Win32FileApi::FindClose(FindHandle search) {
    return ::FindClose(ToHandle(search)) != 0;
}

bool Win32FileApi::GetSystemWindowsDirectoryW(std::wstring& directory) {
    return ReadGrowing(directory, [&](wchar_t* buffer, DWORD size) {
        return ::GetSystemWindowsDirectoryW(buffer, size);
    });
}

FileHandle Win32FileApi::CreateFileW(const std::wstring& path, std::uint32_t access,
                                     std::uint32_t share, std::uint32_t disposition,
                                     std::uint32_t flags) {
    HANDLE file = ::CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
    return file == INVALID_HANDLE_VALUE ? kInvalidFileHandle : reinterpret_cast<FileHandle>(file);
}

bool Win32FileApi::CloseHandle(FileHandle file) {
    return ::CloseHandle(ToHandle(file)) != 0;
}

bool Win32FileApi::GetFileInformationByHandle(FileHandle file, FileHandleInformation& info) {
    BY_HANDLE_FILE_INFORMATION record{};
    if (!::GetFileInformationByHandle(ToHandle(file), &record)) {
        return false;
    }
    info.dwFileAttributes = record.dwFileAttributes;
    info.nNumberOfLinks = record.nNumberOfLinks;
    return true;
}

bool Win32FileApi::GetFinalPathNameByHandleW(FileHandle file, std::uint32_t flags,
                                             std::wstring& path) {
    return ReadGrowing(path, [&](wchar_t* buffer, DWORD size) {
        return ::GetFinalPathNameByHandleW(ToHandle(file), buffer, size, flags);
    });
}

bool Win32FileApi::SetFileDispositionInfo(FileHandle file, bool deleteFile) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = deleteFile ? TRUE : FALSE;
    return ::SetFileInformationByHandle(ToHandle(file), FileDispositionInfo, &disposition,
                                        sizeof disposition) != 0;
}

bool Win32FileApi::MoveFileExW(const std::wstring& existing, const std::wstring* newName,
                               std::uint32_t flags) {
    return ::MoveFileExW(existing.c_str(), newName != nullptr ? newName->c_str() : nullptr,
                         flags) != 0;
}

bool Win32FileApi::GetFullPathNameW(const std::wstring& path, std::wstring& fullPath) {
    return ReadGrowing(fullPath, [&](wchar_t* buffer, DWORD size) {
        return ::GetFullPathNameW(path.c_str(), size, buffer, nullptr);
    });
}

bool Win32FileApi::GetLongPathNameW(const std::wstring& path, std::wstring& longPath) {
    return ReadGrowing(longPath, [&](wchar_t* buffer, DWORD size) {
        return ::GetLongPathNameW(path.c_str(), buffer, size);
    });
}

bool Win32FileApi::IsWow64Process(bool& wow64) {
    BOOL result = FALSE;
    if (!::IsWow64Process(::GetCurrentProcess(), &result)) {
        return false;
    }
    wow64 = result != FALSE;
    return true;
}

bool Win32FileApi::GetSystemWow64DirectoryW(std::wstring& directory) {
    return ReadGrowing(directory, [&](wchar_t* buffer, DWORD size) {
        return ::GetSystemWow64DirectoryW(buffer, size);
    });
}

bool Win32FileApi::EqualOrdinal(std::wstring_view a, std::wstring_view b, bool ignoreCase) {
    constexpr std::size_t kLimit = static_cast<std::size_t>(std::numeric_limits<int>::max());
    if (a.size() > kLimit || b.size() > kLimit) {
        return false;
    }
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                  static_cast<int>(b.size()),
                                  ignoreCase ? TRUE : FALSE) == CSTR_EQUAL;
}

}  // namespace hf
