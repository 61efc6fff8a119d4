#include "tests/fakes/FakeFileSystem.h"

#include "platform/Text.h"
#include "tests/fakes/FakePeImage.h"

#include <algorithm>
#include <cstring>

namespace hf::fake {

FakeVersionResource& FakeVersionResource::AddTranslation(std::uint16_t language,
                                                         std::uint16_t codePage) {
    for (std::uint16_t word : {language, codePage}) {
        translation.push_back(static_cast<std::uint8_t>(word & 0xFF));
        translation.push_back(static_cast<std::uint8_t>(word >> 8));
    }
    return *this;
}

FakeVersionResource& FakeVersionResource::SetString(const std::wstring& translationText,
                                                    const std::wstring& key,
                                                    const std::wstring& value) {
    strings[translationText][key] = value;
    return *this;
}

namespace {

std::vector<std::wstring> Components(const std::wstring& path) {
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    for (std::size_t end = path.find(L'\\'); end != std::wstring::npos;
         start = end + 1, end = path.find(L'\\', start)) {
        parts.push_back(path.substr(start, end - start));
    }
    parts.push_back(path.substr(start));
    return parts;
}

// Separators unified and collapsed, no trailing separator; in a path from a drive's root "."
// and ".." resolve as text, without asking whether the folders exist, as Windows does.
std::wstring Normalized(const std::wstring& path) {
    std::wstring key;
    key.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        wchar_t c = path[i] == L'/' ? L'\\' : path[i];
        // Repeated separators collapse, except the two that open a UNC path.
        if (c == L'\\' && !key.empty() && key.back() == L'\\' && key.size() > 1) {
            continue;
        }
        key.push_back(c);
    }
    while (key.size() > 1 && key.back() == L'\\') {
        key.pop_back();
    }
    if (key.size() < 3 || key[1] != L':' || key[2] != L'\\') {
        return key;
    }
    std::vector<std::wstring> kept;
    for (std::wstring& part : Components(key)) {
        if (part == L"." && !kept.empty()) {
            continue;
        }
        if (part == L".." && !kept.empty()) {
            if (kept.size() > 1) {
                kept.pop_back();
            }
            continue;
        }
        kept.push_back(std::move(part));
    }
    std::wstring resolved = kept.front();
    for (std::size_t i = 1; i < kept.size(); ++i) {
        resolved += L"\\" + kept[i];
    }
    return kept.size() == 1 ? resolved + L"\\" : resolved;
}

// The folder part of a path as it was spelled (missing folders keep the test's spelling).
std::wstring SpelledParent(std::wstring path) {
    while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/')) {
        path.pop_back();
    }
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

constexpr std::wstring_view kLocalPrefix = L"\\\\?\\";

}  // namespace

std::wstring FakeFileSystem::Key(const std::wstring& path) {
    std::wstring key = Normalized(path);
    while (key.size() > 1 && key.back() == L'\\') {
        key.pop_back();
    }
    return UpperCase(key);
}

bool FakeFileSystem::WildcardMatch(std::wstring_view pattern, std::wstring_view name) {
    // "*.*" is the DOS spelling of "every name", dotless names included.
    if (pattern == L"*.*") {
        pattern = L"*";
    }
    const std::wstring p = UpperCase(pattern);
    const std::wstring n = UpperCase(name);
    std::size_t pi = 0, ni = 0, starP = std::wstring::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == L'?' || p[pi] == n[ni])) {
            ++pi, ++ni;
        } else if (pi < p.size() && p[pi] == L'*') {
            starP = pi++, starN = ni;
        } else if (starP != std::wstring::npos) {
            pi = starP + 1, ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == L'*') {
        ++pi;
    }
    return pi == p.size();
}

std::wstring FakeFileSystem::ParentKey(const std::wstring& key) const {
    const auto slash = key.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash == 0) {
        return std::wstring();
    }
    return key.substr(0, slash);
}

