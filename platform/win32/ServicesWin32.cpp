#include "platform/win32/ServicesWin32.h"

#include <windows.h>

namespace hf {

// The portable constants must be the values windows.h gives.
static_assert(svc::kScManagerConnect == SC_MANAGER_CONNECT);
static_assert(svc::kServiceQueryConfig == SERVICE_QUERY_CONFIG);
static_assert(svc::kServiceChangeConfig == SERVICE_CHANGE_CONFIG);
static_assert(svc::kServiceQueryStatus == SERVICE_QUERY_STATUS);
static_assert(svc::kServiceStart == SERVICE_START);
static_assert(svc::kServiceStop == SERVICE_STOP);
static_assert(svc::kDelete == DELETE);
static_assert(svc::kControlStop == SERVICE_CONTROL_STOP);
static_assert(svc::kControlInterrogate == SERVICE_CONTROL_INTERROGATE);
static_assert(svc::kAcceptStop == SERVICE_ACCEPT_STOP);
static_assert(svc::kStopped == SERVICE_STOPPED);
static_assert(svc::kStartPending == SERVICE_START_PENDING);
static_assert(svc::kStopPending == SERVICE_STOP_PENDING);
static_assert(svc::kRunning == SERVICE_RUNNING);
static_assert(svc::kKernelDriver == SERVICE_KERNEL_DRIVER);
static_assert(svc::kWin32OwnProcess == SERVICE_WIN32_OWN_PROCESS);
static_assert(svc::kDemandStart == SERVICE_DEMAND_START);
static_assert(svc::kDisabled == SERVICE_DISABLED);
static_assert(svc::kNoChange == SERVICE_NO_CHANGE);
static_assert(svc::kInfinite == INFINITE);
static_assert(svc::kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(svc::kErrorInvalidHandle == ERROR_INVALID_HANDLE);
static_assert(svc::kErrorInvalidServiceControl == ERROR_INVALID_SERVICE_CONTROL);
static_assert(svc::kErrorServiceDoesNotExist == ERROR_SERVICE_DOES_NOT_EXIST);
static_assert(svc::kErrorServiceCannotAcceptCtrl == ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
static_assert(svc::kErrorServiceNotActive == ERROR_SERVICE_NOT_ACTIVE);
static_assert(svc::kErrorServiceMarkedForDelete == ERROR_SERVICE_MARKED_FOR_DELETE);

namespace {

SC_HANDLE Native(ScHandle handle) {
    return reinterpret_cast<SC_HANDLE>(handle);
}

ScHandle Portable(SC_HANDLE handle) {
    return reinterpret_cast<ScHandle>(handle);
}

// The two records have the same seven fields; copying them one by one keeps the seam free of
// layout assumptions.
template <typename From, typename To>
void CopyStatus(const From& from, To& to) {
    to.dwServiceType = from.dwServiceType;
    to.dwCurrentState = from.dwCurrentState;
    to.dwControlsAccepted = from.dwControlsAccepted;
    to.dwWin32ExitCode = from.dwWin32ExitCode;
    to.dwServiceSpecificExitCode = from.dwServiceSpecificExitCode;
    to.dwCheckPoint = from.dwCheckPoint;
    to.dwWaitHint = from.dwWaitHint;
}

}  // namespace

ScHandle Win32ServiceApi::OpenSCManagerW(const wchar_t* machine, const wchar_t* database,
                                         std::uint32_t access) {
    return Portable(::OpenSCManagerW(machine, database, access));
}

ScHandle Win32ServiceApi::OpenServiceW(ScHandle manager, const std::wstring& name,
                                       std::uint32_t access) {
    return Portable(::OpenServiceW(Native(manager), name.c_str(), access));
}

bool Win32ServiceApi::ControlService(ScHandle service, std::uint32_t control,
                                     ServiceStatus& status) {
    // In and out, like the caller's own record: the manager writes it on some refusals too and
    // leaves it alone on others.
    SERVICE_STATUS native{};
    CopyStatus(status, native);
    const BOOL ok = ::ControlService(Native(service), control, &native);
    CopyStatus(native, status);
    return ok != FALSE;
}

bool Win32ServiceApi::QueryServiceStatus(ScHandle service, ServiceStatus& status) {
    SERVICE_STATUS native{};
    CopyStatus(status, native);
    const BOOL ok = ::QueryServiceStatus(Native(service), &native);
    CopyStatus(native, status);
    return ok != FALSE;
}

bool Win32ServiceApi::DeleteService(ScHandle service) {
    return ::DeleteService(Native(service)) != FALSE;
}

bool Win32ServiceApi::ChangeServiceConfigW(ScHandle service, std::uint32_t startType) {
    return ::ChangeServiceConfigW(Native(service), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE,
                                  nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr) != FALSE;
}

bool Win32ServiceApi::CloseServiceHandle(ScHandle handle) {
    return ::CloseServiceHandle(Native(handle)) != FALSE;
}

}  // namespace hf
