#include "tests/fakes/FakeServices.h"

#include "platform/Text.h"

#include <cstdio>

namespace hf::fake {

namespace {

constexpr std::uint32_t kErrorInvalidParameter = 87;

const char* FnName(ServiceFn fn) {
    switch (fn) {
        case ServiceFn::OpenSCManagerW:
            return "OpenSCManagerW";
        case ServiceFn::OpenServiceW:
            return "OpenServiceW";
        case ServiceFn::ControlService:
            return "ControlService";
        case ServiceFn::QueryServiceStatus:
            return "QueryServiceStatus";
        case ServiceFn::DeleteService:
            return "DeleteService";
        case ServiceFn::ChangeServiceConfigW:
            return "ChangeServiceConfigW";
        case ServiceFn::CloseServiceHandle:
            return "CloseServiceHandle";
    }
    return "?";
}

std::string Hex(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", static_cast<unsigned>(value));
    return buffer;
}

std::string HandleText(ScHandle handle) {
    return "h" + std::to_string(handle);
}

ServiceCall MakeCall(ServiceFn fn, ScHandle handle = 0, std::wstring name = {},
                     std::uint32_t value = 0) {
    ServiceCall call;
    call.fn = fn;
    call.handle = handle;
    call.name = std::move(name);
    call.value = value;
    return call;
}

void Fill(const FakeService& service, ServiceStatus& status) {
    status.dwServiceType = service.serviceType;
    status.dwCurrentState = service.state;
    status.dwControlsAccepted = service.state == svc::kRunning ? service.controlsAccepted : 0;
    status.dwWin32ExitCode = 0;
    status.dwServiceSpecificExitCode = 0;
    status.dwCheckPoint = service.checkPoint;
    status.dwWaitHint = service.waitHint;
}

}  // namespace

std::string ServiceCall::ToString() const {
    std::string text = FnName(fn);
    text += '(';
    switch (fn) {
        case ServiceFn::OpenSCManagerW:
            text += nullMachineAndDatabase ? "null, null, " : "<machine or database>, ";
            text += Hex(value);
            break;
        case ServiceFn::OpenServiceW:
            text += HandleText(handle) + ", \"" + Utf16ToUtf8(name) + "\", " + Hex(value);
            break;
        case ServiceFn::ControlService:
        case ServiceFn::ChangeServiceConfigW:
            text += HandleText(handle) + ", " + std::to_string(value);
            break;
        case ServiceFn::QueryServiceStatus:
        case ServiceFn::DeleteService:
        case ServiceFn::CloseServiceHandle:
            text += HandleText(handle);
            break;
    }
    text += ") = ";
    if (fn == ServiceFn::OpenSCManagerW || fn == ServiceFn::OpenServiceW) {
        text += ok ? HandleText(result) : "0";
    } else {
        text += ok ? "true" : "false";
    }
    if (!ok) {
        text += " (error " + std::to_string(error) + ")";
    }
    return text;
}

FakeService& FakeServices::Add(const std::wstring& name, std::uint32_t state) {
    FakeService& service = services_[UpperCase(name)];
    service = FakeService{};
    service.name = name;
    service.state = state;
    return service;
}

FakeService* FakeServices::Find(const std::wstring& name) {
    Advance();
    auto it = services_.find(UpperCase(name));
    return it == services_.end() ? nullptr : &it->second;
}

void FakeServices::Fail(ServiceFn fn, std::uint32_t error, int after, int times) {
    failures_[fn] = Injected{error, after, times, 0};
}

std::vector<std::string> FakeServices::Log() const {
    std::vector<std::string> lines;
    for (const ServiceCall& call : calls) {
        lines.push_back(call.ToString());
    }
    return lines;
}

std::vector<ServiceCall> FakeServices::CallsOf(ServiceFn fn) const {
    std::vector<ServiceCall> selected;
    for (const ServiceCall& call : calls) {
        if (call.fn == fn) {
            selected.push_back(call);
        }
    }
    return selected;
}

void FakeServices::Advance() {
    for (auto it = services_.begin(); it != services_.end();) {
        FakeService& service = it->second;
        if (service.stopRequestedAt) {
            const std::uint64_t elapsed = system_.now - *service.stopRequestedAt;
            for (const StatusStep& step : service.stopScript) {
                if (step.atMs <= elapsed) {
                    service.state = step.state;
                    service.checkPoint = step.checkPoint;
                    service.waitHint = step.waitHint;
                }
            }
            if (service.state == svc::kStopped) {
                service.stopRequestedAt.reset();
            }
        }
        bool open = false;
        for (const auto& [handle, entry] : handles_) {
            open = open || (!entry.isManager && entry.key == it->first);
        }
        if (service.markedForDeletion && service.state == svc::kStopped && !open) {
            it = services_.erase(it);
        } else {
            ++it;
        }
    }
}

bool FakeServices::InjectedFailure(ServiceFn fn, ServiceCall& call) {
    auto it = failures_.find(fn);
    if (it == failures_.end()) {
        return false;
    }
    Injected& injected = it->second;
    const int index = injected.seen++;
    if (index < injected.after ||
        (injected.times >= 0 && index >= injected.after + injected.times)) {
        return false;
    }
    call.error = injected.error;
    return true;
}

FakeService* FakeServices::ServiceOf(ScHandle handle, std::uint32_t right, ServiceCall& call) {
    auto it = handles_.find(handle);
    if (it == handles_.end() || it->second.isManager) {
        call.error = svc::kErrorInvalidHandle;
        return nullptr;
    }
    if ((it->second.access & right) == 0) {
        call.error = svc::kErrorAccessDenied;
        return nullptr;
    }
    return &services_.at(it->second.key);
}

bool FakeServices::Finish(ServiceCall call, bool ok, std::uint32_t error) {
    call.ok = ok;
    if (!ok) {
        call.error = error != 0 ? error : call.error;
        system_.lastError = call.error;
    }
    calls.push_back(std::move(call));
    return ok;
}

ScHandle FakeServices::NewHandle(OpenHandle handle) {
    const ScHandle value = nextHandle_++;
    handles_.emplace(value, std::move(handle));
    return value;
}

ScHandle FakeServices::OpenSCManagerW(const wchar_t* machine, const wchar_t* database,
                                      std::uint32_t access) {
    Advance();
    ServiceCall call = MakeCall(ServiceFn::OpenSCManagerW);
    call.value = access;
    call.nullMachineAndDatabase = machine == nullptr && database == nullptr;
    if (InjectedFailure(call.fn, call)) {
        Finish(std::move(call), false);
        return 0;
    }
    call.result = NewHandle(OpenHandle{true, {}, access});
    const ScHandle result = call.result;
    Finish(std::move(call), true);
    return result;
}

ScHandle FakeServices::OpenServiceW(ScHandle manager, const std::wstring& name,
                                    std::uint32_t access) {
    Advance();
    ServiceCall call = MakeCall(ServiceFn::OpenServiceW, manager, name, access);
    if (InjectedFailure(call.fn, call)) {
        Finish(std::move(call), false);
        return 0;
    }
    auto owner = handles_.find(manager);
    if (owner == handles_.end() || !owner->second.isManager) {
        Finish(std::move(call), false, svc::kErrorInvalidHandle);
        return 0;
    }
    auto it = services_.find(UpperCase(name));
    if (it == services_.end()) {
        Finish(std::move(call), false, svc::kErrorServiceDoesNotExist);
        return 0;
    }
    if ((access & it->second.deniedAccess) != 0) {
        Finish(std::move(call), false, svc::kErrorAccessDenied);
        return 0;
    }
    call.result = NewHandle(OpenHandle{false, it->first, access});
    const ScHandle result = call.result;
    Finish(std::move(call), true);
    return result;
}

bool FakeServices::ControlService(ScHandle service, std::uint32_t control, ServiceStatus& status) {
    Advance();
    ServiceCall call = MakeCall(ServiceFn::ControlService, service, {}, control);
    if (InjectedFailure(call.fn, call)) {
        return Finish(std::move(call), false);
    }
    if (control != svc::kControlStop) {
        return Finish(std::move(call), false, svc::kErrorInvalidServiceControl);
    }
    FakeService* target = ServiceOf(service, svc::kServiceStop, call);
    if (target == nullptr) {
        return Finish(std::move(call), false);
    }
    // The manager reports the current status along with these refusals.
    Fill(*target, status);
    if (target->state == svc::kStopped) {
        return Finish(std::move(call), false, svc::kErrorServiceNotActive);
    }
    if (target->state != svc::kRunning) {
        return Finish(std::move(call), false, svc::kErrorServiceCannotAcceptCtrl);
    }
    if ((target->controlsAccepted & svc::kAcceptStop) == 0) {
        return Finish(std::move(call), false, svc::kErrorInvalidServiceControl);
    }
    target->stopRequestedAt = system_.now;
    target->state = target->stopScript.empty() ? svc::kStopped : svc::kStopPending;
    target->checkPoint = 0;
    target->waitHint = 0;
    Advance();
    Fill(*target, status);
    return Finish(std::move(call), true);
}

bool FakeServices::QueryServiceStatus(ScHandle service, ServiceStatus& status) {
    Advance();
    ServiceCall call = MakeCall(ServiceFn::QueryServiceStatus, service);
    if (InjectedFailure(call.fn, call)) {
        return Finish(std::move(call), false);
    }
    FakeService* target = ServiceOf(service, svc::kServiceQueryStatus, call);
    if (target == nullptr) {
        return Finish(std::move(call), false);
    }
    Fill(*target, status);
    return Finish(std::move(call), true);
}

bool FakeServices::DeleteService(ScHandle service) {
    Advance();
    ServiceCall call = MakeCall(ServiceFn::DeleteService, service);
    if (InjectedFailure(call.fn, call)) {
        return Finish(std::move(call), false);
    }
    FakeService* target = ServiceOf(service, svc::kDelete, call);
    if (target == nullptr) {
        return Finish(std::move(call), false);
    }
    if (target->markedForDeletion) {
        return Finish(std::move(call), false, svc::kErrorServiceMarkedForDelete);
    }
    target->markedForDeletion = true;
    return Finish(std::move(call), true);
}

bool FakeServices::ChangeServiceConfigW(ScHandle service, std::uint32_t startType) {
    Advance();
    ServiceCall call = MakeCall(ServiceFn::ChangeServiceConfigW, service, {}, startType);
    if (InjectedFailure(call.fn, call)) {
        return Finish(std::move(call), false);
    }
    FakeService* target = ServiceOf(service, svc::kServiceChangeConfig, call);
    if (target == nullptr) {
        return Finish(std::move(call), false);
    }
    if (target->markedForDeletion) {
        return Finish(std::move(call), false, svc::kErrorServiceMarkedForDelete);
    }
    if (startType != svc::kNoChange) {
        if (startType > svc::kDisabled) {
            return Finish(std::move(call), false, kErrorInvalidParameter);
        }
        target->startType = startType;
    }
    return Finish(std::move(call), true);
}

bool FakeServices::CloseServiceHandle(ScHandle handle) {
    ServiceCall call = MakeCall(ServiceFn::CloseServiceHandle, handle);
    if (InjectedFailure(call.fn, call)) {
        return Finish(std::move(call), false);
    }
    if (handles_.erase(handle) == 0) {
        return Finish(std::move(call), false, svc::kErrorInvalidHandle);
    }
    Advance();
    return Finish(std::move(call), true);
}

}  // namespace hf::fake
