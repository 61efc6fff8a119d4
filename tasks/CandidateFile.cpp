#include "tasks/CandidateFile.h"

#include "inspect/VersionResource.h"
#include "platform/System.h"
#include "platform/Text.h"
#include "tasks/LocalPath.h"
#include "tasks/PayloadDeletion.h"

namespace hf {

namespace {

constexpr std::uint32_t kFinalPathDosName = 0;  // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorSharingViolation = 32;
// A folder is held with an access that counts in share checks (traversal), so that its missing
// delete sharing keeps anyone from renaming or deleting it while held; READ_CONTROL is for the
// folder check before the restart.
constexpr std::uint32_t kFolderAccess = kFileTraverse | kFileReadAttributes | kReadControl;
constexpr std::uint32_t kFolderShare = kFileShareRead | kFileShareWrite;
// More folders than any ordinary machine's tasks name; past it they are let go and walked anew.
constexpr std::size_t kMaxHeldFolders = 4096;

constexpr std::wstring_view kLocalPrefix = L"\\\\?\\";

// A final path without its "\\?\" and trailing separator ("\\?\C:\" gives "C:"); a volume GUID
// or UNC form stays as it is and so matches no folder of ours.
std::wstring DosForm(std::wstring_view finalPath) {
    if (finalPath.starts_with(kLocalPrefix) && finalPath.size() >= kLocalPrefix.size() + 2 &&
        finalPath[kLocalPrefix.size() + 1] == L':') {
        finalPath.remove_prefix(kLocalPrefix.size());
    }
    while (finalPath.ends_with(L'\\')) {
        finalPath.remove_suffix(1);
    }
    return std::wstring(finalPath);
}

std::vector<std::wstring> Components(std::wstring_view path) {
    std::vector<std::wstring> parts;
    while (!path.empty()) {
        const std::size_t separator = std::min(path.find(L'\\'), path.size());
        if (separator > 0) {
            parts.emplace_back(path.substr(0, separator));
        }
        path.remove_prefix(std::min(separator + 1, path.size()));
    }
    return parts;
}

}  // namespace

RedirectionOff::RedirectionOff(FileApi& files, bool wow64) : files_(files) {
    active_ = wow64 && files_.Wow64DisableWow64FsRedirection(previous_);
}

RedirectionOff::~RedirectionOff() {
    if (active_) {
        files_.Wow64RevertWow64FsRedirection(previous_);
    }
}

const std::optional<std::vector<std::uint8_t>>& Candidate::VersionBlock(FileApi& files) {
    if (!versionRead_) {
        versionRead_ = true;
        if (CanRead()) {
            version_ = ReadVersionResource(files, file.get());
        }
    }
    return version_;
}

CandidateFolders::CandidateFolders(const Platform& platform)
    : platform_(platform), files_(platform.Files()), view_(ReadSystemView(files_)) {}

Candidate CandidateFolders::Examine(const std::wstring& path, bool content) {
    Candidate candidate;
    candidate.state = Candidate::State::kPassedOver;
    if (const std::wstring_view why = LocalPathProblem(path); !why.empty()) {
        candidate.why = why;
        return candidate;
    }
    if (HasParentSegment(path)) {
        candidate.why = kParentSegment;
        return candidate;
    }
    const wchar_t drive = UpperCase(path.substr(0, 1))[0];
    auto [type, unknown] = driveTypes_.try_emplace(drive, 0);
    if (unknown) {
        type->second = files_.GetDriveTypeW(std::wstring{drive, L':', L'\\'});
    }
    if (type->second != kDriveFixed) {
        candidate.why = kOffTheLocalDisks;
        return candidate;
    }
    // The text as the system would take it ('/', ".", trailing dots and blanks), then as the
    // system names the folders.
    std::wstring full;
    if (!files_.GetFullPathNameW(path, full) || LocalPathProblem(full) != std::wstring_view() ||
        HasParentSegment(full)) {
        candidate.state = Candidate::State::kAbsent;
        return candidate;
    }
    return Walk(MapToSystemView(files_, view_, full), content, false);
}

Candidate CandidateFolders::ExamineSystemPath(const std::wstring& systemPath) {
    if (LocalPathProblem(systemPath) != std::wstring_view() || HasParentSegment(systemPath)) {
        Candidate candidate;
        candidate.state = Candidate::State::kPassedOver;
        candidate.why = kOffTheLocalDisks;
        return candidate;
    }
    return Walk(systemPath, false, true);
}

std::shared_ptr<HeldFolder> CandidateFolders::Root(wchar_t drive) {
    const std::wstring key{drive, L':'};
    if (auto it = folders_.find(key); it != folders_.end()) {
        return it->second.folder;
    }
    auto root = std::make_shared<HeldFolder>();
    root->handle = UniqueFileHandle(
        FileHandleTraits{&files_},
        files_.CreateFileW(key + L"\\", kFolderAccess, kFileShareAll, kOpenExisting,
                           kFileFlagBackupSemantics | kFileFlagOpenReparsePoint |
                               kSecuritySqosPresent | kSecurityIdentification));
    std::wstring finalPath;
    if (!root->handle ||
        !files_.GetFinalPathNameByHandleW(root->handle.get(), kFinalPathDosName, finalPath) ||
        !SameTextAZ(DosForm(finalPath), key)) {
        root.reset();
    } else {
        root->path = key;
        root->driveRoot = true;
    }
    folders_[key] = {root, {}};
    return root;
}

bool CandidateFolders::IsChildOf(const HeldFolder& parent, std::wstring_view finalPath,
                                 const std::wstring& asked, std::wstring& named) const {
    named = DosForm(finalPath);
    const std::wstring_view view = named;
    if (view.size() <= parent.path.size() + 1 || view[parent.path.size()] != L'\\' ||
        !files_.EqualOrdinal(view.substr(0, parent.path.size()), parent.path, true)) {
        return false;
    }
    const std::wstring_view name = view.substr(parent.path.size() + 1);
    if (name.find(L'\\') != std::wstring_view::npos) {
        return false;
    }
    if (files_.EqualOrdinal(name, asked, true)) {
        return true;
    }
    // Asked by its 8.3 name; any other name is a link the system followed, to another entry of
    // the same folder.
    std::wstring shortPath;
    return files_.GetShortPathNameW(named, shortPath) &&
           files_.EqualOrdinal(std::wstring_view(shortPath).substr(shortPath.rfind(L'\\') + 1),
                               asked, true);
}

std::shared_ptr<HeldFolder> CandidateFolders::Folder(const std::shared_ptr<HeldFolder>& parent,
                                                     const std::wstring& name, std::wstring& why,
                                                     std::uint32_t& error) {
    const std::wstring key = UpperCase(parent->path + L"\\" + name);
    if (auto it = folders_.find(key); it != folders_.end()) {
        why = it->second.why;
        error = it->second.error;
        return it->second.folder;
    }
    if (folders_.size() >= kMaxHeldFolders) {
        folders_.clear();  // the parents stay alive through the walk that holds them
    }
    auto folder = std::make_shared<HeldFolder>();
    folder->parent = parent;
    folder->handle = UniqueFileHandle(
        FileHandleTraits{&files_},
        files_.NtOpenFile(parent->handle.get(), name, kFolderAccess, kFolderShare,
                          kFileDirectoryFile | kFileOpenReparsePoint | kFileOpenForBackupIntent));
    FileHandleInformation info;
    std::wstring finalPath;
    why.clear();
    error = 0;
    if (!folder->handle || !files_.GetFileInformationByHandle(folder->handle.get(), info)) {
        error = platform_.System().GetLastError();
        folder.reset();
    } else if ((info.dwFileAttributes & kFileAttributeReparsePoint) != 0 ||
               !files_.GetFinalPathNameByHandleW(folder->handle.get(), kFinalPathDosName,
                                                 finalPath) ||
               !IsChildOf(*parent, finalPath, name, folder->path)) {
        // A link, or one the system follows whatever we ask (a Unix link under Wine): the
        // final path leads elsewhere.
        folder.reset();
        why = kLinkOnTheWay;
    }
    folders_[key] = {folder, why, error};
    return folder;
}

Candidate CandidateFolders::Walk(const std::wstring& systemPath, bool content,
                                 bool attributesOnly) {
    Candidate candidate;
    const std::vector<std::wstring> parts = Components(systemPath.substr(3));
    if (parts.empty()) {
        return candidate;
    }
    const RedirectionOff redirection(files_, view_.wow64);
    std::shared_ptr<HeldFolder> folder = Root(UpperCase(systemPath.substr(0, 1))[0]);
    if (!folder) {
        candidate.error = platform_.System().GetLastError();
        return candidate;
    }
    for (std::size_t i = 0; folder && i + 1 < parts.size(); ++i) {
        std::wstring why;
        folder = Folder(folder, parts[i], why, candidate.error);
        if (!why.empty()) {
            candidate.state = Candidate::State::kPassedOver;
            candidate.why = why;
            return candidate;
        }
    }
    if (!folder) {
        return candidate;
    }
    const std::uint32_t reading = kFileReadAttributes | (content ? kFileReadData : 0);
    const std::uint32_t attempts[] = {kDeleteAccess | kFileWriteAttributes | reading, reading,
                                      kFileReadAttributes};
    for (std::uint32_t access : attempts) {
        if (attributesOnly && access != kFileReadAttributes) {
            continue;
        }
        candidate.file = UniqueFileHandle(
            FileHandleTraits{&files_}, files_.NtOpenFile(folder->handle.get(), parts.back(), access,
                                                         kFileShareAll, kFileOpenReparsePoint));
        if (candidate.file) {
            candidate.access = access;
            break;
        }
        const std::uint32_t error = platform_.System().GetLastError();
        if (error != kErrorAccessDenied && error != kErrorSharingViolation) {
            candidate.error = error;  // not there, or no file the system can open
            return candidate;
        }
        if (candidate.refusal == 0) {
            candidate.refusal = error;
        }
    }
    std::wstring finalPath;
    if (!candidate.file) {
        candidate.error = candidate.refusal;
        return candidate;
    }
    if (!files_.GetFileInformationByHandle(candidate.file.get(), candidate.info) ||
        (candidate.info.dwFileAttributes & kFileAttributeDirectory) != 0) {
        candidate.file.reset();  // a folder is no file
        return candidate;
    }
    if ((candidate.info.dwFileAttributes & kFileAttributeReparsePoint) != 0 ||
        !files_.GetFinalPathNameByHandleW(candidate.file.get(), kFinalPathDosName, finalPath) ||
        !IsChildOf(*folder, finalPath, parts.back(), candidate.systemPath)) {
        candidate.file.reset();
        candidate.state = Candidate::State::kPassedOver;
        candidate.why = kLinkOnTheWay;
        return candidate;
    }
    candidate.state = Candidate::State::kOpen;
    candidate.folder = folder;
    candidate.wow64 = view_.wow64;
    return candidate;
}

}  // namespace hf
