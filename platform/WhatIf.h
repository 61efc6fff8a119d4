#pragma once
// A what-if layer over the platform, for a run that shows what a real run would change and
// changes nothing. Every call that would change the machine is not made: the layer answers as
// Windows would have after it succeeded, and remembers the change, so that later calls of the
// same run see the machine as that change would have left it:
//   files     a file deleted (DeleteFileW, a disposition through a handle) is absent to later
//             opens; a rename through a handle moves it, for later opens and for its handle's
//             final path; an attribute set through a handle is what later reads of that handle
//             give; a record for the restart (MoveFileExW) is only answered
//   registry  a key or value deleted is gone from later opens, queries and enumerations (the
//             indices of the rest close up); a key that still has subkeys is refused with 5, as
//             RegDeleteKeyW and NtDeleteKey refuse it
//   services  a stop a running service would accept leaves it STOPPED; a service marked for
//             deletion refuses a second deletion and a change of its start type (1072), and is
//             gone (1060) once it is stopped, or never ran, and its last handle is closed; a
//             start type set is only answered
//   processes none is started: CreateProcessW fails with 5
// Opens and reads are made as the real run makes them: an open changes nothing, and only so does
// a file held without delete sharing answer as it would. To foresee that Windows refuses the
// deletion of a library in use, which a disposition would learn only by changing the file, the
// layer asks whether the file can be opened for writing (Windows refuses that for a loaded
// library too, with 32) and closes that handle at once, having written nothing. Windows'
// answers the layer cannot foresee are taken as successes: a service that would stay
// STOP_PENDING reads STOPPED.

#include "platform/Forwarding.h"
#include "platform/Platform.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace hf {

class WhatIfFileApi final : public ForwardingFileApi {
  public:
    explicit WhatIfFileApi(FileApi& inner, SystemApi& system)
        : ForwardingFileApi(inner), system_(system) {}

    bool DeleteFileW(const std::wstring& path) override;
    FileHandle CreateFileW(const std::wstring& path, std::uint32_t access, std::uint32_t share,
                           std::uint32_t disposition, std::uint32_t flags) override;
    FileHandle NtOpenFile(FileHandle folder, const std::wstring& name, std::uint32_t access,
                          std::uint32_t share, std::uint32_t options) override;
    bool CloseHandle(FileHandle file) override;
    bool GetFileInformationByHandle(FileHandle file, FileHandleInformation& info) override;
    bool GetFinalPathNameByHandleW(FileHandle file, std::uint32_t flags,
                                   std::wstring& path) override;
    bool SetFileDispositionInfo(FileHandle file, bool deleteFile) override;
    bool MoveFileExW(const std::wstring& existing, const std::wstring* newName,
                     std::uint32_t flags) override;
    bool SetFileRenameInfo(FileHandle file, const std::wstring& newPath) override;
    bool SetFileBasicInfo(FileHandle file, std::uint32_t attributes) override;

  private:
    struct Open {
        std::wstring path;  // as opened, then as the system named it
        std::uint32_t access = 0;
        bool renamed = false;          // its final path is the name a rename gave it
        std::uint32_t attributes = 0;  // set through it, when `attributesSet`
        bool attributesSet = false;
    };
    bool Fail(std::uint32_t error);
    bool IsGone(const std::wstring& path) const;
    FileHandle Track(FileHandle file, std::wstring path, std::uint32_t access);

    SystemApi& system_;
    std::map<FileHandle, Open> opens_;
    std::set<std::wstring> gone_;                   // upper-cased (a to z) paths deleted
    std::map<std::wstring, std::wstring> renamed_;  // new name -> the name it still has
};

class WhatIfRegistryApi final : public ForwardingRegistryApi {
  public:
    explicit WhatIfRegistryApi(RegistryApi& inner) : ForwardingRegistryApi(inner) {}

