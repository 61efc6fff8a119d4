#include "platform/WhatIf.h"

#include "platform/System.h"
#include "platform/Text.h"

#include <string_view>
#include <utility>

namespace hf {

namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorAccessDenied = 5;
constexpr std::uint32_t kErrorSharingViolation = 32;
constexpr std::uint32_t kFinalPathDosName = 0;  // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS
constexpr std::wstring_view kLocalPrefix = L"\\\\?\\";

std::wstring WithoutLongPrefix(std::wstring_view path) {
    if (path.starts_with(kLocalPrefix)) {
        path.remove_prefix(kLocalPrefix.size());
    }
    while (path.size() > 3 && path.ends_with(L'\\')) {
        path.remove_suffix(1);
    }
    return std::wstring(path);
}

std::wstring Joined(const std::wstring& folder, const std::wstring& name) {
    return folder.ends_with(L'\\') ? folder + name : folder + L"\\" + name;
}

}  // namespace

// ---- files ----

bool WhatIfFileApi::Fail(std::uint32_t error) {
    system_.SetLastError(error);
    return false;
}

bool WhatIfFileApi::IsGone(const std::wstring& path) const {
    return gone_.count(UpperCase(WithoutLongPrefix(path))) != 0;
}

FileHandle WhatIfFileApi::Track(FileHandle file, std::wstring path, std::uint32_t access) {
    if (file != kInvalidFileHandle) {
        opens_[file] = Open{std::move(path), access};
    }
    return file;
}

bool WhatIfFileApi::DeleteFileW(const std::wstring& path) {
    const std::uint32_t attributes = inner_.GetFileAttributesW(path);
    if (IsGone(path) || attributes == kInvalidFileAttributes) {
        return Fail(kErrorFileNotFound);
    }
    if ((attributes & (kFileAttributeDirectory | kFileAttributeReadOnly)) != 0) {
        return Fail(kErrorAccessDenied);
    }
    gone_.insert(UpperCase(WithoutLongPrefix(path)));
    return true;
}

FileHandle WhatIfFileApi::CreateFileW(const std::wstring& path, std::uint32_t access,
                                      std::uint32_t share, std::uint32_t disposition,
                                      std::uint32_t flags) {
    if (IsGone(path)) {
        Fail(kErrorFileNotFound);
        return kInvalidFileHandle;
    }
    return Track(inner_.CreateFileW(path, access, share, disposition, flags), path, access);
}

FileHandle WhatIfFileApi::NtOpenFile(FileHandle folder, const std::wstring& name,
                                     std::uint32_t access, std::uint32_t share,
                                     std::uint32_t options) {
    const auto parent = opens_.find(folder);
    const std::wstring path = parent != opens_.end() ? Joined(parent->second.path, name) : name;
    if (IsGone(path)) {
        Fail(kErrorFileNotFound);
        return kInvalidFileHandle;
    }
    // A file renamed in this run is opened under the name it still has.
    std::wstring real = name;
    if (const auto it = renamed_.find(UpperCase(path)); it != renamed_.end()) {
        real = it->second.substr(it->second.rfind(L'\\') + 1);
    }
    return Track(inner_.NtOpenFile(folder, real, access, share, options), path, access);
}

bool WhatIfFileApi::CloseHandle(FileHandle file) {
    opens_.erase(file);
    return inner_.CloseHandle(file);
}

bool WhatIfFileApi::GetFileInformationByHandle(FileHandle file, FileHandleInformation& info) {
    if (!inner_.GetFileInformationByHandle(file, info)) {
        return false;
    }
    if (const auto it = opens_.find(file); it != opens_.end() && it->second.attributesSet) {
        info.dwFileAttributes = it->second.attributes;
    }
    return true;
}

bool WhatIfFileApi::GetFinalPathNameByHandleW(FileHandle file, std::uint32_t flags,
                                              std::wstring& path) {
    const auto it = opens_.find(file);
    if (it != opens_.end() && it->second.renamed) {
        path = std::wstring(kLocalPrefix) + it->second.path;
        return true;
    }
    if (!inner_.GetFinalPathNameByHandleW(file, flags, path)) {
        return false;
    }
    if (it != opens_.end() && flags == kFinalPathDosName) {
        it->second.path = WithoutLongPrefix(path);
    }
    return true;
}

