#pragma once
// The fake file system: folders and files in memory, looked up the way Windows does (a to z
// fold, '/' is a separator, repeated separators collapse, "." and ".." resolved as text), each
// file with attributes, the three FILETIMEs and optionally a version resource (read through
// FakeVersion). It also has links (reparse points as on Windows, Unix symbolic links as Wine
// shows them), short names, files in use, handles with their final paths, the system's list of
// deletions at the restart, and a simulated 32-bit process on 64-bit Windows. Deletions are
// recorded as asked and really remove the file; every call can be told to fail with a chosen
// code.

#include "platform/Files.h"
#include "tests/fakes/FakeSystem.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hf::fake {

// Win32 error codes the fakes set.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNoMoreFiles = 18;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorBadPathname = 161;
inline constexpr std::uint32_t kErrorDirectory = 267;  // ERROR_DIRECTORY: not a folder
inline constexpr std::uint32_t kErrorInvalidFunction = 1;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorResourceDataNotFound = 1812;
inline constexpr std::uint32_t kErrorResourceTypeNotFound = 1813;

// A version resource as the tests describe it; FakeVersion serialises it on demand.
struct FakeVersionResource {
    // The raw bytes of the "\VarFileInfo\Translation" value: normally 4 bytes per entry
    // (language, then code page, each 16-bit little-endian). May be cut short on purpose.
    std::vector<std::uint8_t> translation;
    // Whether the translation value exists at all.
    bool hasTranslation = true;
    // String tables by translation text (e.g. "040904B0"), then key -> value.
    std::map<std::wstring, std::map<std::wstring, std::wstring>> strings;

    FakeVersionResource& AddTranslation(std::uint16_t language, std::uint16_t codePage);
    FakeVersionResource& SetString(const std::wstring& translation, const std::wstring& key,
                                   const std::wstring& value);
};

struct FakeFile {
    std::wstring name;  // the last path component as it was added (what the search returns)
    std::uint32_t attributes = kFileAttributeArchive;
    FileTime creation;
    FileTime lastAccess;
    FileTime lastWrite;
    std::uint64_t size = 0;
    std::optional<FakeVersionResource> version;
    std::wstring shortName;                  // the 8.3 alias, when it has one
    std::optional<std::wstring> linkTarget;  // a link: where it leads
    bool unixLink = false;                   // followed always, with no reparse attribute (Wine)
    bool loaded = false;                     // in use as a loaded library (no write opens)
    bool heldWithoutDeleteSharing = false;   // in use, held open without delete sharing
    // The file's bytes as ReadFile gives them; when empty, a file with a version resource reads
    // as a PE image carrying it (FakePeImage.h), any other as empty.
    std::vector<std::uint8_t> contents;
    std::uint64_t id = 0;  // what an open handle refers to, wherever the entry is moved

    bool IsDirectory() const { return (attributes & kFileAttributeDirectory) != 0; }
};

class FakeFileSystem final : public FileApi {
  public:
    explicit FakeFileSystem(FakeSystem& system) : system_(system) {}

    // --- set-up (missing parent folders are created) ---
    FakeFile& AddFile(const std::wstring& path);
    FakeFile& AddFile(const std::wstring& path, const FakeVersionResource& version);
    FakeFile& AddDirectory(const std::wstring& path);
    // Every call that names `path` (attributes, deletion, version reads, a search in it as a
    // folder) fails with `code`, as for a locked or unreadable file.
    void FailPath(const std::wstring& path, std::uint32_t code);
    // Only the deletion of `path` (DeleteFileW, or through a handle) fails with `code`; the
    // file stays.
    void FailDelete(const std::wstring& path, std::uint32_t code);
    // A link at `path` leading to `target` (a file or a folder, existing or not). A reparse point
    // (junction, symbolic link, mount point) carries FILE_ATTRIBUTE_REPARSE_POINT and is opened
    // itself by an open that does not follow the last component; a Unix link is always
    // followed and shows no reparse attribute.
    FakeFile& AddLink(const std::wstring& path, const std::wstring& target, bool unixLink = false);
    // The file's 8.3 alias, which lookups accept for its last component.
    void SetShortName(const std::wstring& path, const std::wstring& shortName);
    // Moves what `path` stores, with everything below it, to `newPath`, as someone else's rename
    // does: open handles keep referring to it there. Refused (false) while a handle with an
    // access that counts in share checks holds it without delete sharing.
    bool MoveAway(const std::wstring& path, const std::wstring& newPath);
    // Called after every open that succeeded, with the path as given (for a relative open, the
    // folder's path and the name): a test changes the machine between a check and a use there.
    std::function<void(const std::wstring& path)> afterOpen;

    // --- inspection ---
    // What the process's open of `path` reaches (links followed, WoW64 redirected).
    bool Exists(const std::wstring& path) const;
    FakeFile* Find(const std::wstring& path);
    const FakeFile* Find(const std::wstring& path) const;
    // What is stored at `path` itself: the machine's own layout, no link or redirection.
    bool ExistsStored(const std::wstring& path) const;
    // The injected failure for `path`, if any (FakeVersion consults it too).
    std::optional<std::uint32_t> PathFailure(const std::wstring& path) const;
    // The error Windows gives for a path that does not exist: 3 when its folder is missing too
    // (or the path is empty), else 2.
    std::uint32_t MissingPathError(const std::wstring& path) const;
    // Search handles handed out and not yet closed.
    std::size_t OpenFindHandles() const { return searches_.size(); }
    // File handles handed out and not yet closed.
    std::size_t OpenFileHandles() const { return opened_.size(); }