FakeFile& FakeFileSystem::AddDirectory(const std::wstring& path) {
    const std::wstring key = Key(path);
    const std::wstring parent = ParentKey(key);
    if (!parent.empty() && !ExistsStored(parent)) {
        AddDirectory(SpelledParent(path));
    }
    FakeFile& entry = entries_[key];
    // Keep the spelling the test used for the name.
    std::wstring spelled = path;
    while (spelled.size() > 1 && (spelled.back() == L'\\' || spelled.back() == L'/')) {
        spelled.pop_back();
    }
    const auto slash = spelled.find_last_of(L"\\/");
    entry.name = slash == std::wstring::npos ? spelled : spelled.substr(slash + 1);
    entry.attributes = kFileAttributeDirectory;
    entry.id = nextId_++;
    return entry;
}

FakeFile& FakeFileSystem::AddFile(const std::wstring& path) {
    const std::wstring key = Key(path);
    const std::wstring parent = ParentKey(key);
    if (!parent.empty() && !ExistsStored(parent)) {
        AddDirectory(SpelledParent(path));
    }
    FakeFile& entry = entries_[key];
    entry = FakeFile{};
    const auto slash = path.find_last_of(L"\\/");
    entry.name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    entry.id = nextId_++;
    return entry;
}

FakeFile& FakeFileSystem::AddFile(const std::wstring& path, const FakeVersionResource& version) {
    FakeFile& entry = AddFile(path);
    entry.version = version;
    return entry;
}

FakeFile& FakeFileSystem::AddLink(const std::wstring& path, const std::wstring& target,
                                  bool unixLink) {
    const FakeFile* reached = Find(target);
    const bool directory = reached != nullptr && reached->IsDirectory();
    FakeFile& link = directory ? AddDirectory(path) : AddFile(path);
    link.linkTarget = target;
    link.unixLink = unixLink;
    if (!unixLink) {
        link.attributes |= kFileAttributeReparsePoint;
    }
    return link;
}

bool FakeFileSystem::MoveAway(const std::wstring& path, const std::wstring& newPath) {
    const std::wstring from = Key(path);
    const std::wstring to = Key(newPath);
    constexpr std::uint32_t kSharedAccess =
        kFileReadData | 0x2 | 0x4 | kFileTraverse | kDeleteAccess;
    const FakeFile* moving = AtKey(from);
    for (const auto& [handle, open] : opened_) {
        if (moving != nullptr && open.id == moving->id && (open.access & kSharedAccess) != 0 &&
            (open.share & kFileShareDelete) == 0) {
            return Fail(kErrorSharingViolation);
        }
    }
    std::map<std::wstring, FakeFile> moved;
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->first == from || it->first.starts_with(from + L"\\")) {
            moved.emplace(to + it->first.substr(from.size()), std::move(it->second));
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& [key, entry] : moved) {
        if (key == to) {
            const auto slash = newPath.find_last_of(L"\\/");
            entry.name = newPath.substr(slash + 1);
        }
        entries_.emplace(key, std::move(entry));
    }
    return true;
}

void FakeFileSystem::SetShortName(const std::wstring& path, const std::wstring& shortName) {
    if (auto it = entries_.find(Key(path)); it != entries_.end()) {
        it->second.shortName = shortName;
    }
}

bool FakeFileSystem::ExistsStored(const std::wstring& path) const {
    return !path.empty() && entries_.count(Key(path)) != 0;
}

const FakeFile* FakeFileSystem::AtKey(const std::wstring& key) const {
    auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second;
}

std::wstring FakeFileSystem::Reach(const std::wstring& path, bool followLast) const {
    return ReachKey(Redirected(Key(path)), followLast, 0);
}

std::wstring FakeFileSystem::Redirected(std::wstring key) const {
    if (wow64 && !redirectionOff_) {
        const std::wstring ownSystem = Key(wow64Folder);
        const std::wstring windows = ParentKey(ownSystem);
        const std::wstring system32 = windows + L"\\SYSTEM32";
        const std::wstring sysnative = windows + L"\\SYSNATIVE";
        auto below = [&](const std::wstring& folder) {
            return key == folder || key.starts_with(folder + L"\\");
        };
        if (below(system32)) {
            key = ownSystem + key.substr(system32.size());
        } else if (below(sysnative)) {
            key = system32 + key.substr(sysnative.size());
        }
    }
    return key;
}

