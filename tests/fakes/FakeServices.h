#pragma once
// The fake service control manager: named services with a state, a start type and a deletion
// mark; a stop control starts a scripted run of statuses that unfolds over simulated time
// (FakeSystem::now, which only Sleep moves). Every call is recorded with its arguments and
// result, open handles are counted, and any call can be made to fail with a chosen error.

#include "platform/Services.h"
#include "tests/fakes/FakeSystem.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hf::fake {

enum class ServiceFn {
    OpenSCManagerW,
    OpenServiceW,
    ControlService,
    QueryServiceStatus,
    DeleteService,
    ChangeServiceConfigW,
    CloseServiceHandle,
};

// One call as the code made it.
struct ServiceCall {
    ServiceFn fn = ServiceFn::OpenSCManagerW;
    ScHandle handle = 0;      // the manager or service handle passed (0 for OpenSCManagerW)
    std::wstring name;        // OpenServiceW's service name
    std::uint32_t value = 0;  // access mask, control code or start type
    bool nullMachineAndDatabase = false;  // OpenSCManagerW: local machine, active database
    ScHandle result = 0;                  // the handle returned by the open calls
    bool ok = false;
    std::uint32_t error = 0;  // the last error set on failure

    // For example: OpenServiceW(h1, "RegGuardSvc", 0x10024) = h2
    std::string ToString() const;
};

// One scripted status, in effect from `atMs` after the accepted stop control until the next.
struct StatusStep {
    std::uint64_t atMs = 0;
    std::uint32_t state = svc::kStopPending;
    std::uint32_t checkPoint = 0;
    std::uint32_t waitHint = 0;
};

struct FakeService {
    std::wstring name;
    std::uint32_t serviceType = svc::kWin32OwnProcess;
    std::uint32_t state = svc::kRunning;
    std::uint32_t controlsAccepted = svc::kAcceptStop;
    std::uint32_t checkPoint = 0;
    std::uint32_t waitHint = 0;
    std::uint32_t startType = svc::kAutoStart;
    bool markedForDeletion = false;
    // Rights an open may not ask for (ERROR_ACCESS_DENIED), as a service's security would.
    std::uint32_t deniedAccess = 0;
    // What happens after an accepted stop control; the last step stays in effect. Empty: the
    // service is stopped at once.
    std::vector<StatusStep> stopScript;

    // When the stop control was accepted (simulated milliseconds).
    std::optional<std::uint64_t> stopRequestedAt;
};

class FakeServices final : public ServiceApi {
  public:
    explicit FakeServices(FakeSystem& system) : system_(system) {}
    FakeServices(const FakeServices&) = delete;
    FakeServices& operator=(const FakeServices&) = delete;

    // Adds a service (names compare ignoring a-z case, as the manager's do).
    FakeService& Add(const std::wstring& name, std::uint32_t state = svc::kRunning);
    // The service as it is now, or null once the manager has removed it.
    FakeService* Find(const std::wstring& name);
    bool Exists(const std::wstring& name) { return Find(name) != nullptr; }

    // Makes calls to `fn` fail with `error`: the first `after` calls succeed, then `times` calls
    // fail (every later call when `times` is negative).
    void Fail(ServiceFn fn, std::uint32_t error, int after = 0, int times = -1);

    // Handles opened and not yet closed.
    std::size_t OpenHandles() const { return handles_.size(); }
    // The calls in order, as ServiceCall::ToString gives them.
    std::vector<std::string> Log() const;
    // Only the calls of one function.
    std::vector<ServiceCall> CallsOf(ServiceFn fn) const;

    std::vector<ServiceCall> calls;

    ScHandle OpenSCManagerW(const wchar_t* machine, const wchar_t* database,
                            std::uint32_t access) override;
    ScHandle OpenServiceW(ScHandle manager, const std::wstring& name,
                          std::uint32_t access) override;
    bool ControlService(ScHandle service, std::uint32_t control, ServiceStatus& status) override;
    bool QueryServiceStatus(ScHandle service, ServiceStatus& status) override;
    bool DeleteService(ScHandle service) override;
    bool ChangeServiceConfigW(ScHandle service, std::uint32_t startType) override;
    bool CloseServiceHandle(ScHandle handle) override;

  private:
    struct OpenHandle {
        bool isManager = false;
        std::wstring key;  // the service's key in services_
        std::uint32_t access = 0;
    };
    struct Injected {
        std::uint32_t error = 0;
        int after = 0;
        int times = -1;
        int seen = 0;
    };

    // Brings every service's scripted status up to FakeSystem::now and removes the services
    // that are marked, stopped and no longer open.
    void Advance();
    bool InjectedFailure(ServiceFn fn, ServiceCall& call);
    FakeService* ServiceOf(ScHandle handle, std::uint32_t right, ServiceCall& call);
    bool Finish(ServiceCall call, bool ok, std::uint32_t error = 0);
    ScHandle NewHandle(OpenHandle handle);

    FakeSystem& system_;
    std::map<std::wstring, FakeService> services_;
    std::map<ScHandle, OpenHandle> handles_;
    std::map<ServiceFn, Injected> failures_;
    ScHandle nextHandle_ = 1;
};

}  // namespace hf::fake