    // Every deletion asked for (DeleteFileW, and an open with DELETE access), the path exactly as
    // given (a relative open: the folder's path as given, '\', the name), in order (failed
    // attempts included).
    std::vector<std::wstring> deletions;
    // The system's list of deletions at the next restart: every MoveFileExW with no new name
    // and MOVEFILE_DELAY_UNTIL_REBOOT that succeeded, the path as given.
    std::vector<std::wstring> pendingAtRestart;
    // When set, MoveFileExW fails with this code (as for a caller without the rights).
    std::optional<std::uint32_t> moveFailure;
    // A 32-bit process on 64-bit Windows: its C:\Windows\System32 reaches `wow64Folder`, its
    // C:\Windows\Sysnative the real C:\Windows\System32. Off: a native process (and Sysnative
    // is a folder like any other).
    bool wow64 = false;
    std::wstring wow64Folder = L"C:\\Windows\\SysWOW64";
    // Every FindFirstFileW pattern, as given.
    std::vector<std::wstring> searchPatterns;
    // Every call that names a path, as "Function(path)" with the path as given (NtOpenFile: the
    // folder's path as given, '\', the name), in order.
    std::vector<std::wstring> calls;
    // The flags of every CreateFileW, in order.
    std::vector<std::uint32_t> openFlags;

    // GetDriveTypeW by upper-case drive letter; a letter not listed is a fixed drive.
    std::map<wchar_t, std::uint32_t> driveTypes;
    // When set, SetFileRenameInfo fails with this code.
    std::optional<std::uint32_t> renameFailure;
    // What RtlGenRandom hands out: these values in turn (each as 8 little-endian bytes, cut or
    // repeated to the size asked), then 1, 2, 3, ... times 0x9E3779B97F4A7C15, whose hex digits
    // hold letters too. When `randomFails`, it fails.
    std::vector<std::uint64_t> randomValues;
    bool randomFails = false;
    // The owner and access-control list GetSecurityInfo gives for what a path stores (no link
    // followed); anything not given has TrustedSecurity(). When set, GetSecurityInfo fails with
    // this code.
    void SetSecurity(const std::wstring& path, ObjectSecurity security);
    std::optional<std::uint32_t> securityFailure;
    // Owned by SYSTEM, full control for SYSTEM, Administrators and TrustedInstaller, read and
    // execute for Users.
    static ObjectSecurity TrustedSecurity();

    // GetSystemWindowsDirectoryW gives this folder, or fails with `windowsFolderFailure`.
    std::wstring windowsFolder = L"C:\\Windows";
    std::optional<std::uint32_t> windowsFolderFailure;

    // --- FileApi ---
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
    bool IsWow64Process(bool& wow64Process) override;
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

    // The lookup key of a path: separators unified and collapsed, no trailing separator, a-z
    // upper-cased.
    static std::wstring Key(const std::wstring& path);
    // DOS wildcard match of one name ('*' any run, '?' one character), a-z folded.
    static bool WildcardMatch(std::wstring_view pattern, std::wstring_view name);

  private:
    struct Search {
        std::vector<FindData> results;
        std::size_t next = 0;
    };

    struct OpenFile {
        std::wstring key;   // what the open reached
        std::wstring path;  // as given
        std::uint32_t access = 0;
        bool deleteOnClose = false;
        std::uint64_t id = 0;  // the entry opened
        std::uint32_t share = kFileShareAll;
    };
    // The entry an open handle refers to now, where it is stored (updating `open.key`); null
    // when it is gone.
    FakeFile* Opened(FileHandle file, OpenFile** open = nullptr);
    // The opened entry's key with WoW64 redirection applied while it is on.
    std::wstring Redirected(std::wstring key) const;
    FileHandle Open(const std::wstring& given, const std::wstring& key, std::uint32_t access,
                    std::uint32_t share, bool wantDirectory, bool allowDirectory);

    bool Fail(std::uint32_t code);
    void Record(const wchar_t* function, const std::wstring& path);
    std::wstring ParentKey(const std::wstring& key) const;
    // The key the process reaches through `path`: WoW64 redirection, then short names and links
    // on the way (the last component's link too when `followLast`).
    std::wstring Reach(const std::wstring& path, bool followLast) const;
    std::wstring ReachKey(const std::wstring& key, bool followLast, int depth) const;
    const FakeFile* AtKey(const std::wstring& key) const;
    // The stored spelling of an existing key, component by component.
    std::wstring Spelled(const std::wstring& key) const;
    std::optional<std::uint32_t> FailureFor(const std::wstring& path,
                                            const std::wstring& key) const;

    FakeSystem& system_;
    std::map<std::wstring, FakeFile> entries_;  // by Key()
    std::map<std::wstring, std::uint32_t> pathFailures_;
    std::map<std::wstring, std::uint32_t> deleteFailures_;
    std::map<FindHandle, Search> searches_;
    std::map<FileHandle, OpenFile> opened_;
    std::map<std::wstring, ObjectSecurity> security_;  // by Key()
    std::size_t randomUsed_ = 0;
    FindHandle nextHandle_ = 0x100;
    std::uint64_t nextId_ = 1;
    bool redirectionOff_ = false;
};

}  // namespace hf::fake
