#pragma once
// The service control manager, at the granularity of the Windows calls. Failure is signalled as
// Windows does: a zero handle or false, with the reason in SystemApi::GetLastError.

#include "platform/UniqueHandle.h"

#include <cstdint>
#include <string>

namespace hf {

// SC_HANDLE; 0 is no handle.
using ScHandle = std::uintptr_t;

// SERVICE_STATUS.
struct ServiceStatus {
    std::uint32_t dwServiceType = 0;
    std::uint32_t dwCurrentState = 0;
    std::uint32_t dwControlsAccepted = 0;
    std::uint32_t dwWin32ExitCode = 0;
    std::uint32_t dwServiceSpecificExitCode = 0;
    std::uint32_t dwCheckPoint = 0;
    std::uint32_t dwWaitHint = 0;
};

namespace svc {

// Access rights.
inline constexpr std::uint32_t kScManagerConnect = 0x0001;
inline constexpr std::uint32_t kServiceQueryConfig = 0x0001;
inline constexpr std::uint32_t kServiceChangeConfig = 0x0002;
inline constexpr std::uint32_t kServiceQueryStatus = 0x0004;
inline constexpr std::uint32_t kServiceStart = 0x0010;
inline constexpr std::uint32_t kServiceStop = 0x0020;
inline constexpr std::uint32_t kDelete = 0x10000;

// Controls and the controls a service accepts.
inline constexpr std::uint32_t kControlStop = 1;
inline constexpr std::uint32_t kControlInterrogate = 4;
inline constexpr std::uint32_t kAcceptStop = 1;

// Current states.
inline constexpr std::uint32_t kStopped = 1;
inline constexpr std::uint32_t kStartPending = 2;
inline constexpr std::uint32_t kStopPending = 3;
inline constexpr std::uint32_t kRunning = 4;

// Service types.
inline constexpr std::uint32_t kKernelDriver = 0x01;
inline constexpr std::uint32_t kWin32OwnProcess = 0x10;

// Start types, and the "leave it as it is" value of ChangeServiceConfigW.
inline constexpr std::uint32_t kBootStart = 0;
inline constexpr std::uint32_t kSystemStart = 1;
inline constexpr std::uint32_t kAutoStart = 2;
inline constexpr std::uint32_t kDemandStart = 3;
inline constexpr std::uint32_t kDisabled = 4;
inline constexpr std::uint32_t kNoChange = 0xFFFFFFFF;

// The wait hint (and Sleep argument) that means "forever".
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFF;

// Last-error codes the manager gives.
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorInvalidServiceControl = 1052;
inline constexpr std::uint32_t kErrorServiceDoesNotExist = 1060;
inline constexpr std::uint32_t kErrorServiceCannotAcceptCtrl = 1061;
inline constexpr std::uint32_t kErrorServiceNotActive = 1062;
inline constexpr std::uint32_t kErrorServiceMarkedForDelete = 1072;

}  // namespace svc

class ServiceApi {
  public:
    virtual ~ServiceApi() = default;

    // OpenSCManagerW; a null machine is the local machine, a null database the active one.
    virtual ScHandle OpenSCManagerW(const wchar_t* machine, const wchar_t* database,
                                    std::uint32_t access) = 0;
    // OpenServiceW: `name` is passed to the manager unchanged.
    virtual ScHandle OpenServiceW(ScHandle manager, const std::wstring& name,
                                  std::uint32_t access) = 0;
    // ControlService: `status` receives the latest status the manager has.
    virtual bool ControlService(ScHandle service, std::uint32_t control, ServiceStatus& status) = 0;
    virtual bool QueryServiceStatus(ScHandle service, ServiceStatus& status) = 0;
    // DeleteService: marks the service for deletion; the manager removes it once it has stopped
    // and its last handle is closed.
    virtual bool DeleteService(ScHandle service) = 0;
    // ChangeServiceConfigW changing the start type only: every other argument is
    // SERVICE_NO_CHANGE or null.
    virtual bool ChangeServiceConfigW(ScHandle service, std::uint32_t startType) = 0;
    virtual bool CloseServiceHandle(ScHandle handle) = 0;
};

// Owner traits for manager and service handles: closed through the API that opened them.
struct ScHandleTraits {
    using Handle = ScHandle;
    static Handle Invalid() noexcept { return 0; }
    void Close(Handle handle) const noexcept { api->CloseServiceHandle(handle); }

    ServiceApi* api = nullptr;
};
using UniqueScHandle = UniqueHandle<ScHandleTraits>;

}  // namespace hf
