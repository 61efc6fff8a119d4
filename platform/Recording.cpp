#include "platform/Recording.h"

#include <string_view>
#include <utility>

namespace hf {

namespace {

constexpr std::uint32_t kFinalPathDosName = 0;  // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS

// "\\?\C:\x" -> "C:\x", "\\?\UNC\server\share" -> "\\server\share"; anything else as it is.
std::wstring WithoutLongPrefix(const std::wstring& path) {
    constexpr std::wstring_view kUnc = L"\\\\?\\UNC\\";
    constexpr std::wstring_view kLocal = L"\\\\?\\";
    const std::wstring_view view = path;
    if (view.starts_with(kUnc)) {
        return L"\\\\" + path.substr(kUnc.size());
    }
    if (view.starts_with(kLocal)) {
        return path.substr(kLocal.size());
    }
    return path;
}

std::wstring WithoutTrailingBackslashes(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') {
        path.pop_back();
    }
    return path;
}

}  // namespace

void ChangeLog::Note(std::wstring kind, std::wstring object) {
    changes_.push_back({std::move(kind), std::move(object)});
    if (onChange) {
        onChange(changes_.back());
    }
}

// ---- files ----

std::wstring RecordingFileApi::PathOf(FileHandle file) const {
    const auto it = paths_.find(file);
    return it != paths_.end() ? it->second : L"<a file handle opened elsewhere>";
}

bool RecordingFileApi::DeleteFileW(const std::wstring& path) {
    const bool ok = inner_.DeleteFileW(path);
    if (ok) {
        log_.Note(L"deleted", path);
    }
    return ok;
}

FileHandle RecordingFileApi::CreateFileW(const std::wstring& path, std::uint32_t access,
                                         std::uint32_t share, std::uint32_t disposition,
                                         std::uint32_t flags) {
    const FileHandle file = inner_.CreateFileW(path, access, share, disposition, flags);
    if (file != kInvalidFileHandle) {
        paths_[file] = path;
    }
    return file;
}

FileHandle RecordingFileApi::NtOpenFile(FileHandle folder, const std::wstring& name,
                                        std::uint32_t access, std::uint32_t share,
                                        std::uint32_t options) {
    const FileHandle file = inner_.NtOpenFile(folder, name, access, share, options);
    if (file != kInvalidFileHandle) {
        paths_[file] = WithoutTrailingBackslashes(PathOf(folder)) + L"\\" + name;
    }
    return file;
}

bool RecordingFileApi::CloseHandle(FileHandle file) {
    paths_.erase(file);
    return inner_.CloseHandle(file);
}

bool RecordingFileApi::GetFinalPathNameByHandleW(FileHandle file, std::uint32_t flags,
                                                 std::wstring& path) {
    const bool ok = inner_.GetFinalPathNameByHandleW(file, flags, path);
    // The system's own name for the open file is what a later deletion through it removes.
    if (ok && flags == kFinalPathDosName && !path.empty()) {
        if (auto it = paths_.find(file); it != paths_.end()) {
            it->second = WithoutLongPrefix(path);
        }
    }
    return ok;
}

bool RecordingFileApi::SetFileDispositionInfo(FileHandle file, bool deleteFile) {
    const bool ok = inner_.SetFileDispositionInfo(file, deleteFile);
    if (ok && deleteFile) {
        log_.Note(L"deleted", PathOf(file));
    }
    return ok;
}

bool RecordingFileApi::SetFileRenameInfo(FileHandle file, const std::wstring& newPath) {
    const bool ok = inner_.SetFileRenameInfo(file, newPath);
    if (ok) {
        // The handle now names the file by its new name, which a later record of it uses.
        log_.Note(L"renamed", PathOf(file) + L" -> " + newPath);
        if (auto it = paths_.find(file); it != paths_.end()) {
            it->second = newPath;
        }
    }
    return ok;
}

bool RecordingFileApi::MoveFileExW(const std::wstring& existing, const std::wstring* newName,
                                   std::uint32_t flags) {
    const bool ok = inner_.MoveFileExW(existing, newName, flags);
    if (ok) {
        if ((flags & kMoveFileDelayUntilReboot) != 0) {
            log_.Note(L"pending-restart",
                      newName == nullptr ? existing : existing + L" -> " + *newName);
        } else {
            log_.Note(L"moved", existing + L" -> " + (newName == nullptr ? L"" : *newName));
        }
    }
    return ok;
}

// ---- registry ----

std::wstring RecordingRegistryApi::PathOf(HKey key, const std::wstring& subKey) const {
    std::wstring path;
    if (key == kHKeyLocalMachine) {
        path = L"HKLM";
    } else if (auto it = paths_.find(key); it != paths_.end()) {
        path = it->second;
    } else {
        path = L"<a key opened elsewhere>";
    }
    std::wstring_view rest = subKey;
    while (rest.starts_with(L'\\')) {
        rest.remove_prefix(1);
    }
    if (!rest.empty()) {
        path += L'\\';
        path += rest;
    }
    return WithoutTrailingBackslashes(std::move(path));
}

