#include "tasks/PayloadDeletion.h"

#include "platform/Files.h"
#include "platform/System.h"
#include "tasks/FolderTrust.h"
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
// How many random names a rename tries before it gives up.
constexpr int kRenameAttempts = 8;

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

// A path twice: as this process reaches it (full, short names expanded) and as the system names
// it (WoW64 mapped), which is what the final path of an open file shows and what the restart
// carries out. Both have the same components but for the system folders' names.
struct CheckedPath {
    std::wstring process;
    std::wstring system;
};

// The path the open must end at. An unexpanded short name simply fails the check.
bool ResolvePath(FileApi& files, const SystemView& view, const std::wstring& path,
                 CheckedPath& checked) {
    std::wstring full;
    if (!files.GetFullPathNameW(path, full) || full.empty()) {
        return false;
    }
    std::wstring expanded;
    if (!files.GetLongPathNameW(full, expanded) || expanded.empty()) {
        expanded = full;
    }
    std::wstring storage;
    checked.process = std::wstring(WithoutLocalPrefix(expanded, storage));
    checked.system = MapToSystemView(files, view, checked.process);
    return true;
}

std::wstring_view WithoutTrailingSeparator(std::wstring_view path) {
    return path.ends_with(L'\\') ? path.substr(0, path.size() - 1) : path;
}

// Whether the open object is what the system names exactly as `expected`: a plain file, or with
// `folder` a folder, neither of them a link.
bool IsChecked(FileApi& files, FileHandle handle, const std::wstring& expected, bool folder) {
    FileHandleInformation info;
    if (!files.GetFileInformationByHandle(handle, info)) {
        return false;
    }
    const std::uint32_t refused =
        folder ? kFileAttributeReparsePoint
               : kFileAttributeDirectory | kFileAttributeReparsePoint | kFileAttributeReadOnly;
    if ((info.dwFileAttributes & refused) != 0 ||
        folder != ((info.dwFileAttributes & kFileAttributeDirectory) != 0)) {
        return false;
    }
    std::wstring finalPath;
    if (!files.GetFinalPathNameByHandleW(handle, kFinalPathDosName, finalPath)) {
        return false;
    }
    std::wstring storage;
    return files.EqualOrdinal(WithoutTrailingSeparator(WithoutLocalPrefix(finalPath, storage)),
                              WithoutTrailingSeparator(expected), true);
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

// "<path>.<16 hex digits>" from eight random bytes; false when there are none.
bool WithRandomSuffix(FileApi& files, const std::wstring& path, std::wstring& named) {
    std::uint8_t bytes[8] = {};
    if (!files.RtlGenRandom(bytes, sizeof bytes)) {
        return false;
    }
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    named = path + L".";
    for (std::size_t i = sizeof bytes; i-- > 0;) {
        named.push_back(kDigits[bytes[i] >> 4]);
        named.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return true;
}

// A loaded library: renamed through the checked handle to a name no file in its folder has, and
// that name recorded. At boot the record then leads to this file or, should a folder on the way
// have become a link since, to a folder where nothing has that name.
PayloadDeletionResult RenameAndSchedule(const Platform& platform, FileHandle file,
                                        const CheckedPath& checked) {
    FileApi& files = platform.Files();
    for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
        CheckedPath renamed;
        if (!WithRandomSuffix(files, checked.process, renamed.process)) {
            return PayloadDeletionResult::kPassedOver;
        }
        renamed.system = checked.system + renamed.process.substr(checked.process.size());
        if (files.SetFileRenameInfo(file, renamed.process)) {
            return IsChecked(files, file, renamed.system, false)
                       ? ScheduleAtRestart(files, renamed.system)
                       : PayloadDeletionResult::kPassedOver;
        }
        if (platform.System().GetLastError() != kErrorAlreadyExists) {
            return PayloadDeletionResult::kPassedOver;
        }
    }
    return PayloadDeletionResult::kPassedOver;
}

// Whether every folder above the checked file is what the system names it, no link, and can be
// changed by trusted accounts only: a file that cannot be renamed is recorded by the path it has.
bool FoldersAreTrusted(FileApi& files, const SystemView& view, const CheckedPath& checked) {
    const std::wstring& path = checked.process;
    // "X:\" first, then every folder below it down to the file's own.
    for (std::size_t end = path.find(L'\\'); end != std::wstring::npos;
         end = path.find(L'\\', end + 1)) {
        const bool root = end == 2;
        const std::wstring folder = root ? path.substr(0, 3) : path.substr(0, end);
        const UniqueFileHandle handle = Open(files, folder, kReadControl | kFileReadAttributes);
        ObjectSecurity security;
        if (!handle ||
            !IsChecked(files, handle.get(), MapToSystemView(files, view, folder), true) ||
            files.GetSecurityInfo(handle.get(), security) != 0 ||
            !OnlyTrustedMayChange(security, root)) {
            return false;
        }
    }
    return true;
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
    if (!IsLocalFixedPath(files, path) || HasParentSegment(path) ||
        !HasNoLinkOnTheWay(files, path)) {
        return PayloadDeletionResult::kPassedOver;
    }
    const SystemView view = ReadSystemView(files);
    CheckedPath checked;
    if (!ResolvePath(files, view, path, checked)) {
        return PayloadDeletionResult::kPassedOver;
    }
    UniqueFileHandle file = Open(files, path, kDeleteAccess | kFileReadAttributes);
    if (!file) {
        if (platform.System().GetLastError() != kErrorSharingViolation) {
            return PayloadDeletionResult::kPassedOver;
        }
        // Held open without delete sharing: a handle that only reads attributes is not refused,
        // but none can rename the file, so its own path is recorded, and only where no one but
        // the trusted accounts can change a folder on the way.
        const UniqueFileHandle reader = Open(files, path, kFileReadAttributes);
        return reader && IsChecked(files, reader.get(), checked.system, false) &&
                       FoldersAreTrusted(files, view, checked)
                   ? ScheduleAtRestart(files, checked.system)
                   : PayloadDeletionResult::kPassedOver;
    }
    if (!IsChecked(files, file.get(), checked.system, false)) {
        return PayloadDeletionResult::kPassedOver;
    }
    if (files.SetFileDispositionInfo(file.get(), true)) {
        return PayloadDeletionResult::kDeleted;
    }
    // A loaded library: the open for deletion was granted, the deletion itself is refused.
    return platform.System().GetLastError() == kErrorAccessDenied
               ? RenameAndSchedule(platform, file.get(), checked)
               : PayloadDeletionResult::kPassedOver;
}

}  // namespace hf
