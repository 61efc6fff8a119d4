// RegGuardSvc: the stand-in for the unwanted program's guard service. An own-process service
// that runs until it is told to stop, then stops the way real services do: through
// STOP_PENDING with a rising checkpoint and a wait hint, then STOPPED. The lab also installs
// it under other names, as a bystander service that must keep running.
// Started with "--stuck" after its program path (ImagePath), it accepts the stop control and
// then stays STOP_PENDING with a steady checkpoint for good, as a hung service does; with
// "--refuse" it accepts no control at all, so a stop is refused. (The Wine ring's service tests
// and the benchmark run it so too.)

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "lab/plant/LabWin32.h"

namespace {

using hf::lab::KernelHandle;
using hf::lab::KernelHandleTraits;

constexpr DWORD kStopSteps = 4;
constexpr DWORD kStopStepMs = 150;
constexpr DWORD kStuckHintMs = 2000;

// Whether the program's own command line (not the service's start arguments) has `option`.
bool CommandLineHas(const wchar_t* option) {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    bool found = false;
    for (int i = 1; argv != nullptr && i < argc; ++i) {
        found = found || std::wcscmp(argv[i], option) == 0;
    }
    ::LocalFree(argv);
    return found;
}

struct ServiceContext {
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
    KernelHandle stopRequested{KernelHandleTraits{}};
    SERVICE_STATUS status{};
    bool stuck = false;
    bool refuse = false;

    void Report(DWORD state, DWORD checkPoint, DWORD waitHint) {
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwCurrentState = state;
        status.dwControlsAccepted = state == SERVICE_RUNNING && !refuse ? SERVICE_ACCEPT_STOP : 0;
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
            if (service->refuse) {
                return ERROR_CALL_NOT_IMPLEMENTED;
            }
            service->Report(SERVICE_STOP_PENDING, 1,
                            service->stuck ? kStuckHintMs : 2 * kStopStepMs);
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
    service.stuck = CommandLineHas(L"--stuck");
    service.refuse = CommandLineHas(L"--refuse");
    service.stopRequested.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // The manager passes the name it started the service under.
    const wchar_t* name = argc > 0 ? argv[0] : L"RegGuardSvc";
    service.statusHandle = ::RegisterServiceCtrlHandlerExW(name, Handler, &service);
    if (service.statusHandle == nullptr) {
        return;
    }
    if (!service.stopRequested) {
        service.status.dwWin32ExitCode = ::GetLastError();
        service.Report(SERVICE_STOPPED, 0, 0);
        return;
    }
    service.Report(SERVICE_RUNNING, 0, 0);
    ::WaitForSingleObject(service.stopRequested.get(), INFINITE);
    if (service.stuck) {
        // STOP_PENDING, checkpoint 1, from the handler on: nothing more is ever reported. The
        // lab ends the process with the sandbox.
        ::Sleep(INFINITE);
    }
    // Winding down takes a little while, reported as progress the caller can wait on.
    for (DWORD checkPoint = 2; checkPoint <= kStopSteps; ++checkPoint) {
        ::Sleep(kStopStepMs);
        service.Report(SERVICE_STOP_PENDING, checkPoint, 2 * kStopStepMs);
    }
    ::Sleep(kStopStepMs);
    service.Report(SERVICE_STOPPED, 0, 0);
}

}  // namespace

int wmain() {
    // An own-process service: the manager starts the table's one entry whatever its name.
    wchar_t name[] = L"RegGuardSvc";
    SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    if (!::StartServiceCtrlDispatcherW(table)) {
        hf::lab::PrintLine(
            hf::lab::Failure(L"RegGuardSvc: StartServiceCtrlDispatcherW", ::GetLastError()) +
            L" (this program runs as a service only)");
        return 1;
    }
    return 0;
}
