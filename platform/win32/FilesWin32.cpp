#include "platform/win32/FilesWin32.h"

#include <windows.h>
#include <shlobj.h>

namespace hf {

namespace {

FileTime ToFileTime(const FILETIME& time) {
    return {time.dwLowDateTime, time.dwHighDateTime};
}

void CopyFindData(const WIN32_FIND_DATAW& found, FindData& data) {
    data.dwFileAttributes = found.dwFileAttributes;
    data.cFileName = found.cFileName;
}

HANDLE ToHandle(FindHandle search) {
    return reinterpret_cast<HANDLE>(search);
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

std::int32_t Win32FileApi::SHGetFolderPathW(int csidl, std::uint32_t flags, std::wstring& buffer) {
    // Zero-filled, so whatever the shell leaves unwritten reads as NUL.
    wchar_t path[kMaxPathBuffer] = {};
    const HRESULT hr = ::SHGetFolderPathW(nullptr, csidl, nullptr, flags, path);
    buffer.assign(path, kMaxPathBuffer);
    return static_cast<std::int32_t>(hr);
}

}  // namespace hf
