#pragma once
// Files: attributes and times, deletion, the directory search, and the Windows folder; the
// handle calls a checked deletion makes, path forms, and the 32-bit process's view of the system.

#include "platform/UniqueHandle.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
inline constexpr std::uint32_t kFileAttributeHidden = 0x02;
inline constexpr std::uint32_t kFileAttributeSystem = 0x04;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeArchive = 0x20;
inline constexpr std::uint32_t kFileAttributeNormal = 0x80;
inline constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;
inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFF;

// CreateFileW access, sharing, disposition and flags.
inline constexpr std::uint32_t kDeleteAccess = 0x00010000;    // DELETE
inline constexpr std::uint32_t kFileReadData = 0x0001;        // FILE_READ_DATA, FILE_LIST_DIRECTORY
inline constexpr std::uint32_t kFileWriteData = 0x0002;       // FILE_WRITE_DATA
inline constexpr std::uint32_t kFileTraverse = 0x0020;        // FILE_TRAVERSE, FILE_EXECUTE
inline constexpr std::uint32_t kFileReadAttributes = 0x0080;  // FILE_READ_ATTRIBUTES
inline constexpr std::uint32_t kFileShareRead = 0x1;
inline constexpr std::uint32_t kFileShareWrite = 0x2;
inline constexpr std::uint32_t kFileShareDelete = 0x4;
inline constexpr std::uint32_t kFileShareAll = kFileShareRead | kFileShareWrite | kFileShareDelete;
inline constexpr std::uint32_t kOpenExisting = 3;  // OPEN_EXISTING
inline constexpr std::uint32_t kFileFlagOpenReparsePoint = 0x00200000;
inline constexpr std::uint32_t kFileFlagBackupSemantics = 0x02000000;
// Whatever a path turns out to reach (a pipe's server above all), it may identify the caller
// but never act as it: SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION.
inline constexpr std::uint32_t kSecuritySqosPresent = 0x00100000;
inline constexpr std::uint32_t kSecurityIdentification = 0x00010000;
inline constexpr std::uint32_t kReadControl = 0x00020000;  // READ_CONTROL
// NtOpenFile options: open a folder only; open a link itself rather than what it leads to;
// open with the backup intent (folders need it to open at all through CreateFileW's path).
inline constexpr std::uint32_t kFileDirectoryFile = 0x00000001;  // FILE_DIRECTORY_FILE
inline constexpr std::uint32_t kFileOpenForBackupIntent = 0x00004000;
inline constexpr std::uint32_t kFileOpenReparsePoint = 0x00200000;  // FILE_OPEN_REPARSE_POINT
// MoveFileExW: record the move (a deletion, with no new name) for the next restart.
inline constexpr std::uint32_t kMoveFileDelayUntilReboot = 0x4;

// GetDriveTypeW results the rules tell apart.
inline constexpr std::uint32_t kDriveUnknown = 0;
inline constexpr std::uint32_t kDriveNoRootDir = 1;
inline constexpr std::uint32_t kDriveRemovable = 2;
inline constexpr std::uint32_t kDriveFixed = 3;
inline constexpr std::uint32_t kDriveRemote = 4;
inline constexpr std::uint32_t kDriveCdrom = 5;
inline constexpr std::uint32_t kDriveRamdisk = 6;

// Access rights in a folder's access-control entries (the folder meanings of the file bits).
inline constexpr std::uint32_t kFileAddFile = 0x0002;          // FILE_ADD_FILE
inline constexpr std::uint32_t kFileAddSubdirectory = 0x0004;  // FILE_ADD_SUBDIRECTORY
inline constexpr std::uint32_t kFileDeleteChild = 0x0040;      // FILE_DELETE_CHILD
inline constexpr std::uint32_t kFileWriteAttributes = 0x0100;  // FILE_WRITE_ATTRIBUTES
inline constexpr std::uint32_t kWriteDac = 0x00040000;         // WRITE_DAC
inline constexpr std::uint32_t kWriteOwner = 0x00080000;       // WRITE_OWNER
inline constexpr std::uint32_t kGenericAll = 0x10000000;       // GENERIC_ALL
inline constexpr std::uint32_t kGenericWrite = 0x40000000;     // GENERIC_WRITE

