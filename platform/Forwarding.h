#pragma once
// Layers over the platform: each of these hands every call to the interface it wraps, unchanged.
// A layer that treats some calls differently (the recording layer, the what-if layer) derives
// from them and writes only those calls.

#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "platform/Shell.h"

namespace hf {

class ForwardingFileApi : public FileApi {
  public:
    explicit ForwardingFileApi(FileApi& inner) : inner_(inner) {}

    std::uint32_t GetFileAttributesW(const std::wstring& path) override {
        return inner_.GetFileAttributesW(path);
    }
    bool GetFileAttributesExW(const std::wstring& path, FileAttributeData& data) override {
        return inner_.GetFileAttributesExW(path, data);
    }
    bool DeleteFileW(const std::wstring& path) override { return inner_.DeleteFileW(path); }
    FindHandle FindFirstFileW(const std::wstring& pattern, FindData& data) override {
        return inner_.FindFirstFileW(pattern, data);
    }
    bool FindNextFileW(FindHandle search, FindData& data) override {
        return inner_.FindNextFileW(search, data);
    }
    bool FindClose(FindHandle search) override { return inner_.FindClose(search); }
    bool GetSystemWindowsDirectoryW(std::wstring& directory) override {
        return inner_.GetSystemWindowsDirectoryW(directory);
    }
    FileHandle CreateFileW(const std::wstring& path, std::uint32_t access, std::uint32_t share,
                           std::uint32_t disposition, std::uint32_t flags) override {
        return inner_.CreateFileW(path, access, share, disposition, flags);
    }
    bool CloseHandle(FileHandle file) override { return inner_.CloseHandle(file); }
    bool GetFileInformationByHandle(FileHandle file, FileHandleInformation& info) override {
        return inner_.GetFileInformationByHandle(file, info);
    }
    bool GetFinalPathNameByHandleW(FileHandle file, std::uint32_t flags,
                                   std::wstring& path) override {
        return inner_.GetFinalPathNameByHandleW(file, flags, path);
    }
    bool SetFileDispositionInfo(FileHandle file, bool deleteFile) override {
        return inner_.SetFileDispositionInfo(file, deleteFile);
    }
    bool MoveFileExW(const std::wstring& existing, const std::wstring* newName,
                     std::uint32_t flags) override {
        return inner_.MoveFileExW(existing, newName, flags);
    }
    bool GetFullPathNameW(const std::wstring& path, std::wstring& fullPath) override {
        return inner_.GetFullPathNameW(path, fullPath);
    }
    bool GetLongPathNameW(const std::wstring& path, std::wstring& longPath) override {
        return inner_.GetLongPathNameW(path, longPath);
    }
    bool IsWow64Process(bool& wow64) override { return inner_.IsWow64Process(wow64); }
    bool GetSystemWow64DirectoryW(std::wstring& directory) override {
        return inner_.GetSystemWow64DirectoryW(directory);
    }
    bool EqualOrdinal(std::wstring_view a, std::wstring_view b, bool ignoreCase) override {
        return inner_.EqualOrdinal(a, b, ignoreCase);
    }
    std::uint32_t GetDriveTypeW(const std::wstring& rootPath) override {
        return inner_.GetDriveTypeW(rootPath);
    }
    bool SetFileRenameInfo(FileHandle file, const std::wstring& newPath) override {
        return inner_.SetFileRenameInfo(file, newPath);
    }
    bool GetShortPathNameW(const std::wstring& path, std::wstring& shortPath) override {
        return inner_.GetShortPathNameW(path, shortPath);
    }
    std::uint32_t GetSecurityInfo(FileHandle file, ObjectSecurity& security) override {
        return inner_.GetSecurityInfo(file, security);
    }
    bool RtlGenRandom(void* buffer, std::uint32_t size) override {
        return inner_.RtlGenRandom(buffer, size);
    }
    FileHandle NtOpenFile(FileHandle folder, const std::wstring& name, std::uint32_t access,
                          std::uint32_t share, std::uint32_t options) override {
        return inner_.NtOpenFile(folder, name, access, share, options);
    }
    FileHandle ReOpenFile(FileHandle file, std::uint32_t access, std::uint32_t share) override {
        return inner_.ReOpenFile(file, access, share);
    }
    bool ReadFile(FileHandle file, std::uint64_t offset, void* buffer, std::uint32_t size,
                  std::uint32_t& read) override {
        return inner_.ReadFile(file, offset, buffer, size, read);
    }
    bool SetFileBasicInfo(FileHandle file, std::uint32_t attributes) override {
        return inner_.SetFileBasicInfo(file, attributes);
    }
    bool Wow64DisableWow64FsRedirection(std::uintptr_t& previous) override {
        return inner_.Wow64DisableWow64FsRedirection(previous);
    }
    bool Wow64RevertWow64FsRedirection(std::uintptr_t previous) override {
        return inner_.Wow64RevertWow64FsRedirection(previous);
    }