std::wstring FakeFileSystem::ReachKey(const std::wstring& key, bool followLast, int depth) const {
    const std::vector<std::wstring> parts = Components(key);
    std::wstring reached = parts.front();
    for (std::size_t i = 1; i < parts.size(); ++i) {
        std::wstring next = reached + L"\\" + parts[i];
        const FakeFile* entry = AtKey(next);
        for (auto it = entries_.begin(); entry == nullptr && it != entries_.end(); ++it) {
            if (!it->second.shortName.empty() && ParentKey(it->first) == reached &&
                UpperCase(it->second.shortName) == parts[i]) {
                next = it->first;
                entry = &it->second;
            }
        }
        if (entry == nullptr) {  // the rest does not exist: it stays as text
            for (std::size_t j = i + 1; j < parts.size(); ++j) {
                next += L"\\" + parts[j];
            }
            return next;
        }
        const bool last = i + 1 == parts.size();
        if (entry->linkTarget && depth < 8 && (!last || followLast || entry->unixLink)) {
            next = ReachKey(Key(*entry->linkTarget), true, depth + 1);
        }
        reached = std::move(next);
    }
    return reached;
}

std::wstring FakeFileSystem::Spelled(const std::wstring& key) const {
    const std::vector<std::wstring> parts = Components(key);
    std::wstring reached = parts.front();
    std::wstring spelled = parts.front();
    for (std::size_t i = 1; i < parts.size(); ++i) {
        reached += L"\\" + parts[i];
        const FakeFile* entry = AtKey(reached);
        spelled += L"\\" + (entry != nullptr ? entry->name : parts[i]);
    }
    return spelled;
}

std::optional<std::uint32_t> FakeFileSystem::FailureFor(const std::wstring& path,
                                                        const std::wstring& key) const {
    if (auto failure = PathFailure(path)) {
        return failure;
    }
    auto it = pathFailures_.find(key);
    return it == pathFailures_.end() ? std::nullopt : std::optional<std::uint32_t>(it->second);
}

void FakeFileSystem::FailPath(const std::wstring& path, std::uint32_t code) {
    pathFailures_[Key(path)] = code;
}

void FakeFileSystem::FailDelete(const std::wstring& path, std::uint32_t code) {
    deleteFailures_[Key(path)] = code;
}

bool FakeFileSystem::Exists(const std::wstring& path) const {
    return Find(path) != nullptr;
}

FakeFile* FakeFileSystem::Find(const std::wstring& path) {
    if (path.empty()) {
        return nullptr;
    }
    auto it = entries_.find(Reach(path, true));
    return it == entries_.end() ? nullptr : &it->second;
}

const FakeFile* FakeFileSystem::Find(const std::wstring& path) const {
    return const_cast<FakeFileSystem*>(this)->Find(path);
}

