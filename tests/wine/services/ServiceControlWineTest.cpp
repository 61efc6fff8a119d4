// The service operations against the real service control manager, with real services: the
// fixture executable next to this test, registered under names of the tests' own and removed
// again at the end of each test.

#include "platform/Errors.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/ServicesWin32.h"
#include "platform/win32/SystemWin32.h"
#include "services/ServiceControl.h"
#include "tests/wine/common/WineTestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace hf {
namespace {

constexpr DWORD kStartTimeoutMs = 15'000;
constexpr DWORD kRemovalTimeoutMs = 10'000;

// The fixture service is the lab's guard service, RegGuardSvc: without an option it stops
// through STOP_PENDING with checkpoints 1 to 4 (a step each 150 ms), then STOPPED; "--refuse"
// accepts no control, so a stop is refused; "--stuck" stays STOP_PENDING with checkpoint 1 and
// a wait hint of 2 s once asked to stop.
std::wstring FixtureImage(const std::wstring& mode) {
    return L"\"" + wine::FromUnixPath(HF_SERVICES_FIXTURE) + L"\"" +
           (mode.empty() ? L"" : L" " + mode);
}

class ServiceControlWine : public ::testing::Test {
  protected:
    Win32SystemApi system;
    Win32ServiceApi services;
    Platform platform{.system = &system, .services = &services};
    StopWaitBudget budget;  // each test is one run: its stops share one budget
    UniqueNativeSc manager{NativeScTraits{},
                           ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)};
    std::vector<std::wstring> created;

    void SetUp() override { ASSERT_TRUE(manager) << "OpenSCManagerW: " << ::GetLastError(); }