  protected:
    FileApi& inner_;
};

class ForwardingRegistryApi : public RegistryApi {
  public:
    explicit ForwardingRegistryApi(RegistryApi& inner) : inner_(inner) {}

    LStatus RegOpenKeyExW(HKey parent, const std::wstring& subKey, std::uint32_t options,
                          std::uint32_t access, HKey& result) override {
        return inner_.RegOpenKeyExW(parent, subKey, options, access, result);
    }
    LStatus RegQueryInfoKeyW(HKey key, RegKeyInfo& info) override {
        return inner_.RegQueryInfoKeyW(key, info);
    }
    LStatus RegEnumKeyExW(HKey key, std::uint32_t index, std::uint32_t capacity,
                          std::wstring& name) override {
        return inner_.RegEnumKeyExW(key, index, capacity, name);
    }
    LStatus RegEnumValueW(HKey key, std::uint32_t index, std::uint32_t capacity,
                          std::wstring& name) override {
        return inner_.RegEnumValueW(key, index, capacity, name);
    }
    LStatus RegQueryValueExW(HKey key, const std::wstring& name, std::uint32_t* type,
                             std::uint8_t* data, std::uint32_t* size) override {
        return inner_.RegQueryValueExW(key, name, type, data, size);
    }
    LStatus RegDeleteKeyW(HKey parent, const std::wstring& subKey) override {
        return inner_.RegDeleteKeyW(parent, subKey);
    }
    LStatus NtDeleteKey(HKey key) override { return inner_.NtDeleteKey(key); }
    LStatus RegDeleteValueW(HKey key, const std::wstring& name) override {
        return inner_.RegDeleteValueW(key, name);
    }
    LStatus RegCloseKey(HKey key) override { return inner_.RegCloseKey(key); }

  protected:
    RegistryApi& inner_;
};

class ForwardingServiceApi : public ServiceApi {
  public:
    explicit ForwardingServiceApi(ServiceApi& inner) : inner_(inner) {}

    ScHandle OpenSCManagerW(const wchar_t* machine, const wchar_t* database,
                            std::uint32_t access) override {
        return inner_.OpenSCManagerW(machine, database, access);
    }
    ScHandle OpenServiceW(ScHandle manager, const std::wstring& name,
                          std::uint32_t access) override {
        return inner_.OpenServiceW(manager, name, access);
    }
    bool ControlService(ScHandle service, std::uint32_t control, ServiceStatus& status) override {
        return inner_.ControlService(service, control, status);
    }
    bool QueryServiceStatus(ScHandle service, ServiceStatus& status) override {
        return inner_.QueryServiceStatus(service, status);
    }
    bool DeleteService(ScHandle service) override { return inner_.DeleteService(service); }
    bool ChangeServiceConfigW(ScHandle service, std::uint32_t startType) override {
        return inner_.ChangeServiceConfigW(service, startType);
    }
    bool CloseServiceHandle(ScHandle handle) override { return inner_.CloseServiceHandle(handle); }

  protected:
    ServiceApi& inner_;
};

class ForwardingShellApi : public ShellApi {
  public:
    explicit ForwardingShellApi(ShellApi& inner) : inner_(inner) {}

    bool GetSystemDirectoryW(std::wstring& directory) override {
        return inner_.GetSystemDirectoryW(directory);
    }
    bool CreateProcessW(const std::wstring& application, const std::wstring& commandLine,
                        const std::wstring& currentDirectory, int showCommand) override {
        return inner_.CreateProcessW(application, commandLine, currentDirectory, showCommand);
    }

  protected:
    ShellApi& inner_;
};

}  // namespace hf
