#include "tests/fakes/FakeFileSystem.h"

#include "platform/Text.h"

#include <algorithm>

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

std::wstring FakeFileSystem::Key(const std::wstring& path) {
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
    if (!parent.empty() && !Exists(parent)) {
        AddDirectory(parent);
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
    return entry;
}

FakeFile& FakeFileSystem::AddFile(const std::wstring& path) {
    const std::wstring key = Key(path);
    const std::wstring parent = ParentKey(key);
    if (!parent.empty() && !Exists(parent)) {
        AddDirectory(parent);
    }
    FakeFile& entry = entries_[key];
    entry = FakeFile{};
    const auto slash = path.find_last_of(L"\\/");
    entry.name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    return entry;
}

FakeFile& FakeFileSystem::AddFile(const std::wstring& path, const FakeVersionResource& version) {
    FakeFile& entry = AddFile(path);
    entry.version = version;
    return entry;
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
    auto it = entries_.find(Key(path));
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
    const std::wstring parent = ParentKey(Key(path));
    if (parent.empty()) {
        return kErrorFileNotFound;
    }
    auto it = entries_.find(parent);
    return it != entries_.end() && it->second.IsDirectory() ? kErrorFileNotFound
                                                            : kErrorPathNotFound;
}

bool FakeFileSystem::Fail(std::uint32_t code) {
    system_.lastError = code;
    return false;
}

std::uint32_t FakeFileSystem::GetFileAttributesW(const std::wstring& path) {
    if (auto failure = PathFailure(path)) {
        Fail(*failure);
        return kInvalidFileAttributes;
    }
    const FakeFile* entry = Find(path);
    if (entry == nullptr) {
        Fail(MissingPathError(path));
        return kInvalidFileAttributes;
    }
    return entry->attributes;
}

bool FakeFileSystem::GetFileAttributesExW(const std::wstring& path, FileAttributeData& data) {
    if (auto failure = PathFailure(path)) {
        return Fail(*failure);
    }
    const FakeFile* entry = Find(path);
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
    deletions.push_back(path);
    if (auto failure = PathFailure(path)) {
        return Fail(*failure);
    }
    if (auto it = deleteFailures_.find(Key(path)); it != deleteFailures_.end()) {
        return Fail(it->second);
    }
    auto it = path.empty() ? entries_.end() : entries_.find(Key(path));
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
    searchPatterns.push_back(pattern);
    const auto slash = pattern.find_last_of(L"\\/");
    const std::wstring folder =
        slash == std::wstring::npos ? std::wstring() : pattern.substr(0, slash);
    const std::wstring namePattern =
        slash == std::wstring::npos ? pattern : pattern.substr(slash + 1);
    const std::wstring folderKey = folder.empty() ? std::wstring() : Key(folder);

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

std::int32_t FakeFileSystem::SHGetFolderPathW(int csidl, std::uint32_t flags,
                                              std::wstring& buffer) {
    folderRequests.push_back({csidl, flags});
    buffer.assign(kMaxPathBuffer, L'\0');
    std::copy_n(shellFolderPath.begin(), std::min(shellFolderPath.size(), kMaxPathBuffer),
                buffer.begin());
    return shellFolderResult;
}

}  // namespace hf::fake
