#pragma once
// A recording layer over the platform: it forwards every call to the backend it wraps, unchanged,
// and notes each call that changed the machine and succeeded, in the order they happened. What a
// run reports as done therefore comes from what Windows answered, never from what the rules
// meant to do.
//
// Kinds of change, and the object each names:
//   deleted            a file: DeleteFileW, or SetFileDispositionInfo(true) on a handle, named
//                      by the path the system gave for that handle (GetFinalPathNameByHandleW,
//                      without its \\?\ prefix) where the caller asked for it, else the path it
//                      was opened with
//   pending-restart    a file MoveFileExW records for deletion at the next restart (its path as
//                      given, which is the one the restart acts on)
//   moved              MoveFileExW to a new name at once: "<old> -> <new>"
//   renamed            a rename through an open handle: "<old> -> <new>", full paths
//   service-stopped    a service whose status read STOPPED after a stop control it accepted
//   service-stop-pending  a service that accepted the stop control but was not seen STOPPED
//                      before its handle was closed
//   service-deleted    DeleteService succeeded: marked for deletion (the manager removes it
//                      once it has stopped and its handles are closed)
//   service-disabled   ChangeServiceConfigW with the start type disabled
//   service-start-changed  ChangeServiceConfigW with another start type
//   key-deleted        RegDeleteKeyW: the key's full path, "HKLM\..."
//   value-deleted      RegDeleteValueW: the key's full path, "\", the value's name (empty for
//                      the default value)
//   started            CreateProcessW started a program: its command line
// The interfaces that change nothing (System, Version, Time, Com) are handed through unwrapped.

#include "platform/Forwarding.h"
#include "platform/Platform.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace hf {

struct Change {
    std::wstring kind;
    std::wstring object;

    bool operator==(const Change&) const = default;
};

// The changes noted so far, in order; `onChange` (when set) sees each one as it is noted, so a
// caller can pass it on at once.
class ChangeLog {
  public:
    void Note(std::wstring kind, std::wstring object);
    const std::vector<Change>& Changes() const noexcept { return changes_; }
    bool Empty() const noexcept { return changes_.empty(); }

    std::function<void(const Change&)> onChange;

  private:
    std::vector<Change> changes_;
};

class RecordingFileApi final : public ForwardingFileApi {
  public:
    RecordingFileApi(FileApi& inner, ChangeLog& log) : ForwardingFileApi(inner), log_(log) {}

    bool DeleteFileW(const std::wstring& path) override;
    FileHandle CreateFileW(const std::wstring& path, std::uint32_t access, std::uint32_t share,
                           std::uint32_t disposition, std::uint32_t flags) override;
    FileHandle NtOpenFile(FileHandle folder, const std::wstring& name, std::uint32_t access,
                          std::uint32_t share, std::uint32_t options) override;
    bool CloseHandle(FileHandle file) override;
    bool GetFinalPathNameByHandleW(FileHandle file, std::uint32_t flags,
                                   std::wstring& path) override;
    bool SetFileDispositionInfo(FileHandle file, bool deleteFile) override;
    bool MoveFileExW(const std::wstring& existing, const std::wstring* newName,
                     std::uint32_t flags) override;
    bool SetFileRenameInfo(FileHandle file, const std::wstring& newPath) override;

  private:
    // The path an open handle names; a placeholder for one opened elsewhere.
    std::wstring PathOf(FileHandle file) const;

    ChangeLog& log_;
    std::map<FileHandle, std::wstring> paths_;  // open handles and the path each names
};

class RecordingRegistryApi final : public ForwardingRegistryApi {
  public:
    RecordingRegistryApi(RegistryApi& inner, ChangeLog& log)
        : ForwardingRegistryApi(inner), log_(log) {}

    LStatus RegOpenKeyExW(HKey parent, const std::wstring& subKey, std::uint32_t options,
                          std::uint32_t access, HKey& result) override;
    LStatus RegDeleteKeyW(HKey parent, const std::wstring& subKey) override;
    LStatus RegDeleteValueW(HKey key, const std::wstring& name) override;
    LStatus RegCloseKey(HKey key) override;
    LStatus NtDeleteKey(HKey key) override;

  private:
    // "HKLM\<path>" of an open or predefined key joined with `subKey`.
    std::wstring PathOf(HKey key, const std::wstring& subKey) const;

    ChangeLog& log_;
    std::map<HKey, std::wstring> paths_;  // open keys and their full paths
};

class RecordingServiceApi final : public ForwardingServiceApi {
  public:
    RecordingServiceApi(ServiceApi& inner, ChangeLog& log)
        : ForwardingServiceApi(inner), log_(log) {}

    ScHandle OpenServiceW(ScHandle manager, const std::wstring& name,
                          std::uint32_t access) override;
    bool ControlService(ScHandle service, std::uint32_t control, ServiceStatus& status) override;
    bool QueryServiceStatus(ScHandle service, ServiceStatus& status) override;
    bool DeleteService(ScHandle service) override;
    bool ChangeServiceConfigW(ScHandle service, std::uint32_t startType) override;
    bool CloseServiceHandle(ScHandle handle) override;

  private:
    struct OpenService {
        std::wstring name;
        bool stopAccepted = false;  // a stop control on this handle succeeded
        bool stoppedSeen = false;   // and a status read STOPPED after it
    };
    void SawStatus(ScHandle service, const ServiceStatus& status);

    ChangeLog& log_;
    std::map<ScHandle, OpenService> services_;  // open service handles
};

class RecordingShellApi final : public ForwardingShellApi {
  public:
    RecordingShellApi(ShellApi& inner, ChangeLog& log) : ForwardingShellApi(inner), log_(log) {}

    bool CreateProcessW(const std::wstring& application, const std::wstring& commandLine,
                        const std::wstring& currentDirectory, int showCommand) override;

  private:
    ChangeLog& log_;
};

// A platform whose changing interfaces record into `log`; the others are the inner ones.
class RecordingPlatform {
  public:
    RecordingPlatform(const Platform& inner, ChangeLog& log);
    RecordingPlatform(const RecordingPlatform&) = delete;
    RecordingPlatform& operator=(const RecordingPlatform&) = delete;

    const Platform& Get() const noexcept { return platform_; }

  private:
    RecordingFileApi files_;
    RecordingRegistryApi registry_;
    RecordingServiceApi services_;
    RecordingShellApi shell_;
    Platform platform_;
};

}  // namespace hf