    LStatus RegOpenKeyExW(HKey parent, const std::wstring& subKey, std::uint32_t options,
                          std::uint32_t access, HKey& result) override;
    LStatus RegQueryInfoKeyW(HKey key, RegKeyInfo& info) override;
    LStatus RegEnumKeyExW(HKey key, std::uint32_t index, std::uint32_t capacity,
                          std::wstring& name) override;
    LStatus RegEnumValueW(HKey key, std::uint32_t index, std::uint32_t capacity,
                          std::wstring& name) override;
    LStatus RegQueryValueExW(HKey key, const std::wstring& name, std::uint32_t* type,
                             std::uint8_t* data, std::uint32_t* size) override;
    LStatus RegDeleteKeyW(HKey parent, const std::wstring& subKey) override;
    LStatus NtDeleteKey(HKey key) override;
    LStatus RegDeleteValueW(HKey key, const std::wstring& name) override;
    LStatus RegCloseKey(HKey key) override;

  private:
    std::wstring PathOf(HKey key, const std::wstring& subKey) const;
    bool IsGone(const std::wstring& path) const;
    // The names of `key`'s subkeys (or values) that later calls still see, in the registry's
    // order; listed once per open key until the next deletion.
    const std::vector<std::wstring>& Remaining(HKey key, bool values);
    // RegEnumKeyExW / RegEnumValueW over Remaining.
    LStatus EnumRemaining(HKey key, bool values, std::uint32_t index, std::uint32_t capacity,
                          std::wstring& name);
    LStatus DeleteKeyAt(const std::wstring& path, HKey key);

    std::map<HKey, std::wstring> paths_;  // open keys and their full paths, upper-cased
    std::set<std::wstring> goneKeys_;     // upper-cased full paths
    std::set<std::wstring> goneValues_;   // upper-cased "<key path>\n<value name>"
    std::map<std::pair<HKey, bool>, std::vector<std::wstring>> remaining_;
};

class WhatIfServiceApi final : public ForwardingServiceApi {
  public:
    explicit WhatIfServiceApi(ServiceApi& inner, SystemApi& system)
        : ForwardingServiceApi(inner), system_(system) {}

    ScHandle OpenServiceW(ScHandle manager, const std::wstring& name,
                          std::uint32_t access) override;
    bool ControlService(ScHandle service, std::uint32_t control, ServiceStatus& status) override;
    bool QueryServiceStatus(ScHandle service, ServiceStatus& status) override;
    bool DeleteService(ScHandle service) override;
    bool ChangeServiceConfigW(ScHandle service, std::uint32_t startType) override;
    bool CloseServiceHandle(ScHandle handle) override;

  private:
    struct State {
        bool stopped = false;
        bool marked = false;
        bool gone = false;
        int handles = 0;
    };
    bool Fail(std::uint32_t error);
    State* StateOf(ScHandle service);

    SystemApi& system_;
    std::map<ScHandle, std::wstring> names_;  // open service handles, upper-cased names
    std::map<std::wstring, State> states_;
};

class WhatIfShellApi final : public ForwardingShellApi {
  public:
    explicit WhatIfShellApi(ShellApi& inner, SystemApi& system)
        : ForwardingShellApi(inner), system_(system) {}

    bool CreateProcessW(const std::wstring& application, const std::wstring& commandLine,
                        const std::wstring& currentDirectory, int showCommand) override;

  private:
    SystemApi& system_;
};

// A platform whose changing interfaces answer as above; the others are the inner ones. The
// system interface is the inner one too: the layer sets the last error through it.
class WhatIfPlatform {
  public:
    explicit WhatIfPlatform(const Platform& inner);
    WhatIfPlatform(const WhatIfPlatform&) = delete;
    WhatIfPlatform& operator=(const WhatIfPlatform&) = delete;

    const Platform& Get() const noexcept { return platform_; }

  private:
    WhatIfFileApi files_;
    WhatIfRegistryApi registry_;
    WhatIfServiceApi services_;
    WhatIfShellApi shell_;
    Platform platform_;
};

}  // namespace hf