// Access-control entry types and flags.
inline constexpr std::uint8_t kAccessAllowedAceType = 0;
inline constexpr std::uint8_t kAccessDeniedAceType = 1;
inline constexpr std::uint8_t kAccessDeniedObjectAceType = 6;
inline constexpr std::uint8_t kAccessDeniedCallbackAceType = 10;
inline constexpr std::uint8_t kAccessDeniedCallbackObjectAceType = 12;
inline constexpr std::uint8_t kInheritOnlyAce = 0x08;

// One entry of a discretionary access-control list, its SID as text ("S-1-5-18"; empty when the
// entry's layout carries none the backend could read).
struct AccessEntry {
    std::uint8_t type = 0;
    std::uint8_t flags = 0;
    std::uint32_t mask = 0;
    std::wstring sid;
};

// What GetSecurityInfo gives for an object's owner and discretionary access-control list.
struct ObjectSecurity {
    std::wstring owner;    // the owner's SID as text; empty when it has none
    bool hasDacl = false;  // false: no list at all, which grants everyone everything
    std::vector<AccessEntry> dacl;
};

// The error SetFileRenameInfo gives when a file of the new name exists.
inline constexpr std::uint32_t kErrorAlreadyExists = 183;

// The part of BY_HANDLE_FILE_INFORMATION the rules read of an open file.
struct FileHandleInformation {
    std::uint32_t dwFileAttributes = 0;
    FileTime ftCreationTime;
    FileTime ftLastAccessTime;
    FileTime ftLastWriteTime;
    std::uint32_t nFileSizeHigh = 0;
    std::uint32_t nFileSizeLow = 0;
    std::uint32_t nNumberOfLinks = 0;
};

using FileHandle = std::uintptr_t;
inline constexpr FileHandle kInvalidFileHandle = ~FileHandle{0};  // INVALID_HANDLE_VALUE