bool WhatIfFileApi::SetFileBasicInfo(FileHandle file, std::uint32_t attributes) {
    const auto it = opens_.find(file);
    if (it == opens_.end() || (it->second.access & kFileWriteAttributes) == 0) {
        return Fail(kErrorAccessDenied);
    }
    it->second.attributes = attributes;
    it->second.attributesSet = true;
    return true;
}

bool WhatIfFileApi::SetFileDispositionInfo(FileHandle file, bool deleteFile) {
    const auto it = opens_.find(file);
    FileHandleInformation info;
    if (it == opens_.end() || (it->second.access & kDeleteAccess) == 0 ||
        !GetFileInformationByHandle(file, info)) {
        return Fail(kErrorAccessDenied);
    }
    if (!deleteFile) {
        return true;
    }
    if ((info.dwFileAttributes & kFileAttributeReadOnly) != 0) {
        return Fail(kErrorAccessDenied);
    }
    // A library in use: Windows refuses to open it for writing as it refuses its deletion.
    const FileHandle probe = inner_.ReOpenFile(file, kFileWriteData, kFileShareAll);
    if (probe == kInvalidFileHandle) {
        if (system_.GetLastError() == kErrorSharingViolation) {
            return Fail(kErrorAccessDenied);
        }
    } else {
        inner_.CloseHandle(probe);
    }
    gone_.insert(UpperCase(it->second.path));
    return true;
}

bool WhatIfFileApi::SetFileRenameInfo(FileHandle file, const std::wstring& newPath) {
    const auto it = opens_.find(file);
    if (it == opens_.end() || (it->second.access & kDeleteAccess) == 0) {
        return Fail(kErrorAccessDenied);
    }
    if (!IsGone(newPath) && (renamed_.count(UpperCase(newPath)) != 0 ||
                             inner_.GetFileAttributesW(newPath) != kInvalidFileAttributes)) {
        return Fail(kErrorAlreadyExists);
    }
    const std::wstring old = it->second.path;
    gone_.insert(UpperCase(old));
    gone_.erase(UpperCase(newPath));
    renamed_[UpperCase(newPath)] = old;
    it->second.path = WithoutLongPrefix(newPath);
    it->second.renamed = true;
    return true;
}

bool WhatIfFileApi::MoveFileExW(const std::wstring&, const std::wstring*, std::uint32_t) {
    return true;
}

// ---- registry ----

std::wstring WhatIfRegistryApi::PathOf(HKey key, const std::wstring& subKey) const {
    std::wstring path;
    if (key == kHKeyLocalMachine) {
        path = L"HKLM";
    } else if (const auto it = paths_.find(key); it != paths_.end()) {
        path = it->second;
    }
    std::wstring_view rest = subKey;
    while (rest.starts_with(L'\\')) {
        rest.remove_prefix(1);
    }
    while (rest.ends_with(L'\\')) {
        rest.remove_suffix(1);
    }
    if (!rest.empty()) {
        path += L'\\';
        path += rest;
    }
    return UpperCase(path);
}

bool WhatIfRegistryApi::IsGone(const std::wstring& path) const {
    // The key, or one above it.
    std::wstring_view key = path;
    while (!goneKeys_.empty()) {
        if (goneKeys_.count(std::wstring(key)) != 0) {
            return true;
        }
        const std::size_t separator = key.rfind(L'\\');
        if (separator == std::wstring_view::npos) {
            break;
        }
        key = key.substr(0, separator);
    }
    return false;
}

LStatus WhatIfRegistryApi::RegOpenKeyExW(HKey parent, const std::wstring& subKey,
                                         std::uint32_t options, std::uint32_t access,
                                         HKey& result) {
    const std::wstring path = PathOf(parent, subKey);
    if (IsGone(path)) {
        return reg::kErrorFileNotFound;
    }
    const LStatus status = inner_.RegOpenKeyExW(parent, subKey, options, access, result);
    if (status == reg::kSuccess) {
        paths_[result] = path;
    }
    return status;
}