    // Ends what a test left behind: kills a fixture process that still runs, deletes the entry.
    void TearDown() override {
        for (const std::wstring& name : created) {
            UniqueNativeSc service(NativeScTraits{},
                                   ::OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
            if (!service) {
                continue;
            }
            SERVICE_STATUS_PROCESS status{};
            DWORD needed = 0;
            if (::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO,
                                       reinterpret_cast<BYTE*>(&status), sizeof status, &needed) &&
                status.dwProcessId != 0) {
                UniqueKernelHandle process(
                    KernelHandleTraits{},
                    ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, status.dwProcessId));
                if (process) {
                    ::TerminateProcess(process.get(), 0);
                    ::WaitForSingleObject(process.get(), 5000);
                }
            }
            ::DeleteService(service.get());
        }
    }

    // Registers a fixture service (demand start) in `mode` and, when asked, starts it and waits
    // until it runs. Returns a handle with every right, for the test's own checks.
    UniqueNativeSc CreateFixture(const std::wstring& name, const std::wstring& mode, bool start) {
        const std::wstring image = FixtureImage(mode);
        UniqueNativeSc service(
            NativeScTraits{},
            ::CreateServiceW(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
        EXPECT_TRUE(service) << "CreateServiceW: " << ::GetLastError();
        if (!service) {
            return service;
        }
        created.push_back(name);
        if (start) {
            EXPECT_TRUE(::StartServiceW(service.get(), 0, nullptr))
                << "StartServiceW: " << ::GetLastError();
            const ULONGLONG deadline = ::GetTickCount64() + kStartTimeoutMs;
            while (State(service) != SERVICE_RUNNING && ::GetTickCount64() < deadline) {
                ::Sleep(50);
            }
            EXPECT_EQ(State(service), static_cast<DWORD>(SERVICE_RUNNING))
                << "fixture did not start";
        }
        return service;
    }

    static DWORD State(const UniqueNativeSc& service) {
        SERVICE_STATUS status{};
        return ::QueryServiceStatus(service.get(), &status) ? status.dwCurrentState : 0;
    }

    // The last error of opening `name`, or 0 when it opens (the service exists).
    DWORD OpenError(const std::wstring& name) {
        UniqueNativeSc service(NativeScTraits{},
                               ::OpenServiceW(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
        return service ? 0 : ::GetLastError();
    }

    // Waits until the manager has removed `name`; true when it has.
    bool WaitRemoved(const std::wstring& name) {
        const ULONGLONG deadline = ::GetTickCount64() + kRemovalTimeoutMs;
        while (OpenError(name) != ERROR_SERVICE_DOES_NOT_EXIST) {
            if (::GetTickCount64() >= deadline) {
                return false;
            }
            ::Sleep(50);
        }
        return true;
    }

    // Whether the service is marked for deletion: a second DeleteService says so.
    static bool MarkedForDeletion(const UniqueNativeSc& service) {
        if (::DeleteService(service.get())) {
            return false;  // it was not; now it is, which the test's cleanup would do anyway
        }
        return ::GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
    }
};

TEST_F(ServiceControlWine, StopServiceWaitsThroughRisingCheckpointsThenDeletes) {
    const std::wstring name = L"HfSvcSteps";
    UniqueNativeSc watch = CreateFixture(name, L"", true);
    ASSERT_TRUE(watch);

    StopService(platform, name, true, budget);

    // Our own handle keeps the entry until we close it.
    EXPECT_EQ(State(watch), static_cast<DWORD>(SERVICE_STOPPED))
        << "StopService returned before the service reported STOPPED";
    EXPECT_TRUE(MarkedForDeletion(watch));
    watch.reset();
    EXPECT_TRUE(WaitRemoved(name)) << "stopped, marked and closed, yet still registered";
}

TEST_F(ServiceControlWine, RefusedStopStillRequestsDeletion) {
    const std::wstring name = L"HfSvcRefuse";
    UniqueNativeSc watch = CreateFixture(name, L"--refuse", true);
    ASSERT_TRUE(watch);

    const ULONGLONG start = ::GetTickCount64();
    StopService(platform, name, true, budget);
    const ULONGLONG elapsed = ::GetTickCount64() - start;

    EXPECT_EQ(State(watch), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_LT(elapsed, 5000u) << "a refused stop has no wait";
    EXPECT_TRUE(MarkedForDeletion(watch));
}

TEST_F(ServiceControlWine, ServiceThatStaysStopPendingIsLeftAfterTheBound) {
    const std::wstring name = L"HfSvcPending";
    UniqueNativeSc watch = CreateFixture(name, L"--stuck", true);
    ASSERT_TRUE(watch);

    const ULONGLONG start = ::GetTickCount64();
    StopService(platform, name, false, budget);
    const ULONGLONG elapsed = ::GetTickCount64() - start;

    // A bound check, not a speed test: the wait ran to its limit and no further.
    EXPECT_GE(elapsed, kStopWaitLimitMs - 1000) << "the wait ended before its bound";
    EXPECT_LT(elapsed, 45'000u) << "the wait outlived its bound";
    EXPECT_EQ(State(watch), static_cast<DWORD>(SERVICE_STOP_PENDING));
    EXPECT_FALSE(MarkedForDeletion(watch)) << "deletion was not asked for";
}

TEST_F(ServiceControlWine, NeverStartedDriverIsDeletedWithoutWaiting) {
    // The stop of a driver that never ran is refused (1062); the deletion still goes through.
    const std::wstring name = L"HfSvcDriver";
    {
        UniqueNativeSc driver(
            NativeScTraits{},
            ::CreateServiceW(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                             SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             L"system32\\drivers\\hfsvcdriver.sys", nullptr, nullptr, nullptr,
                             nullptr, nullptr));
        ASSERT_TRUE(driver) << "CreateServiceW: " << ::GetLastError();
        created.push_back(name);
    }

    const ULONGLONG start = ::GetTickCount64();
    StopService(platform, name, true, budget);

    EXPECT_LT(::GetTickCount64() - start, 5000u);
    EXPECT_TRUE(WaitRemoved(name));
}

TEST_F(ServiceControlWine, DeleteServiceByNameLeavesARunningServiceRunningAndMarked) {
    const std::wstring name = L"HfSvcMarked";
    UniqueNativeSc watch = CreateFixture(name, L"", true);
    ASSERT_TRUE(watch);

    DeleteServiceByName(platform, name);

    EXPECT_EQ(State(watch), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_TRUE(MarkedForDeletion(watch));
    // Once it stops and the last handle closes, the manager removes it.
    SERVICE_STATUS status{};
    EXPECT_TRUE(::ControlService(watch.get(), SERVICE_CONTROL_STOP, &status));
    const ULONGLONG deadline = ::GetTickCount64() + kStartTimeoutMs;
    while (State(watch) != SERVICE_STOPPED && ::GetTickCount64() < deadline) {
        ::Sleep(50);
    }
    watch.reset();
    EXPECT_TRUE(WaitRemoved(name));
}

TEST_F(ServiceControlWine, MissingNamesAreQuiet) {
    const std::wstring name = L"HfSvcNoSuchService";
    ASSERT_EQ(OpenError(name), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));

    EXPECT_NO_THROW(StopService(platform, name, true, budget));
    EXPECT_NO_THROW(StopService(platform, name, false, budget));
    EXPECT_NO_THROW(DeleteServiceByName(platform, name));
    EXPECT_NO_THROW(DisableServiceStart(platform, name));
    EXPECT_EQ(OpenError(name), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(ServiceControlWine, DisableServiceStartChangesOnlyTheStartType) {
    // The second name would run two more commands if it ever reached a command interpreter.
    for (const std::wstring& name :
         {std::wstring(L"HfSvcDisable"), std::wstring(L"x & calc.exe | \"y\"")}) {
        SCOPED_TRACE(Utf16ToUtf8(name));
        UniqueNativeSc watch = CreateFixture(name, L"", false);
        ASSERT_TRUE(watch);

        DisableServiceStart(platform, name);

        DWORD needed = 0;
        ::QueryServiceConfigW(watch.get(), nullptr, 0, &needed);
        std::vector<BYTE> buffer(needed);
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        ASSERT_TRUE(::QueryServiceConfigW(watch.get(), config, needed, &needed))
            << "QueryServiceConfigW: " << ::GetLastError();
        EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_DISABLED));
        EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
        EXPECT_EQ(config->dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
        EXPECT_EQ(std::wstring(config->lpBinaryPathName), FixtureImage(L""));
        EXPECT_EQ(std::wstring(config->lpDisplayName), name);
        EXPECT_EQ(State(watch), static_cast<DWORD>(SERVICE_STOPPED));
    }
}

}  // namespace
}  // namespace hf

// The Wine ring links with -municode, whose start-up code calls wmain.
int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