std::optional<std::uint32_t> FakeFileSystem::PathFailure(const std::wstring& path) const {
    auto it = pathFailures_.find(Key(path));
    if (it == pathFailures_.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::uint32_t FakeFileSystem::MissingPathError(const std::wstring& path) const {
    if (path.empty()) {
        return kErrorPathNotFound;
    }
    const std::wstring parent = ParentKey(Reach(path, true));
    if (parent.empty()) {
        return kErrorFileNotFound;
    }
    auto it = entries_.find(parent);
    return it != entries_.end() && it->second.IsDirectory() ? kErrorFileNotFound
                                                            : kErrorPathNotFound;
}

void FakeFileSystem::Record(const wchar_t* function, const std::wstring& path) {
    calls.push_back(std::wstring(function) + L"(" + path + L")");
}

bool FakeFileSystem::Fail(std::uint32_t code) {
    system_.lastError = code;
    return false;
}

std::uint32_t FakeFileSystem::GetFileAttributesW(const std::wstring& path) {
    Record(L"GetFileAttributesW", path);
    if (auto failure = PathFailure(path)) {
        Fail(*failure);
        return kInvalidFileAttributes;
    }
    const FakeFile* entry = path.empty() ? nullptr : AtKey(Reach(path, false));
    if (entry == nullptr) {
        Fail(MissingPathError(path));
        return kInvalidFileAttributes;
    }
    return entry->attributes;
}

bool FakeFileSystem::GetFileAttributesExW(const std::wstring& path, FileAttributeData& data) {
    Record(L"GetFileAttributesExW", path);
    if (auto failure = PathFailure(path)) {
        return Fail(*failure);
    }
    const FakeFile* entry = path.empty() ? nullptr : AtKey(Reach(path, false));
    if (entry == nullptr) {
        return Fail(MissingPathError(path));
    }
    data.dwFileAttributes = entry->attributes;
    data.ftCreationTime = entry->creation;
    data.ftLastAccessTime = entry->lastAccess;
    data.ftLastWriteTime = entry->lastWrite;
    data.nFileSizeHigh = static_cast<std::uint32_t>(entry->size >> 32);
    data.nFileSizeLow = static_cast<std::uint32_t>(entry->size & 0xFFFFFFFFu);
    return true;
}

bool FakeFileSystem::DeleteFileW(const std::wstring& path) {
    Record(L"DeleteFileW", path);
    deletions.push_back(path);
    if (auto failure = PathFailure(path)) {
        return Fail(*failure);
    }
    if (auto it = deleteFailures_.find(Key(path)); it != deleteFailures_.end()) {
        return Fail(it->second);
    }
    auto it = path.empty() ? entries_.end() : entries_.find(Reach(path, false));
    if (it == entries_.end()) {
        return Fail(MissingPathError(path));
    }
    // Windows refuses folders and read-only files with "access denied".
    if (it->second.IsDirectory() || (it->second.attributes & kFileAttributeReadOnly) != 0) {
        return Fail(kErrorAccessDenied);
    }
    entries_.erase(it);
    return true;
}

FindHandle FakeFileSystem::FindFirstFileW(const std::wstring& pattern, FindData& data) {
    Record(L"FindFirstFileW", pattern);
    searchPatterns.push_back(pattern);
    const auto slash = pattern.find_last_of(L"\\/");
    const std::wstring folder =
        slash == std::wstring::npos ? std::wstring() : pattern.substr(0, slash);
    const std::wstring namePattern =
        slash == std::wstring::npos ? pattern : pattern.substr(slash + 1);
    const std::wstring folderKey = folder.empty() ? std::wstring() : Reach(folder, true);

    if (auto failure = PathFailure(folder.empty() ? pattern : folder)) {
        Fail(*failure);
        return kInvalidFindHandle;
    }
    if (!folderKey.empty()) {
        auto it = entries_.find(folderKey);
        if (it == entries_.end() || !it->second.IsDirectory()) {
            Fail(kErrorPathNotFound);
            return kInvalidFindHandle;
        }
    }
    if (namePattern.empty()) {
        Fail(kErrorFileNotFound);
        return kInvalidFindHandle;
    }

    Search search;
    // Every folder but a drive root lists itself and its parent first.
    if (folderKey.find(L'\\') != std::wstring::npos) {
        for (const wchar_t* dots : {L".", L".."}) {
            if (WildcardMatch(namePattern, dots)) {
                search.results.push_back({kFileAttributeDirectory, dots});
            }
        }
    }
    for (const auto& [key, entry] : entries_) {
        if (ParentKey(key) == folderKey && key != folderKey &&
            WildcardMatch(namePattern, entry.name)) {
            search.results.push_back({entry.attributes, entry.name});
        }
    }
    if (search.results.empty()) {
        Fail(kErrorFileNotFound);
        return kInvalidFindHandle;
    }
    data = search.results[0];
    search.next = 1;
    const FindHandle handle = nextHandle_++;
    searches_.emplace(handle, std::move(search));
    return handle;
}

bool FakeFileSystem::FindNextFileW(FindHandle search, FindData& data) {
    auto it = searches_.find(search);
    if (it == searches_.end()) {
        return Fail(kErrorInvalidHandle);
    }
    Search& state = it->second;
    if (state.next >= state.results.size()) {
        return Fail(kErrorNoMoreFiles);
    }
    data = state.results[state.next++];
    return true;
}

bool FakeFileSystem::FindClose(FindHandle search) {
    if (searches_.erase(search) == 0) {
        return Fail(kErrorInvalidHandle);
    }
    return true;
}

bool FakeFileSystem::GetSystemWindowsDirectoryW(std::wstring& directory) {
    if (windowsFolderFailure) {
        return Fail(*windowsFolderFailure);
    }
    directory = windowsFolder;
    return true;
}

FileHandle FakeFileSystem::Open(const std::wstring& given, const std::wstring& key,
                                std::uint32_t access, std::uint32_t share, bool wantDirectory,
                                bool allowDirectory) {
    if (auto failure = FailureFor(given, key)) {
        Fail(*failure);
        return kInvalidFileHandle;
    }
    const FakeFile* entry = AtKey(key);
    if (entry == nullptr) {
        const FakeFile* parent = AtKey(ParentKey(key));
        Fail(parent != nullptr && parent->IsDirectory() ? kErrorFileNotFound : kErrorPathNotFound);
        return kInvalidFileHandle;
    }
    if (wantDirectory && !entry->IsDirectory()) {
        Fail(kErrorDirectory);
        return kInvalidFileHandle;
    }
    if (entry->IsDirectory() && !allowDirectory) {
        Fail(kErrorAccessDenied);
        return kInvalidFileHandle;
    }
    // A file held without delete sharing refuses an open that asks for deletion.
    if (entry->heldWithoutDeleteSharing && (access & kDeleteAccess) != 0) {
        Fail(kErrorSharingViolation);
        return kInvalidFileHandle;
    }
    const FileHandle handle = nextHandle_++;
    opened_.emplace(handle, OpenFile{key, given, access, false, entry->id, share});
    if (afterOpen) {
        afterOpen(given);
    }
    return handle;
}

FileHandle FakeFileSystem::CreateFileW(const std::wstring& path, std::uint32_t access,
                                       std::uint32_t share, std::uint32_t disposition,
                                       std::uint32_t flags) {
    Record(L"CreateFileW", path);
    openFlags.push_back(flags);
    if (disposition != kOpenExisting || path.empty()) {
        Fail(path.empty() ? kErrorPathNotFound : kErrorInvalidParameter);
        return kInvalidFileHandle;
    }
    // A folder opens only with backup semantics.
    return Open(path, Reach(path, (flags & kFileFlagOpenReparsePoint) == 0), access, share, false,
                (flags & kFileFlagBackupSemantics) != 0);
}

FileHandle FakeFileSystem::NtOpenFile(FileHandle folder, const std::wstring& name,
                                      std::uint32_t access, std::uint32_t share,
                                      std::uint32_t options) {
    OpenFile* parent = nullptr;
    const FakeFile* directory = Opened(folder, &parent);
    const std::wstring given = (parent != nullptr ? parent->path : std::wstring(L"<no folder>")) +
                               (parent != nullptr && parent->path.ends_with(L'\\') ? L"" : L"\\") +
                               name;
    Record(L"NtOpenFile", given);
    if (directory == nullptr || !directory->IsDirectory()) {
        return Fail(kErrorInvalidHandle), kInvalidFileHandle;
    }
    const std::wstring key = ReachKey(Redirected(parent->key + L"\\" + UpperCase(name)),
                                      (options & kFileOpenReparsePoint) == 0, 0);
    return Open(given, key, access, share, (options & kFileDirectoryFile) != 0, true);
}

FakeFile* FakeFileSystem::Opened(FileHandle file, OpenFile** open) {
    auto it = opened_.find(file);
    if (it == opened_.end()) {
        return nullptr;
    }
    if (open != nullptr) {
        *open = &it->second;
    }
    OpenFile& opened = it->second;
    auto at = entries_.find(opened.key);
    if (at == entries_.end() || at->second.id != opened.id) {
        at = std::find_if(entries_.begin(), entries_.end(),
                          [&](const auto& entry) { return entry.second.id == opened.id; });
        if (at == entries_.end()) {
            return nullptr;
        }
        opened.key = at->first;
    }
    return &at->second;
}

bool FakeFileSystem::CloseHandle(FileHandle file) {
    OpenFile* open = nullptr;
    const FakeFile* entry = Opened(file, &open);
    if (open == nullptr) {
        return Fail(kErrorInvalidHandle);
    }
    if (entry != nullptr && open->deleteOnClose) {
        entries_.erase(open->key);
    }
    opened_.erase(file);
    return true;
}

bool FakeFileSystem::GetFileInformationByHandle(FileHandle file, FileHandleInformation& info) {
    const FakeFile* entry = Opened(file);
    if (entry == nullptr) {
        return Fail(kErrorInvalidHandle);
    }
    info.dwFileAttributes = entry->attributes;
    info.ftCreationTime = entry->creation;
    info.ftLastAccessTime = entry->lastAccess;
    info.ftLastWriteTime = entry->lastWrite;
    info.nFileSizeHigh = static_cast<std::uint32_t>(entry->size >> 32);
    info.nFileSizeLow = static_cast<std::uint32_t>(entry->size);
    info.nNumberOfLinks = 1;
    return true;
}

bool FakeFileSystem::GetFinalPathNameByHandleW(FileHandle file, std::uint32_t /*flags*/,
                                               std::wstring& path) {
    OpenFile* open = nullptr;
    if (Opened(file, &open) == nullptr) {
        return Fail(kErrorInvalidHandle);
    }
    const std::wstring spelled = Spelled(open->key);
    path = std::wstring(kLocalPrefix) + spelled + (spelled.size() == 2 ? L"\\" : L"");
    return true;
}

FileHandle FakeFileSystem::ReOpenFile(FileHandle file, std::uint32_t access, std::uint32_t share) {
    OpenFile* open = nullptr;
    const FakeFile* entry = Opened(file, &open);
    if (entry == nullptr) {
        Fail(kErrorInvalidHandle);
        return kInvalidFileHandle;
    }
    // Windows refuses to open a mapped library for writing, as it refuses its deletion.
    if (entry->loaded && (access & kFileWriteData) != 0) {
        Fail(kErrorSharingViolation);
        return kInvalidFileHandle;
    }
    const OpenFile copy = *open;
    return Open(copy.path, copy.key, access, share, false, true);
}

bool FakeFileSystem::ReadFile(FileHandle file, std::uint64_t offset, void* buffer,
                              std::uint32_t size, std::uint32_t& read) {
    OpenFile* open = nullptr;
    const FakeFile* entry = Opened(file, &open);
    if (entry == nullptr) {
        return Fail(kErrorInvalidHandle);
    }
    if ((open->access & kFileReadData) == 0) {
        return Fail(kErrorAccessDenied);
    }
    const std::vector<std::uint8_t> bytes =
        !entry->contents.empty() || !entry->version
            ? entry->contents
            : test::VersionImage(test::VersionBlock(*entry->version));
    read = 0;
    if (offset < bytes.size()) {
        read = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, bytes.size() - offset));
        std::memcpy(buffer, bytes.data() + offset, read);
    }
    return true;
}

