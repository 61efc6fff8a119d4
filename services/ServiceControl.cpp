#include "services/ServiceControl.h"

#include "platform/Errors.h"
#include "platform/Services.h"
#include "platform/System.h"

#include <algorithm>

namespace hf {

namespace {

constexpr std::uint32_t kStopServiceAccess =
    svc::kDelete | svc::kServiceStop | svc::kServiceQueryStatus;

UniqueScHandle OpenManager(ServiceApi& services) {
    return UniqueScHandle(ScHandleTraits{&services},
                          services.OpenSCManagerW(nullptr, nullptr, svc::kScManagerConnect));
}

UniqueScHandle OpenService(ServiceApi& services, const UniqueScHandle& manager,
                           const std::wstring& name, std::uint32_t access) {
    return UniqueScHandle(ScHandleTraits{&services},
                          services.OpenServiceW(manager.get(), name, access));
}

// Waits while the service is not stopped, its status can be queried and its checkpoint does not
// go down. Each pause is the wait hint clamped to [kStopWaitMinPauseMs, kStopWaitMaxPauseMs] and
// shortened where needed so that all pauses together end `limitMs` after the start; the query
// after the last pause is still made, then the wait gives up. Returns the time it took.
std::uint64_t WaitForStop(SystemApi& system, ServiceApi& services, ScHandle service,
                          ServiceStatus& status, std::uint64_t limitMs) {
    const std::uint64_t start = system.GetTickCount64();
    auto elapsedSinceStart = [&system, start] { return system.GetTickCount64() - start; };
    while (status.dwCurrentState != svc::kStopped) {
        const std::uint64_t elapsed = elapsedSinceStart();
        if (elapsed >= limitMs) {
            break;
        }
        const std::uint32_t previousCheckPoint = status.dwCheckPoint;
        const std::uint32_t hint =
            std::clamp(status.dwWaitHint, kStopWaitMinPauseMs, kStopWaitMaxPauseMs);
        system.Sleep(static_cast<std::uint32_t>(std::min<std::uint64_t>(hint, limitMs - elapsed)));
        if (!services.QueryServiceStatus(service, status)) {
            break;
        }
        if (previousCheckPoint > status.dwCheckPoint) {
            break;
        }
    }
    return elapsedSinceStart();
}

}  // namespace

void StopService(const Platform& platform, const std::wstring& name, bool deleteAfterStop,
                 StopWaitBudget& budget) {
    SystemApi& system = platform.System();
    ServiceApi& services = platform.Services();

    // Declared in this order so the service handle is closed before the manager's, on every path.
    const UniqueScHandle manager = OpenManager(services);
    if (!manager) {
        RaiseLastOSError(system);
    }
    const UniqueScHandle service = OpenService(services, manager, name, kStopServiceAccess);
    if (!service) {
        const std::uint32_t error = system.GetLastError();
        if (error == svc::kErrorServiceDoesNotExist) {
            return;
        }
        RaiseOSError(system, error);
    }

    // A refused stop (not running, stop not accepted, ...) or a failed first query: no wait.
    ServiceStatus status;
    if (services.ControlService(service.get(), svc::kControlStop, status) &&
        services.QueryServiceStatus(service.get(), status)) {
        const std::uint64_t limit = std::min(kStopWaitLimitMs, budget.RemainingMs());
        budget.Spend(WaitForStop(system, services, service.get(), status, limit));
    }

    if (deleteAfterStop) {
        services.DeleteService(service.get());  // outcome not examined
    }
}

void DeleteServiceByName(const Platform& platform, const std::wstring& name) {
    ServiceApi& services = platform.Services();
    const UniqueScHandle manager = OpenManager(services);
    if (!manager) {
        return;
    }
    const UniqueScHandle service = OpenService(services, manager, name, svc::kDelete);
    if (!service) {
        return;
    }
    services.DeleteService(service.get());
}

void DisableServiceStart(const Platform& platform, const std::wstring& name) {
    ServiceApi& services = platform.Services();
    const UniqueScHandle manager = OpenManager(services);
    if (!manager) {
        return;
    }
    const UniqueScHandle service = OpenService(services, manager, name, svc::kServiceChangeConfig);
    if (!service) {
        return;
    }
    services.ChangeServiceConfigW(service.get(), svc::kDisabled);
}

}  // namespace hf