using FindHandle = std::uintptr_t;
inline constexpr FindHandle kInvalidFindHandle = ~FindHandle{0};  // INVALID_HANDLE_VALUE

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
    // GetSystemWindowsDirectoryW: the system's shared Windows folder (never the private one a
    // Terminal Server may give each user of a program that is not Terminal-Server aware); false
    // with the last error set.
    virtual bool GetSystemWindowsDirectoryW(std::wstring& directory) = 0;

    // CreateFileW(path, access, share, no security, disposition, flags, no template):
    // kInvalidFileHandle with the last error set.
    virtual FileHandle CreateFileW(const std::wstring& path, std::uint32_t access,
                                   std::uint32_t share, std::uint32_t disposition,
                                   std::uint32_t flags) = 0;
    // CloseHandle of a handle CreateFileW gave.
    virtual bool CloseHandle(FileHandle file) = 0;
    // GetFileInformationByHandle; false with the last error set.
    virtual bool GetFileInformationByHandle(FileHandle file, FileHandleInformation& info) = 0;
    // GetFinalPathNameByHandleW(file, flags): the whole path the system gives (a `\\?\` form);
    // false with the last error set.
    virtual bool GetFinalPathNameByHandleW(FileHandle file, std::uint32_t flags,
                                           std::wstring& path) = 0;
    // SetFileInformationByHandle(file, FileDispositionInfo, {DeleteFile = deleteFile}): the file
    // goes when its last handle closes; false with the last error set.
    virtual bool SetFileDispositionInfo(FileHandle file, bool deleteFile) = 0;
    // MoveFileExW(existing, newName or null, flags); false with the last error set.
    virtual bool MoveFileExW(const std::wstring& existing, const std::wstring* newName,
                             std::uint32_t flags) = 0;
    // GetFullPathNameW: the absolute path, "." and ".." resolved as text; false with the last
    // error set.
    virtual bool GetFullPathNameW(const std::wstring& path, std::wstring& fullPath) = 0;
    // GetLongPathNameW: every short (8.3) component expanded; the path must exist. False with
    // the last error set.
    virtual bool GetLongPathNameW(const std::wstring& path, std::wstring& longPath) = 0;
    // IsWow64Process of the calling process: whether it is a 32-bit process on 64-bit Windows.
    // False with the last error set when it cannot be told.
    virtual bool IsWow64Process(bool& wow64) = 0;
    // GetSystemWow64DirectoryW: the 32-bit system folder (for example "C:\Windows\SysWOW64");
    // false with the last error set (32-bit Windows has none).
    virtual bool GetSystemWow64DirectoryW(std::wstring& directory) = 0;
    // CompareStringOrdinal(a, b, ignoreCase) == CSTR_EQUAL: the comparison the file system makes
    // of names (case folded by the system's upper-case table, no locale).
    virtual bool EqualOrdinal(std::wstring_view a, std::wstring_view b, bool ignoreCase) = 0;
    // GetDriveTypeW(rootPath): one of the kDrive* values (rootPath as "C:\\").
    virtual std::uint32_t GetDriveTypeW(const std::wstring& rootPath) = 0;
    // SetFileInformationByHandle(file, FileRenameInfo, {ReplaceIfExists = false, no root folder,
    // newPath}): the open file takes the full path `newPath`; the handle needs DELETE access. A
    // file of that name is never replaced: false with kErrorAlreadyExists. False with the last
    // error set.
    virtual bool SetFileRenameInfo(FileHandle file, const std::wstring& newPath) = 0;
    // GetShortPathNameW: the path with each component in its 8.3 form where it has one; the path
    // must exist. False with the last error set.
    virtual bool GetShortPathNameW(const std::wstring& path, std::wstring& shortPath) = 0;
    // GetSecurityInfo(file, SE_FILE_OBJECT, OWNER | DACL): the owner and the access-control
    // list of the open object (the handle needs READ_CONTROL). Returns the Win32 error code as
    // GetSecurityInfo does (0 on success).
    virtual std::uint32_t GetSecurityInfo(FileHandle file, ObjectSecurity& security) = 0;
    // NtOpenFile(&handle, access | SYNCHRONIZE, {RootDirectory = folder, `name`,
    // OBJ_CASE_INSENSITIVE, identification-level quality of service}, share, options |
    // FILE_SYNCHRONOUS_IO_NONALERT): `name` (one component) is looked up in the open folder
    // `folder` itself, so nothing that happens to the path that led to the folder since it was
    // opened can change what is found. kInvalidFileHandle with the last error set (the status as
    // RtlNtStatusToDosError gives it).
    virtual FileHandle NtOpenFile(FileHandle folder, const std::wstring& name, std::uint32_t access,
                                  std::uint32_t share, std::uint32_t options) = 0;
    // ReOpenFile(file, access, share, 0): another handle to the same open file, with other
    // rights; kInvalidFileHandle with the last error set (32 when what others hold it with
    // forbids them; Windows also refuses to open a library in use for writing).
    virtual FileHandle ReOpenFile(FileHandle file, std::uint32_t access, std::uint32_t share) = 0;
    // ReadFile of up to `size` bytes at `offset` of an open file (the OVERLAPPED offset of a
    // synchronous handle); `read` receives how many came, 0 at or past the end. False with the
    // last error set.
    virtual bool ReadFile(FileHandle file, std::uint64_t offset, void* buffer, std::uint32_t size,
                          std::uint32_t& read) = 0;
    // SetFileInformationByHandle(file, FileBasicInfo, {times 0 (unchanged), attributes}): the
    // handle needs FILE_WRITE_ATTRIBUTES. False with the last error set.
    virtual bool SetFileBasicInfo(FileHandle file, std::uint32_t attributes) = 0;
    // Wow64DisableWow64FsRedirection / Wow64RevertWow64FsRedirection for the calling thread:
    // while off, System32 names the native folder even for a 32-bit process. False where there
    // is nothing to turn off (a native process).
    virtual bool Wow64DisableWow64FsRedirection(std::uintptr_t& previous) = 0;
    virtual bool Wow64RevertWow64FsRedirection(std::uintptr_t previous) = 0;
    // RtlGenRandom (SystemFunction036): fills `size` bytes at `buffer` with random bytes; false
    // when it cannot.
    virtual bool RtlGenRandom(void* buffer, std::uint32_t size) = 0;
};

// Owns a handle from FileApi::CreateFileW and closes it through the same interface.
struct FileHandleTraits {
    using Handle = FileHandle;
    FileApi* files = nullptr;
    static Handle Invalid() noexcept { return kInvalidFileHandle; }
    void Close(Handle file) const noexcept { files->CloseHandle(file); }
};
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;

// Owns a search from FileApi::FindFirstFileW and ends it through the same interface.
struct FindHandleTraits {
    using Handle = FindHandle;
    FileApi* files = nullptr;
    static Handle Invalid() noexcept { return kInvalidFindHandle; }
    void Close(Handle search) const noexcept { files->FindClose(search); }
};
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;

// Whether `path` exists as a file (not a directory).
inline bool FileExists(FileApi& files, const std::wstring& path) {
    const std::uint32_t attributes = files.GetFileAttributesW(path);
    return attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) == 0;
}

}  // namespace hf
