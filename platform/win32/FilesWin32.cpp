#include "platform/win32/FilesWin32.h"

#include "platform/win32/Win32Handles.h"

#include <windows.h>
#include <winternl.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstring>
#include <limits>
#include <vector>

namespace hf {

static_assert(kFileAttributeReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT);
static_assert(kDeleteAccess == DELETE);
static_assert(kFileReadAttributes == FILE_READ_ATTRIBUTES);
static_assert(kFileShareAll == (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
static_assert(kOpenExisting == OPEN_EXISTING);
static_assert(kFileFlagOpenReparsePoint == FILE_FLAG_OPEN_REPARSE_POINT);
static_assert(kFileFlagBackupSemantics == FILE_FLAG_BACKUP_SEMANTICS);
static_assert(kMoveFileDelayUntilReboot == MOVEFILE_DELAY_UNTIL_REBOOT);
static_assert(kSecuritySqosPresent == SECURITY_SQOS_PRESENT);
static_assert(kSecurityIdentification == SECURITY_IDENTIFICATION);
static_assert(kReadControl == READ_CONTROL);
static_assert(kDriveUnknown == DRIVE_UNKNOWN);
static_assert(kDriveNoRootDir == DRIVE_NO_ROOT_DIR);
static_assert(kDriveRemovable == DRIVE_REMOVABLE);
static_assert(kDriveFixed == DRIVE_FIXED);
static_assert(kDriveRemote == DRIVE_REMOTE);
static_assert(kDriveCdrom == DRIVE_CDROM);
static_assert(kDriveRamdisk == DRIVE_RAMDISK);
static_assert(kFileAddFile == FILE_ADD_FILE);
static_assert(kFileAddSubdirectory == FILE_ADD_SUBDIRECTORY);
static_assert(kFileDeleteChild == FILE_DELETE_CHILD);
static_assert(kFileWriteAttributes == FILE_WRITE_ATTRIBUTES);
static_assert(kWriteDac == WRITE_DAC);
static_assert(kWriteOwner == WRITE_OWNER);
static_assert(kGenericAll == GENERIC_ALL);
static_assert(kGenericWrite == GENERIC_WRITE);
static_assert(kAccessAllowedAceType == ACCESS_ALLOWED_ACE_TYPE);
static_assert(kAccessDeniedAceType == ACCESS_DENIED_ACE_TYPE);
static_assert(kAccessDeniedObjectAceType == ACCESS_DENIED_OBJECT_ACE_TYPE);
static_assert(kAccessDeniedCallbackAceType == ACCESS_DENIED_CALLBACK_ACE_TYPE);
static_assert(kAccessDeniedCallbackObjectAceType == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE);
static_assert(kInheritOnlyAce == INHERIT_ONLY_ACE);
static_assert(kErrorAlreadyExists == ERROR_ALREADY_EXISTS);
static_assert(kFileReadData == FILE_READ_DATA);
static_assert(kFileWriteData == FILE_WRITE_DATA);
static_assert(kFileTraverse == FILE_TRAVERSE);
static_assert(kFileAttributeNormal == FILE_ATTRIBUTE_NORMAL);
static_assert(kFileAttributeHidden == FILE_ATTRIBUTE_HIDDEN);
static_assert(kFileAttributeSystem == FILE_ATTRIBUTE_SYSTEM);

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

// A SID as "S-1-..."; empty when it cannot be converted.
std::wstring SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (sid == nullptr || !::ConvertSidToStringSidW(sid, &text)) {
        return {};
    }
    const UniqueLocalMemory owner(LocalMemoryTraits{}, text);
    return text;
}

// The SID of the entry types whose layout is header, mask, SID (allowed and denied, plain and
// callback); null for the object types, whose SID sits after optional GUIDs and which a file
// system's list does not hold.
PSID EntrySid(const ACE_HEADER* header) {
    switch (header->AceType) {
        case ACCESS_ALLOWED_ACE_TYPE:
        case ACCESS_DENIED_ACE_TYPE:
        case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_ACE_TYPE:
            return const_cast<DWORD*>(
                &reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header)->SidStart);
        default:
            return nullptr;
    }
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
    info.ftCreationTime = ToFileTime(record.ftCreationTime);
    info.ftLastAccessTime = ToFileTime(record.ftLastAccessTime);
    info.ftLastWriteTime = ToFileTime(record.ftLastWriteTime);
    info.nFileSizeHigh = record.nFileSizeHigh;
    info.nFileSizeLow = record.nFileSizeLow;
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

std::uint32_t Win32FileApi::GetDriveTypeW(const std::wstring& rootPath) {
    return ::GetDriveTypeW(rootPath.c_str());
}

bool Win32FileApi::SetFileRenameInfo(FileHandle file, const std::wstring& newPath) {
    // The NT form of the full path: passed on unchanged where the system takes FileName as an
    // NT path, and recognised as one where it converts a DOS path first (Wine). (A root folder
    // handle with a bare name is what Windows takes too, but Wine 8 refuses it with 87.)
    const std::wstring name = L"\\??\\" + newPath;
    const std::size_t nameBytes = name.size() * sizeof(wchar_t);
    if (nameBytes > std::numeric_limits<DWORD>::max() - sizeof(FILE_RENAME_INFO)) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(info->FileName, name.data(), nameBytes);
    return ::SetFileInformationByHandle(ToHandle(file), FileRenameInfo, info,
                                        static_cast<DWORD>(buffer.size())) != 0;
}

bool Win32FileApi::GetShortPathNameW(const std::wstring& path, std::wstring& shortPath) {
    return ReadGrowing(shortPath, [&](wchar_t* buffer, DWORD size) {
        return ::GetShortPathNameW(path.c_str(), buffer, size);
    });
}

FileHandle Win32FileApi::NtOpenFile(FileHandle folder, const std::wstring& name,
                                    std::uint32_t access, std::uint32_t share,
                                    std::uint32_t options) {
    using NtOpenFileFn =
        NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG);
    using StatusToErrorFn = ULONG(NTAPI*)(NTSTATUS);
    // ntdll is in every process before it runs its first instruction: nothing is loaded here.
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    const auto open = GetProcedure<NtOpenFileFn>(ntdll, "NtOpenFile");
    const auto toError = GetProcedure<StatusToErrorFn>(ntdll, "RtlNtStatusToDosError");
    const std::size_t bytes = name.size() * sizeof(wchar_t);
    if (open == nullptr || toError == nullptr) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return kInvalidFileHandle;
    }
    if (bytes > 0xFFFC) {  // a UNICODE_STRING counts bytes in 16 bits
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return kInvalidFileHandle;
    }
    UNICODE_STRING text{static_cast<USHORT>(bytes), static_cast<USHORT>(bytes),
                        const_cast<PWSTR>(name.c_str())};
    SECURITY_QUALITY_OF_SERVICE quality{sizeof quality, SecurityIdentification,
                                        SECURITY_STATIC_TRACKING, FALSE};
    OBJECT_ATTRIBUTES attributes{};
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, ToHandle(folder), nullptr);
    attributes.SecurityQualityOfService = &quality;
    IO_STATUS_BLOCK io{};
    HANDLE opened = nullptr;
    constexpr ULONG kSynchronousIoNonAlert = 0x00000020;  // FILE_SYNCHRONOUS_IO_NONALERT
    const NTSTATUS status = open(&opened, access | SYNCHRONIZE, &attributes, &io, share,
                                 options | kSynchronousIoNonAlert);
    if (status < 0) {
        ::SetLastError(toError(status));
        return kInvalidFileHandle;
    }
    return reinterpret_cast<FileHandle>(opened);
}