bool FakeFileSystem::SetFileBasicInfo(FileHandle file, std::uint32_t attributes) {
    OpenFile* open = nullptr;
    FakeFile* entry = Opened(file, &open);
    if (entry == nullptr) {
        return Fail(kErrorInvalidHandle);
    }
    if ((open->access & kFileWriteAttributes) == 0) {
        return Fail(kErrorAccessDenied);
    }
    constexpr std::uint32_t kSettable = 0x31A7;
    entry->attributes = (entry->attributes & ~kSettable) | (attributes & kSettable);
    return true;
}

bool FakeFileSystem::Wow64DisableWow64FsRedirection(std::uintptr_t& previous) {
    if (!wow64) {
        return Fail(kErrorInvalidFunction);
    }
    previous = redirectionOff_ ? 1 : 0;
    redirectionOff_ = true;
    return true;
}

bool FakeFileSystem::Wow64RevertWow64FsRedirection(std::uintptr_t previous) {
    if (!wow64) {
        return Fail(kErrorInvalidFunction);
    }
    redirectionOff_ = previous != 0;
    return true;
}

bool FakeFileSystem::SetFileDispositionInfo(FileHandle file, bool deleteFile) {
    OpenFile* opened = nullptr;
    const FakeFile* entry = Opened(file, &opened);
    if (entry == nullptr) {
        return Fail(kErrorInvalidHandle);
    }
    OpenFile& open = *opened;
    if (deleteFile) {
        deletions.push_back(open.path);
    }
    if ((open.access & kDeleteAccess) == 0) {
        return Fail(kErrorAccessDenied);
    }
    for (const std::wstring& key : {Key(open.path), open.key}) {
        if (auto failure = deleteFailures_.find(key); failure != deleteFailures_.end()) {
            return Fail(failure->second);
        }
    }
    // A loaded library and a read-only file refuse deletion with "access denied".
    if (deleteFile && (entry->loaded || (entry->attributes & kFileAttributeReadOnly) != 0)) {
        return Fail(kErrorAccessDenied);
    }
    open.deleteOnClose = deleteFile;
    return true;
}