const std::vector<std::wstring>& WhatIfRegistryApi::Remaining(HKey key, bool values) {
    const auto cached = remaining_.find({key, values});
    if (cached != remaining_.end()) {
        return cached->second;
    }
    std::vector<std::wstring>& names = remaining_[{key, values}];
    RegKeyInfo info;
    if (inner_.RegQueryInfoKeyW(key, info) != reg::kSuccess) {
        return names;
    }
    const std::wstring path = PathOf(key, L"");
    const std::uint32_t count = values ? info.values : info.subKeys;
    const std::uint32_t capacity = (values ? info.maxValueNameLen : info.maxSubKeyLen) + 1;
    for (std::uint32_t index = 0; index < count; ++index) {
        std::wstring name;
        const LStatus status = values ? inner_.RegEnumValueW(key, index, capacity, name)
                                      : inner_.RegEnumKeyExW(key, index, capacity, name);
        const bool gone = values ? goneValues_.count(path + L"\n" + UpperCase(name)) != 0
                                 : goneKeys_.count(path + L"\\" + UpperCase(name)) != 0;
        if (status == reg::kSuccess && !gone) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

LStatus WhatIfRegistryApi::RegQueryInfoKeyW(HKey key, RegKeyInfo& info) {
    if (IsGone(PathOf(key, L""))) {
        return reg::kErrorKeyDeleted;
    }
    const LStatus status = inner_.RegQueryInfoKeyW(key, info);
    if (status == reg::kSuccess && (!goneKeys_.empty() || !goneValues_.empty())) {
        info.subKeys = static_cast<std::uint32_t>(Remaining(key, false).size());
        info.values = static_cast<std::uint32_t>(Remaining(key, true).size());
    }
    return status;
}

LStatus WhatIfRegistryApi::EnumRemaining(HKey key, bool values, std::uint32_t index,
                                         std::uint32_t capacity, std::wstring& name) {
    const std::vector<std::wstring>& names = Remaining(key, values);
    if (index >= names.size()) {
        return reg::kErrorNoMoreItems;
    }
    if (names[index].size() + 1 > capacity) {
        return reg::kErrorMoreData;
    }
    name = names[index];
    return reg::kSuccess;
}

LStatus WhatIfRegistryApi::RegEnumKeyExW(HKey key, std::uint32_t index, std::uint32_t capacity,
                                         std::wstring& name) {
    return goneKeys_.empty() ? inner_.RegEnumKeyExW(key, index, capacity, name)
                             : EnumRemaining(key, false, index, capacity, name);
}

LStatus WhatIfRegistryApi::RegEnumValueW(HKey key, std::uint32_t index, std::uint32_t capacity,
                                         std::wstring& name) {
    return goneValues_.empty() ? inner_.RegEnumValueW(key, index, capacity, name)
                               : EnumRemaining(key, true, index, capacity, name);
}

LStatus WhatIfRegistryApi::RegQueryValueExW(HKey key, const std::wstring& name, std::uint32_t* type,
                                            std::uint8_t* data, std::uint32_t* size) {
    const std::wstring path = PathOf(key, L"");
    if (IsGone(path)) {
        return reg::kErrorKeyDeleted;
    }
    if (goneValues_.count(path + L"\n" + UpperCase(name)) != 0) {
        return reg::kErrorFileNotFound;
    }
    return inner_.RegQueryValueExW(key, name, type, data, size);
}

LStatus WhatIfRegistryApi::DeleteKeyAt(const std::wstring& path, HKey key) {
    RegKeyInfo info;
    const LStatus status = RegQueryInfoKeyW(key, info);
    if (status != reg::kSuccess) {
        return status;
    }
    if (info.subKeys != 0) {
        return reg::kErrorAccessDenied;  // a key with subkeys is not deleted
    }
    goneKeys_.insert(path);
    remaining_.clear();
    return reg::kSuccess;
}

LStatus WhatIfRegistryApi::RegDeleteKeyW(HKey parent, const std::wstring& subKey) {
    const std::wstring path = PathOf(parent, subKey);
    HKey key = 0;
    const LStatus opened = RegOpenKeyExW(parent, subKey, 0, reg::kKeyRead, key);
    if (opened != reg::kSuccess) {
        return opened;
    }
    const LStatus status = DeleteKeyAt(path, key);
    RegCloseKey(key);
    return status;
}

LStatus WhatIfRegistryApi::NtDeleteKey(HKey key) {
    return DeleteKeyAt(PathOf(key, L""), key);
}

LStatus WhatIfRegistryApi::RegDeleteValueW(HKey key, const std::wstring& name) {
    std::uint32_t size = 0;
    const LStatus status = RegQueryValueExW(key, name, nullptr, nullptr, &size);
    if (status != reg::kSuccess) {
        return status;
    }
    goneValues_.insert(PathOf(key, L"") + L"\n" + UpperCase(name));
    remaining_.clear();
    return reg::kSuccess;
}

LStatus WhatIfRegistryApi::RegCloseKey(HKey key) {
    paths_.erase(key);
    remaining_.erase({key, false});
    remaining_.erase({key, true});
    return inner_.RegCloseKey(key);
}

// ---- services ----

bool WhatIfServiceApi::Fail(std::uint32_t error) {
    system_.SetLastError(error);
    return false;
}

WhatIfServiceApi::State* WhatIfServiceApi::StateOf(ScHandle service) {
    const auto it = names_.find(service);
    return it == names_.end() ? nullptr : &states_[it->second];
}

ScHandle WhatIfServiceApi::OpenServiceW(ScHandle manager, const std::wstring& name,
                                        std::uint32_t access) {
    const std::wstring key = UpperCase(name);
    if (const auto it = states_.find(key); it != states_.end() && it->second.gone) {
        Fail(svc::kErrorServiceDoesNotExist);
        return 0;
    }
    const ScHandle service = inner_.OpenServiceW(manager, name, access);
    if (service != 0) {
        names_[service] = key;
        ++states_[key].handles;
    }
    return service;
}

bool WhatIfServiceApi::QueryServiceStatus(ScHandle service, ServiceStatus& status) {
    if (!inner_.QueryServiceStatus(service, status)) {
        return false;
    }
    if (const State* state = StateOf(service); state != nullptr && state->stopped) {
        status.dwCurrentState = svc::kStopped;
        status.dwCheckPoint = 0;
        status.dwWaitHint = 0;
    }
    return true;
}

bool WhatIfServiceApi::ControlService(ScHandle service, std::uint32_t control,
                                      ServiceStatus& status) {
    if (control != svc::kControlStop) {
        return inner_.ControlService(service, control, status);
    }
    State* state = StateOf(service);
    if (state == nullptr || !QueryServiceStatus(service, status)) {
        return false;
    }
    // As the manager answers a stop it would refuse.
    if (status.dwCurrentState == svc::kStopped) {
        return Fail(svc::kErrorServiceNotActive);
    }
    if (status.dwCurrentState != svc::kRunning) {
        return Fail(svc::kErrorServiceCannotAcceptCtrl);
    }
    if ((status.dwControlsAccepted & svc::kAcceptStop) == 0) {
        return Fail(svc::kErrorInvalidServiceControl);
    }
    state->stopped = true;
    status.dwCurrentState = svc::kStopped;
    status.dwCheckPoint = 0;
    status.dwWaitHint = 0;
    return true;
}

bool WhatIfServiceApi::DeleteService(ScHandle service) {
    State* state = StateOf(service);
    if (state == nullptr) {
        return Fail(svc::kErrorInvalidHandle);
    }
    if (state->marked) {
        return Fail(svc::kErrorServiceMarkedForDelete);
    }
    state->marked = true;
    return true;
}

bool WhatIfServiceApi::ChangeServiceConfigW(ScHandle service, std::uint32_t) {
    const State* state = StateOf(service);
    if (state == nullptr) {
        return Fail(svc::kErrorInvalidHandle);
    }
    return state->marked ? Fail(svc::kErrorServiceMarkedForDelete) : true;
}

bool WhatIfServiceApi::CloseServiceHandle(ScHandle handle) {
    if (State* state = StateOf(handle)) {
        // A service marked for deletion goes once it is stopped and its last handle closed.
        ServiceStatus status;
        const bool stopped = state->stopped || (inner_.QueryServiceStatus(handle, status) &&
                                                status.dwCurrentState == svc::kStopped);
        if (--state->handles == 0 && state->marked && stopped) {
            state->gone = true;
        }
        names_.erase(handle);
    }
    return inner_.CloseServiceHandle(handle);
}

// ---- process start ----

bool WhatIfShellApi::CreateProcessW(const std::wstring&, const std::wstring&, const std::wstring&,
                                    int) {
    system_.SetLastError(kErrorAccessDenied);
    return false;
}

// ---- the platform ----

WhatIfPlatform::WhatIfPlatform(const Platform& inner)
    : files_(inner.Files(), inner.System()),
      registry_(inner.Registry()),
      services_(inner.Services(), inner.System()),
      shell_(inner.Shell(), inner.System()),
      platform_(inner) {
    platform_.files = &files_;
    platform_.registry = &registry_;
    platform_.services = &services_;
    platform_.shell = &shell_;
}

}  // namespace hf