FileHandle Win32FileApi::ReOpenFile(FileHandle file, std::uint32_t access, std::uint32_t share) {
    const HANDLE opened = ::ReOpenFile(ToHandle(file), access, share, 0);
    return opened == INVALID_HANDLE_VALUE ? kInvalidFileHandle
                                          : reinterpret_cast<FileHandle>(opened);
}

bool Win32FileApi::ReadFile(FileHandle file, std::uint64_t offset, void* buffer, std::uint32_t size,
                            std::uint32_t& read) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    if (!::ReadFile(ToHandle(file), buffer, size, &done, &at)) {
        if (::GetLastError() != ERROR_HANDLE_EOF) {
            return false;
        }
        done = 0;
    }
    read = done;
    return true;
}

bool Win32FileApi::SetFileBasicInfo(FileHandle file, std::uint32_t attributes) {
    FILE_BASIC_INFO basic{};  // times of 0 stay as they are
    basic.FileAttributes = attributes;
    return ::SetFileInformationByHandle(ToHandle(file), FileBasicInfo, &basic, sizeof basic) != 0;
}

bool Win32FileApi::Wow64DisableWow64FsRedirection(std::uintptr_t& previous) {
    using DisableFn = BOOL(WINAPI*)(PVOID*);
    const auto disable = GetProcedure<DisableFn>(::GetModuleHandleW(L"kernel32.dll"),
                                                 "Wow64DisableWow64FsRedirection");
    PVOID old = nullptr;
    if (disable == nullptr || !disable(&old)) {
        return false;
    }
    previous = reinterpret_cast<std::uintptr_t>(old);
    return true;
}

bool Win32FileApi::Wow64RevertWow64FsRedirection(std::uintptr_t previous) {
    using RevertFn = BOOL(WINAPI*)(PVOID);
    const auto revert = GetProcedure<RevertFn>(::GetModuleHandleW(L"kernel32.dll"),
                                               "Wow64RevertWow64FsRedirection");
    return revert != nullptr && revert(reinterpret_cast<PVOID>(previous)) != FALSE;
}

std::uint32_t Win32FileApi::GetSecurityInfo(FileHandle file, ObjectSecurity& security) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = ::GetSecurityInfo(ToHandle(file), SE_FILE_OBJECT,
                                           OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                           &owner, nullptr, &dacl, nullptr, &descriptor);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const UniqueLocalMemory descriptorOwner(LocalMemoryTraits{}, descriptor);
    ObjectSecurity result;
    result.owner = SidText(owner);
    result.hasDacl = dacl != nullptr;
    for (DWORD index = 0; dacl != nullptr && index < dacl->AceCount; ++index) {
        void* entry = nullptr;
        if (!::GetAce(dacl, index, &entry)) {
            return ::GetLastError();
        }
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        AccessEntry access;
        access.type = header->AceType;
        access.flags = header->AceFlags;
        access.mask = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header)->Mask;
        access.sid = SidText(EntrySid(header));
        result.dacl.push_back(std::move(access));
    }
    security = std::move(result);
    return ERROR_SUCCESS;
}

bool Win32FileApi::RtlGenRandom(void* buffer, std::uint32_t size) {
    // SystemFunction036 of advapi32, which the program imports for the registry anyway.
    using GenRandom = BOOLEAN(WINAPI*)(PVOID, ULONG);
    const auto generate =
        GetProcedure<GenRandom>(::GetModuleHandleW(L"advapi32.dll"), "SystemFunction036");
    return generate != nullptr && generate(buffer, size) != FALSE;
}

}  // namespace hf