LStatus RecordingRegistryApi::RegOpenKeyExW(HKey parent, const std::wstring& subKey,
                                            std::uint32_t options, std::uint32_t access,
                                            HKey& result) {
    const LStatus status = inner_.RegOpenKeyExW(parent, subKey, options, access, result);
    if (status == reg::kSuccess) {
        paths_[result] = PathOf(parent, subKey);
    }
    return status;
}

LStatus RecordingRegistryApi::RegDeleteKeyW(HKey parent, const std::wstring& subKey) {
    const LStatus status = inner_.RegDeleteKeyW(parent, subKey);
    if (status == reg::kSuccess) {
        log_.Note(L"key-deleted", PathOf(parent, subKey));
    }
    return status;
}

LStatus RecordingRegistryApi::RegDeleteValueW(HKey key, const std::wstring& name) {
    const LStatus status = inner_.RegDeleteValueW(key, name);
    if (status == reg::kSuccess) {
        log_.Note(L"value-deleted", PathOf(key, L"") + L"\\" + name);
    }
    return status;
}

LStatus RecordingRegistryApi::NtDeleteKey(HKey key) {
    const LStatus status = inner_.NtDeleteKey(key);
    if (status == reg::kSuccess) {
        log_.Note(L"key-deleted", PathOf(key, L""));
    }
    return status;
}

LStatus RecordingRegistryApi::RegCloseKey(HKey key) {
    paths_.erase(key);
    return inner_.RegCloseKey(key);
}

// ---- services ----

ScHandle RecordingServiceApi::OpenServiceW(ScHandle manager, const std::wstring& name,
                                           std::uint32_t access) {
    const ScHandle service = inner_.OpenServiceW(manager, name, access);
    if (service != 0) {
        services_[service] = OpenService{name};
    }
    return service;
}

void RecordingServiceApi::SawStatus(ScHandle service, const ServiceStatus& status) {
    const auto it = services_.find(service);
    if (it != services_.end() && it->second.stopAccepted && !it->second.stoppedSeen &&
        status.dwCurrentState == svc::kStopped) {
        it->second.stoppedSeen = true;
        log_.Note(L"service-stopped", it->second.name);
    }
}

bool RecordingServiceApi::ControlService(ScHandle service, std::uint32_t control,
                                         ServiceStatus& status) {
    const bool ok = inner_.ControlService(service, control, status);
    if (ok && control == svc::kControlStop) {
        if (auto it = services_.find(service); it != services_.end()) {
            it->second.stopAccepted = true;
        }
        SawStatus(service, status);
    }
    return ok;
}

bool RecordingServiceApi::QueryServiceStatus(ScHandle service, ServiceStatus& status) {
    const bool ok = inner_.QueryServiceStatus(service, status);
    if (ok) {
        SawStatus(service, status);
    }
    return ok;
}

bool RecordingServiceApi::DeleteService(ScHandle service) {
    const bool ok = inner_.DeleteService(service);
    if (ok) {
        const auto it = services_.find(service);
        log_.Note(L"service-deleted",
                  it != services_.end() ? it->second.name : L"<a service opened elsewhere>");
    }
    return ok;
}

bool RecordingServiceApi::ChangeServiceConfigW(ScHandle service, std::uint32_t startType) {
    const bool ok = inner_.ChangeServiceConfigW(service, startType);
    if (ok && startType != svc::kNoChange) {
        const auto it = services_.find(service);
        log_.Note(startType == svc::kDisabled ? L"service-disabled" : L"service-start-changed",
                  it != services_.end() ? it->second.name : L"<a service opened elsewhere>");
    }
    return ok;
}

bool RecordingServiceApi::CloseServiceHandle(ScHandle handle) {
    if (const auto it = services_.find(handle); it != services_.end()) {
        if (it->second.stopAccepted && !it->second.stoppedSeen) {
            log_.Note(L"service-stop-pending", it->second.name);
        }
        services_.erase(it);
    }
    return inner_.CloseServiceHandle(handle);
}

// ---- process start ----

bool RecordingShellApi::CreateProcessW(const std::wstring& application,
                                       const std::wstring& commandLine,
                                       const std::wstring& currentDirectory, int showCommand) {
    const bool started =
        inner_.CreateProcessW(application, commandLine, currentDirectory, showCommand);
    if (started) {
        log_.Note(L"started", commandLine);
    }
    return started;
}

// ---- the platform ----

RecordingPlatform::RecordingPlatform(const Platform& inner, ChangeLog& log)
    : files_(inner.Files(), log),
      registry_(inner.Registry(), log),
      services_(inner.Services(), log),
      shell_(inner.Shell(), log),
      platform_(inner) {
    platform_.files = &files_;
    platform_.registry = &registry_;
    platform_.services = &services_;
    platform_.shell = &shell_;
}

}  // namespace hf
