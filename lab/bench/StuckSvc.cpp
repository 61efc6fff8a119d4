// StuckSvc: a guard service that never finishes stopping. Asked to stop, it reports
// STOP_PENDING with the same checkpoint and wait hint, again and again, and never STOPPED:
// the worst case for a caller's bounded wait. Only ending its process (the sandbox's
// wineserver -k) ends it.

#include <windows.h>

#include "lab/plant/LabWin32.h"

namespace {

using hf::lab::KernelHandle;
using hf::lab::KernelHandleTraits;

constexpr DWORD kWaitHintMs = 1000;

struct ServiceContext {
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
    KernelHandle stopRequested{KernelHandleTraits{}};
    SERVICE_STATUS status{};

    void Report(DWORD state, DWORD checkPoint, DWORD waitHint) {
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwCurrentState = state;
        status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
        status.dwWin32ExitCode = NO_ERROR;
        status.dwCheckPoint = checkPoint;
        status.dwWaitHint = waitHint;
        ::SetServiceStatus(statusHandle, &status);
    }
};

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID context) {
    auto* service = static_cast<ServiceContext*>(context);
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            service->Report(SERVICE_STOP_PENDING, 1, kWaitHintMs);
            ::SetEvent(service->stopRequested.get());
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv) {
    ServiceContext service;
    service.stopRequested.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const wchar_t* name = argc > 0 ? argv[0] : L"RegGuardSvc";
    service.statusHandle = ::RegisterServiceCtrlHandlerExW(name, Handler, &service);
    if (service.statusHandle == nullptr || !service.stopRequested) {
        return;
    }
    service.Report(SERVICE_RUNNING, 0, 0);
    ::WaitForSingleObject(service.stopRequested.get(), INFINITE);
    // Stuck: the same progress, reported for ever.
    for (;;) {
        ::Sleep(kWaitHintMs / 2);
        service.Report(SERVICE_STOP_PENDING, 1, kWaitHintMs);
    }
}

}  // namespace

int wmain() {
    wchar_t name[] = L"RegGuardSvc";
    SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    if (!::StartServiceCtrlDispatcherW(table)) {
        hf::lab::PrintLine(
            hf::lab::Failure(L"StuckSvc: StartServiceCtrlDispatcherW", ::GetLastError()) +
            L" (this program runs as a service only)");
        return 1;
    }
    return 0;
}
