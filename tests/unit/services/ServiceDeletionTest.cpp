#include "services/ServiceControl.h"

#include "tests/unit/services/ServiceControlTestSupport.h"

#include <string>
#include <vector>

namespace hf::fake {
namespace {

using DeleteServiceByNameTest = ServiceControlTest;
using DisableServiceStartTest = ServiceControlTest;

TEST_F(DeleteServiceByNameTest, RunningServiceIsMarkedAndLeftRunning) {
    services.Add(L"hffilter");

    DeleteServiceByName(platform, L"hffilter");

    EXPECT_EQ(services.Log(), (std::vector<std::string>{
                                  "OpenSCManagerW(null, null, 0x1) = h1",
                                  "OpenServiceW(h1, \"hffilter\", 0x10000) = h2",
                                  "DeleteService(h2) = true",
                                  "CloseServiceHandle(h2) = true",
                                  "CloseServiceHandle(h1) = true",
                              }));
    const FakeService* service = services.Find(L"hffilter");
    ASSERT_NE(service, nullptr) << "a running service stays until it stops";
    EXPECT_EQ(service->state, svc::kRunning);
    EXPECT_TRUE(service->markedForDeletion);
}

struct QuietCase {
    const char* what;
    void (*arrange)(FakeServices&);
    std::vector<std::string> log;
};

// Each case on a fresh manager: `operation` raises nothing, makes exactly the case's calls and
// leaves no handle open.
void ExpectQuiet(void (*operation)(const Platform&, const std::wstring&),
                 const std::vector<QuietCase>& cases) {
    for (const QuietCase& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSystem localSystem;
        FakeServices localServices{localSystem};
        c.arrange(localServices);
        const Platform local{.system = &localSystem, .services = &localServices};

        EXPECT_NO_THROW(operation(local, L"hffilter"));

        EXPECT_EQ(localServices.Log(), c.log);
        EXPECT_EQ(localServices.OpenHandles(), 0u);
    }
}

TEST_F(DeleteServiceByNameTest, FailuresAreNotReported) {
    const std::vector<QuietCase> cases = {
        {"no such service",
         [](FakeServices&) {},
         {"OpenSCManagerW(null, null, 0x1) = h1",
          "OpenServiceW(h1, \"hffilter\", 0x10000) = 0 (error 1060)",
          "CloseServiceHandle(h1) = true"}},
        {"manager refused",
         [](FakeServices& s) {
             s.Add(L"hffilter");
             s.Fail(ServiceFn::OpenSCManagerW, 5);
         },
         {"OpenSCManagerW(null, null, 0x1) = 0 (error 5)"}},
        {"DELETE right refused",
         [](FakeServices& s) { s.Add(L"hffilter").deniedAccess = svc::kDelete; },
         {"OpenSCManagerW(null, null, 0x1) = h1",
          "OpenServiceW(h1, \"hffilter\", 0x10000) = 0 (error 5)",
          "CloseServiceHandle(h1) = true"}},
        {"already marked for deletion",
         [](FakeServices& s) { s.Add(L"hffilter").markedForDeletion = true; },
         {"OpenSCManagerW(null, null, 0x1) = h1", "OpenServiceW(h1, \"hffilter\", 0x10000) = h2",
          "DeleteService(h2) = false (error 1072)", "CloseServiceHandle(h2) = true",
          "CloseServiceHandle(h1) = true"}},
    };
    ExpectQuiet(&DeleteServiceByName, cases);
}

TEST_F(DeleteServiceByNameTest, MarkedServiceIsRemovedOnceTheLaterStopEnds) {
    // The cleaning run's order: mark first, then stop without deleting again.
    services.Add(L"hffilter").stopScript = {{0, svc::kStopPending, 1, 100},
                                            {200, svc::kStopped, 0, 0}};

    DeleteServiceByName(platform, L"hffilter");
    StopService(platform, L"hffilter", false, runBudget);

    EXPECT_EQ(services.CallsOf(ServiceFn::DeleteService).size(), 1u);
    EXPECT_EQ(system.sleeps, (std::vector<std::uint32_t>{100, 100}));
    EXPECT_FALSE(services.Exists(L"hffilter"));
    EXPECT_EQ(services.OpenHandles(), 0u);
}

TEST_F(DisableServiceStartTest, NameWithShellMetacharactersGoesToTheManagerUnchanged) {
    const std::wstring name = L"x & calc.exe | \"y\"";
    services.Add(name).startType = svc::kDemandStart;

    DisableServiceStart(platform, name);

    EXPECT_EQ(services.Log(), (std::vector<std::string>{
                                  "OpenSCManagerW(null, null, 0x1) = h1",
                                  "OpenServiceW(h1, \"x & calc.exe | \"y\"\", 0x2) = h2",
                                  "ChangeServiceConfigW(h2, 4) = true",
                                  "CloseServiceHandle(h2) = true",
                                  "CloseServiceHandle(h1) = true",
                              }));
    const FakeService* service = services.Find(name);
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->startType, svc::kDisabled);
    EXPECT_EQ(service->state, svc::kRunning) << "disabling does not stop";
    EXPECT_FALSE(service->markedForDeletion);
}

TEST_F(DisableServiceStartTest, FailuresAreNotReported) {
    const std::vector<QuietCase> cases = {
        {"no such service",
         [](FakeServices&) {},
         {"OpenSCManagerW(null, null, 0x1) = h1",
          "OpenServiceW(h1, \"hffilter\", 0x2) = 0 (error 1060)", "CloseServiceHandle(h1) = true"}},
        {"manager refused",
         [](FakeServices& s) {
             s.Add(L"hffilter");
             s.Fail(ServiceFn::OpenSCManagerW, 5);
         },
         {"OpenSCManagerW(null, null, 0x1) = 0 (error 5)"}},
        {"already marked for deletion",
         [](FakeServices& s) { s.Add(L"hffilter").markedForDeletion = true; },
         {"OpenSCManagerW(null, null, 0x1) = h1", "OpenServiceW(h1, \"hffilter\", 0x2) = h2",
          "ChangeServiceConfigW(h2, 4) = false (error 1072)", "CloseServiceHandle(h2) = true",
          "CloseServiceHandle(h1) = true"}},
    };
    ExpectQuiet(&DisableServiceStart, cases);
}

}  // namespace
}  // namespace hf::fake