bool FakeFileSystem::MoveFileExW(const std::wstring& existing, const std::wstring* newName,
                                 std::uint32_t flags) {
    Record(L"MoveFileExW", existing);
    if (moveFailure) {
        return Fail(*moveFailure);
    }
    if (newName != nullptr || (flags & kMoveFileDelayUntilReboot) == 0) {
        return Fail(kErrorInvalidParameter);  // only deletions at the restart are modelled
    }
    pendingAtRestart.push_back(existing);
    return true;
}

bool FakeFileSystem::GetFullPathNameW(const std::wstring& path, std::wstring& fullPath) {
    Record(L"GetFullPathNameW", path);
    if (path.empty()) {
        return Fail(kErrorInvalidParameter);
    }
    std::wstring text = path;
    std::replace(text.begin(), text.end(), L'/', L'\\');
    if (text.starts_with(kLocalPrefix) || text.starts_with(L"\\\\")) {
        fullPath = text;  // UNC and \\?\ paths are taken as they are
        return true;
    }
    // The current folder is C:\.
    if (text.size() >= 2 && text[1] == L':') {
        text = text.substr(0, 2) + L"\\" + text.substr(2);
    } else if (text.starts_with(L"\\")) {
        text = L"C:" + text;
    } else {
        text = L"C:\\" + text;
    }
    fullPath = Normalized(text);
    return true;
}

