#pragma once
// The fake file system: folders and files in memory, looked up the way Windows does (a to z
// fold, '/' is a separator, repeated separators collapse), each file with attributes, the three
// FILETIMEs and optionally a version resource (read through FakeVersion). Deletions are recorded
// as asked and really remove the file; every call can be told to fail with a chosen code.

#include "platform/Files.h"
#include "tests/fakes/FakeSystem.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hf::fake {

// Win32 error codes the fakes set.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNoMoreFiles = 18;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorBadPathname = 161;
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
    // Only DeleteFileW of `path` fails with `code`; the file stays.
    void FailDelete(const std::wstring& path, std::uint32_t code);

    // --- inspection ---
    bool Exists(const std::wstring& path) const;
    FakeFile* Find(const std::wstring& path);
    const FakeFile* Find(const std::wstring& path) const;
    // The injected failure for `path`, if any (FakeVersion consults it too).
    std::optional<std::uint32_t> PathFailure(const std::wstring& path) const;
    // The error Windows gives for a path that does not exist: 3 when its folder is missing too
    // (or the path is empty), else 2.
    std::uint32_t MissingPathError(const std::wstring& path) const;
    // Search handles handed out and not yet closed.
    std::size_t OpenFindHandles() const { return searches_.size(); }

    // Every DeleteFileW call, the path exactly as given, in order (failed attempts included).
    std::vector<std::wstring> deletions;
    // Every FindFirstFileW pattern, as given.
    std::vector<std::wstring> searchPatterns;

    // SHGetFolderPathW: the buffer receives the first kMaxPathBuffer characters of this text,
    // NUL-padded (a text of 261 characters or more leaves no NUL), whatever the result.
    std::wstring shellFolderPath = L"C:\\Windows";
    std::int32_t shellFolderResult = 0;
    struct FolderRequest {
        int csidl;
        std::uint32_t flags;
    };
    std::vector<FolderRequest> folderRequests;

    // --- FileApi ---
    std::uint32_t GetFileAttributesW(const std::wstring& path) override;
    bool GetFileAttributesExW(const std::wstring& path, FileAttributeData& data) override;
    bool DeleteFileW(const std::wstring& path) override;
    FindHandle FindFirstFileW(const std::wstring& pattern, FindData& data) override;
    bool FindNextFileW(FindHandle search, FindData& data) override;
    bool FindClose(FindHandle search) override;
    std::int32_t SHGetFolderPathW(int csidl, std::uint32_t flags, std::wstring& buffer) override;

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

    bool Fail(std::uint32_t code);
    std::wstring ParentKey(const std::wstring& key) const;

    FakeSystem& system_;
    std::map<std::wstring, FakeFile> entries_;  // by Key()
    std::map<std::wstring, std::uint32_t> pathFailures_;
    std::map<std::wstring, std::uint32_t> deleteFailures_;
    std::map<FindHandle, Search> searches_;
    FindHandle nextHandle_ = 0x100;
};

}  // namespace hf::fake
