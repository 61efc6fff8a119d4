#include "tasks/PayloadDeletion.h"

#include "platform/Files.h"
#include "platform/System.h"
#include "tasks/LocalPath.h"
#include "tasks/SystemView.h"

namespace hf {

namespace {

constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kFinalPathDosName = 0;  // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS
// The last component's link is opened itself; whatever the path reaches may not act as us.
constexpr std::uint32_t kOpenFlags = kFileFlagOpenReparsePoint | kFileFlagBackupSemantics |
                                     kSecuritySqosPresent | kSecurityIdentification;
constexpr std::wstring_view kLocalPrefix = L"\\\\?\\";
constexpr std::wstring_view kUncPrefix = L"\\\\?\\UNC\\";

// A final path in the form GetFullPathNameW gives: "\\?\C:\..." → "C:\...",
// "\\?\UNC\server\share\..." → "\\server\share\...". A volume GUID form stays as it is and so
// matches no full path.
std::wstring_view WithoutLocalPrefix(std::wstring_view path, std::wstring& storage) {
    if (path.starts_with(kUncPrefix)) {
        storage = L"\\\\" + std::wstring(path.substr(kUncPrefix.size()));
        return storage;
    }
    if (path.starts_with(kLocalPrefix) && path.size() > kLocalPrefix.size() + 1 &&
        path[kLocalPrefix.size() + 1] == L':') {
        return path.substr(kLocalPrefix.size());
    }
    return path;
}

// The path the open must end at: full, short names expanded where the system can, WoW64 mapped.
// An unexpanded short name simply fails the check.
bool ExpectedFinalPath(FileApi& files, const std::wstring& path, std::wstring& expected) {
    std::wstring full;
    if (!files.GetFullPathNameW(path, full) || full.empty()) {
        return false;
    }
    std::wstring expanded;
    if (!files.GetLongPathNameW(full, expanded) || expanded.empty()) {
        expanded = full;
    }
    std::wstring storage;
    expected = MapToSystemView(files, ReadSystemView(files),
                               std::wstring(WithoutLocalPrefix(expanded, storage)));
    return true;
}

// Whether the open file is a plain file that the system names exactly as `expected`.
bool IsCheckedFile(FileApi& files, FileHandle file, const std::wstring& expected) {
    FileHandleInformation info;
    if (!files.GetFileInformationByHandle(file, info) ||
        (info.dwFileAttributes &
         (kFileAttributeDirectory | kFileAttributeReparsePoint | kFileAttributeReadOnly)) != 0) {
        return false;
    }
    std::wstring finalPath;
    if (!files.GetFinalPathNameByHandleW(file, kFinalPathDosName, finalPath)) {
        return false;
    }
    std::wstring storage;
    return files.EqualOrdinal(WithoutLocalPrefix(finalPath, storage), expected, true);
}

PayloadDeletionResult ScheduleAtRestart(FileApi& files, const std::wstring& checked) {
    return files.MoveFileExW(checked, nullptr, kMoveFileDelayUntilReboot)
               ? PayloadDeletionResult::kScheduledAtRestart
               : PayloadDeletionResult::kPassedOver;
}

UniqueFileHandle Open(FileApi& files, const std::wstring& path, std::uint32_t access) {
    return UniqueFileHandle(FileHandleTraits{&files}, files.CreateFileW(path, access, kFileShareAll,
                                                                        kOpenExisting, kOpenFlags));
}

}  // namespace

bool HasParentSegment(std::wstring_view path) {
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = path.find_first_of(L"\\/", start);
        const std::size_t stop = end == std::wstring_view::npos ? path.size() : end;
        if (path.substr(start, stop - start) == L"..") {
            return true;
        }
        if (end == std::wstring_view::npos) {
            break;
        }
        start = end + 1;
    }
    return false;
}

PayloadDeletionResult DeletePayload(const Platform& platform, const std::wstring& path) {
    FileApi& files = platform.Files();
    std::wstring expected;
    if (!IsLocalFixedPath(files, path) || HasParentSegment(path) ||
        !ExpectedFinalPath(files, path, expected)) {
        return PayloadDeletionResult::kPassedOver;
    }
    UniqueFileHandle file = Open(files, path, kDeleteAccess | kFileReadAttributes);
    if (!file) {
        if (platform.System().GetLastError() != kErrorSharingViolation) {
            return PayloadDeletionResult::kPassedOver;
        }
        // Held open without delete sharing: a handle that only reads attributes is not refused.
        const UniqueFileHandle reader = Open(files, path, kFileReadAttributes);
        return reader && IsCheckedFile(files, reader.get(), expected)
                   ? ScheduleAtRestart(files, expected)
                   : PayloadDeletionResult::kPassedOver;
    }
    if (!IsCheckedFile(files, file.get(), expected)) {
        return PayloadDeletionResult::kPassedOver;
    }
    if (files.SetFileDispositionInfo(file.get(), true)) {
        return PayloadDeletionResult::kDeleted;
    }
    // A loaded library: the open for deletion was granted, the deletion itself is refused.
    return platform.System().GetLastError() == kErrorAccessDenied
               ? ScheduleAtRestart(files, expected)
               : PayloadDeletionResult::kPassedOver;
}

}  // namespace hf
