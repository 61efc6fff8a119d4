#include "tasks/PayloadDeletion.h"

#include "platform/Files.h"
#include "platform/System.h"
#include "tasks/FolderTrust.h"

namespace hf {

namespace {

constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kFinalPathDosName = 0;  // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS
// What FileBasicInfo may set (FILE_ATTRIBUTE_VALID_SET_FLAGS): others are the system's own.
constexpr std::uint32_t kSettableAttributes = 0x31A7;
// How many random names a rename tries before it gives up.
constexpr int kRenameAttempts = 8;

constexpr std::wstring_view kLocalPrefix = L"\\\\?\\";

PayloadOutcome Outcome(PayloadDeletionResult result, std::uint32_t error = 0) {
    return {result, error};
}

PayloadOutcome Kept(SystemApi& system) {
    const std::uint32_t error = system.GetLastError();
    return {PayloadDeletionResult::kKept, error != 0 ? error : kErrorAccessDenied};
}

// Whether the open file is what the system names `expected` (after a rename through it).
bool IsNamed(FileApi& files, FileHandle file, const std::wstring& expected) {
    std::wstring finalPath;
    if (!files.GetFinalPathNameByHandleW(file, kFinalPathDosName, finalPath)) {
        return false;
    }
    std::wstring_view named = finalPath;
    if (named.starts_with(kLocalPrefix)) {
        named.remove_prefix(kLocalPrefix.size());
    }
    return files.EqualOrdinal(named, expected, true);
}

PayloadOutcome ScheduleAtRestart(const Platform& platform, const std::wstring& systemPath) {
    return platform.Files().MoveFileExW(systemPath, nullptr, kMoveFileDelayUntilReboot)
               ? Outcome(PayloadDeletionResult::kScheduledAtRestart)
               : Kept(platform.System());
}

// "<name>.<16 hex digits>" from eight random bytes; false when there are none.
bool WithRandomSuffix(FileApi& files, const std::wstring& name, std::wstring& named) {
    std::uint8_t bytes[8] = {};
    if (!files.RtlGenRandom(bytes, sizeof bytes)) {
        return false;
    }
    static constexpr wchar_t kDigits[] = L"0123456789abcdef";
    named = name + L".";
    for (std::size_t i = sizeof bytes; i-- > 0;) {
        named.push_back(kDigits[bytes[i] >> 4]);
        named.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return true;
}

// A loaded library: renamed through its handle, in its held folder (named by its checked path),
// to a name no file there has, and that name recorded. At boot the record then leads to this file
// or, should a folder on the way have become a link since, to a folder where nothing has that name.
PayloadOutcome RenameAndSchedule(const Platform& platform, Candidate& candidate) {
    FileApi& files = platform.Files();
    const std::wstring& path = candidate.systemPath;
    const std::wstring name = path.substr(candidate.folder->path.size() + 1);
    for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
        std::wstring renamed;
        if (!WithRandomSuffix(files, name, renamed)) {
            return Outcome(PayloadDeletionResult::kKept, kErrorAccessDenied);
        }
        // The folder is held since its check: its path leads to it still.
        const std::wstring renamedPath = candidate.folder->path + L"\\" + renamed;
        bool done = false;
        std::uint32_t error = 0;
        {
            const RedirectionOff redirection(files, candidate.wow64);
            done = files.SetFileRenameInfo(candidate.file.get(), renamedPath);
            error = done ? 0 : platform.System().GetLastError();
        }
        if (done) {
            candidate.systemPath = renamedPath;  // where it is now, whatever comes next
            if (!IsNamed(files, candidate.file.get(), renamedPath)) {
                return Outcome(PayloadDeletionResult::kKept, kErrorAccessDenied);
            }
            return ScheduleAtRestart(platform, renamedPath);
        }
        if (error != kErrorAlreadyExists) {
            return Outcome(PayloadDeletionResult::kKept, error != 0 ? error : kErrorAccessDenied);
        }
    }
    return Outcome(PayloadDeletionResult::kKept, kErrorAlreadyExists);
}

// Whether every folder above the file, as held since the walk, can be changed by trusted
// accounts only: a file that cannot be renamed is recorded by the path it has.
bool FoldersAreTrusted(FileApi& files, const HeldFolder* folder) {
    for (; folder != nullptr; folder = folder->parent.get()) {
        ObjectSecurity security;
        if (files.GetSecurityInfo(folder->handle.get(), security) != 0 ||
            !OnlyTrustedMayChange(security, folder->driveRoot)) {
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

PayloadOutcome DeletePayload(const Platform& platform, Candidate& candidate) {
    FileApi& files = platform.Files();
    if (candidate.state != Candidate::State::kOpen) {
        return Outcome(PayloadDeletionResult::kPassedOver);
    }
    if (!candidate.CanDelete()) {
        // Held open without delete sharing: no one can rename it either, so its own path is
        // recorded, and only where no one but the trusted accounts can change a folder above it.
        if (candidate.refusal == kErrorSharingViolation &&
            FoldersAreTrusted(files, candidate.folder.get())) {
            return ScheduleAtRestart(platform, candidate.systemPath);
        }
        return Outcome(PayloadDeletionResult::kKept, candidate.refusal);
    }
    const std::uint32_t attributes = candidate.info.dwFileAttributes & kSettableAttributes;
    const bool readOnly = (attributes & kFileAttributeReadOnly) != 0;
    if (readOnly) {
        const std::uint32_t cleared = attributes & ~kFileAttributeReadOnly;
        if (!files.SetFileBasicInfo(candidate.file.get(),
                                    cleared != 0 ? cleared : kFileAttributeNormal)) {
            return Kept(platform.System());
        }
    }
    if (files.SetFileDispositionInfo(candidate.file.get(), true)) {
        return Outcome(PayloadDeletionResult::kDeleted);
    }
    PayloadOutcome outcome = Kept(platform.System());
    // A loaded library: the open for deletion was granted, the deletion itself is refused.
    if (outcome.error == kErrorAccessDenied) {
        outcome = RenameAndSchedule(platform, candidate);
    }
    if (outcome.result == PayloadDeletionResult::kKept && readOnly) {
        files.SetFileBasicInfo(candidate.file.get(), attributes);
    }
    return outcome;
}

PayloadOutcome DeletePayload(const Platform& platform, const std::wstring& path) {
    CandidateFolders folders(platform);
    Candidate candidate = folders.Examine(path, false);
    return DeletePayload(platform, candidate);
}

}  // namespace hf