bool FakeFileSystem::GetLongPathNameW(const std::wstring& path, std::wstring& longPath) {
    Record(L"GetLongPathNameW", path);
    if (path.empty() || Find(path) == nullptr) {
        return Fail(MissingPathError(path));
    }
    const std::vector<std::wstring> parts = Components(Normalized(path));
    std::wstring expanded = parts.front();
    for (std::size_t i = 1; i < parts.size(); ++i) {
        std::wstring component = parts[i];
        const std::wstring folder = Reach(expanded, true);
        for (const auto& [key, entry] : entries_) {
            if (!entry.shortName.empty() && ParentKey(key) == folder &&
                UpperCase(entry.shortName) == UpperCase(component)) {
                component = entry.name;
            }
        }
        expanded += L"\\" + component;
    }
    longPath = expanded;
    return true;
}

bool FakeFileSystem::IsWow64Process(bool& wow64Process) {
    wow64Process = wow64;
    return true;
}

bool FakeFileSystem::GetSystemWow64DirectoryW(std::wstring& directory) {
    directory = wow64Folder;
    return true;
}

bool FakeFileSystem::EqualOrdinal(std::wstring_view a, std::wstring_view b, bool ignoreCase) {
    return ignoreCase ? UpperCase(a) == UpperCase(b) : a == b;
}

}  // namespace hf::fake

namespace hf::fake {

namespace {

constexpr wchar_t kSystemSid[] = L"S-1-5-18";
constexpr wchar_t kAdministratorsSid[] = L"S-1-5-32-544";
constexpr wchar_t kTrustedInstallerSid[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr wchar_t kUsersSid[] = L"S-1-5-32-545";
constexpr std::uint32_t kFullControl = 0x001F01FF;
constexpr std::uint32_t kReadAndExecute = 0x001200A9;

}  // namespace

ObjectSecurity FakeFileSystem::TrustedSecurity() {
    ObjectSecurity security;
    security.owner = kSystemSid;
    security.hasDacl = true;
    for (const wchar_t* sid : {kSystemSid, kAdministratorsSid, kTrustedInstallerSid}) {
        security.dacl.push_back({kAccessAllowedAceType, 0, kFullControl, sid});
    }
    security.dacl.push_back({kAccessAllowedAceType, 0, kReadAndExecute, kUsersSid});
    return security;
}

void FakeFileSystem::SetSecurity(const std::wstring& path, ObjectSecurity security) {
    security_[Key(path)] = std::move(security);
}

std::uint32_t FakeFileSystem::GetDriveTypeW(const std::wstring& rootPath) {
    Record(L"GetDriveTypeW", rootPath);
    if (rootPath.size() != 3 || rootPath[1] != L':' || rootPath[2] != L'\\') {
        return kDriveNoRootDir;
    }
    const auto it = driveTypes.find(UpperCase(rootPath.substr(0, 1))[0]);
    return it == driveTypes.end() ? kDriveFixed : it->second;
}

bool FakeFileSystem::SetFileRenameInfo(FileHandle file, const std::wstring& newPath) {
    OpenFile* open = nullptr;
    if (Opened(file, &open) == nullptr) {
        return Fail(kErrorInvalidHandle);
    }
    if ((open->access & kDeleteAccess) == 0) {
        return Fail(kErrorAccessDenied);
    }
    if (renameFailure) {
        return Fail(*renameFailure);
    }
    const std::wstring target = Reach(newPath, false);
    const FakeFile* folder = AtKey(ParentKey(target));
    if (folder == nullptr || !folder->IsDirectory()) {
        return Fail(kErrorPathNotFound);
    }
    if (AtKey(target) != nullptr) {
        return Fail(kErrorAlreadyExists);
    }
    FakeFile moved = entries_.at(open->key);
    const auto slash = newPath.find_last_of(L"\\/");
    moved.name = slash == std::wstring::npos ? newPath : newPath.substr(slash + 1);
    moved.shortName.clear();
    entries_.erase(open->key);
    entries_.emplace(target, std::move(moved));
    open->key = target;
    return true;
}

bool FakeFileSystem::GetShortPathNameW(const std::wstring& path, std::wstring& shortPath) {
    Record(L"GetShortPathNameW", path);
    const std::wstring key = Reach(path, true);
    if (AtKey(key) == nullptr) {
        return Fail(MissingPathError(path));
    }
    const std::vector<std::wstring> parts = Components(key);
    std::wstring reached = parts.front();
    shortPath = Spelled(parts.front());
    for (std::size_t i = 1; i < parts.size(); ++i) {
        reached += L"\\" + parts[i];
        const FakeFile* entry = AtKey(reached);
        shortPath += L"\\" + (!entry->shortName.empty() ? entry->shortName : entry->name);
    }
    return true;
}

std::uint32_t FakeFileSystem::GetSecurityInfo(FileHandle file, ObjectSecurity& security) {
    OpenFile* open = nullptr;
    if (Opened(file, &open) == nullptr) {
        return kErrorInvalidHandle;
    }
    const auto it = opened_.find(file);
    if ((it->second.access & kReadControl) == 0) {
        return kErrorAccessDenied;
    }
    if (securityFailure) {
        return *securityFailure;
    }
    const auto found = security_.find(it->second.key);
    security = found == security_.end() ? TrustedSecurity() : found->second;
    return 0;
}

bool FakeFileSystem::RtlGenRandom(void* buffer, std::uint32_t size) {
    if (randomFails) {
        return false;
    }
    const std::uint64_t value =
        randomUsed_ < randomValues.size()
            ? randomValues[randomUsed_]
            : static_cast<std::uint64_t>(randomUsed_ - randomValues.size() + 1) *
                  0x9E3779B97F4A7C15u;
    ++randomUsed_;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    for (std::uint32_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * (i % 8)));
    }
    return true;
}

}  // namespace hf::fake
