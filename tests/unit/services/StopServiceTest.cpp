#include "services/ServiceControl.h"

#include "platform/Errors.h"
#include "tests/unit/services/ServiceControlTestSupport.h"

#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

namespace hf::fake {
namespace {

const std::wstring kName = L"RegGuardSvc";
const std::string kOpenManager = "OpenSCManagerW(null, null, 0x1) = h1";
const std::string kOpenService = "OpenServiceW(h1, \"RegGuardSvc\", 0x10024) = h2";

using StopServiceTest = ServiceControlTest;

std::vector<std::uint32_t> Repeat(std::uint32_t pause, std::size_t count) {
    return std::vector<std::uint32_t>(count, pause);
}

TEST_F(StopServiceTest, StoppedServiceIsDeletedOnTheSameHandleAndBothHandlesClosed) {
    services.Add(kName);  // no script: the stop takes effect at once

    StopService(platform, kName, true, runBudget);

    EXPECT_EQ(services.Log(), (std::vector<std::string>{
                                  kOpenManager,
                                  kOpenService,
                                  "ControlService(h2, 1) = true",
                                  "QueryServiceStatus(h2) = true",
                                  "DeleteService(h2) = true",
                                  "CloseServiceHandle(h2) = true",
                                  "CloseServiceHandle(h1) = true",
                              }));
    EXPECT_TRUE(system.sleeps.empty()) << "the first query reported the stopped state";
    EXPECT_FALSE(services.Exists(kName)) << "stopped, marked and closed: the manager removes it";
}

TEST_F(StopServiceTest, AsksForTheDeleteRightEvenWithoutDeletion) {
    for (const bool deleteAfterStop : {false, true}) {
        SCOPED_TRACE(deleteAfterStop ? "delete" : "no delete");
        FakeSystem localSystem;
        FakeServices localServices{localSystem};
        localServices.Add(kName);
        const Platform local{.system = &localSystem, .services = &localServices};
        StopWaitBudget localBudget;

        StopService(local, kName, deleteAfterStop, localBudget);

        const auto log = localServices.Log();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(log[0], kOpenManager);
        EXPECT_EQ(log[1], kOpenService);
        EXPECT_EQ(localServices.CallsOf(ServiceFn::DeleteService).size(),
                  deleteAfterStop ? 1u : 0u);
        EXPECT_EQ(localServices.Exists(kName), !deleteAfterStop);
        EXPECT_EQ(localServices.OpenHandles(), 0u);
    }
}

TEST_F(StopServiceTest, MissingServiceReturnsQuietlyAfterClosingTheManager) {
    for (const bool deleteAfterStop : {false, true}) {
        SCOPED_TRACE(deleteAfterStop ? "delete" : "no delete");
        FakeSystem localSystem;
        FakeServices localServices{localSystem};
        localServices.Add(L"OtherSvc");
        const Platform local{.system = &localSystem, .services = &localServices};
        StopWaitBudget localBudget;

        EXPECT_NO_THROW(StopService(local, kName, deleteAfterStop, localBudget));

        EXPECT_EQ(localServices.Log(), (std::vector<std::string>{
                                           kOpenManager,
                                           "OpenServiceW(h1, \"RegGuardSvc\", 0x10024) = 0 "
                                           "(error 1060)",
                                           "CloseServiceHandle(h1) = true",
                                       }));
        EXPECT_EQ(localServices.OpenHandles(), 0u);
        EXPECT_FALSE(localServices.Find(L"OtherSvc")->markedForDeletion);
    }
}

struct OpenFailureCase {
    const char* what;
    ServiceFn failing;
    std::uint32_t error;
    std::wstring message;
    std::vector<std::string> log;
};

TEST_F(StopServiceTest, FailedOpensRaiseTheSystemError) {
    const std::vector<OpenFailureCase> cases = {
        {"manager refused",
         ServiceFn::OpenSCManagerW,
         5,
         L"System Error.  Code: 5.\r\nAccess is denied",
         {"OpenSCManagerW(null, null, 0x1) = 0 (error 5)"}},
        {"manager unavailable",
         ServiceFn::OpenSCManagerW,
         1722,
         L"System Error.  Code: 1722.\r\nThe RPC server is unavailable",
         {"OpenSCManagerW(null, null, 0x1) = 0 (error 1722)"}},
        {"service refused",
         ServiceFn::OpenServiceW,
         5,
         L"System Error.  Code: 5.\r\nAccess is denied",
         {kOpenManager, "OpenServiceW(h1, \"RegGuardSvc\", 0x10024) = 0 (error 5)",
          "CloseServiceHandle(h1) = true"}},
        {"service name rejected",
         ServiceFn::OpenServiceW,
         123,
         L"System Error.  Code: 123.\r\nThe filename, directory name, or volume label syntax is "
         L"incorrect",
         {kOpenManager, "OpenServiceW(h1, \"RegGuardSvc\", 0x10024) = 0 (error 123)",
          "CloseServiceHandle(h1) = true"}},
        {"no error code",
         ServiceFn::OpenServiceW,
         0,
         L"A call to an OS function failed",
         {kOpenManager, "OpenServiceW(h1, \"RegGuardSvc\", 0x10024) = 0 (error 0)",
          "CloseServiceHandle(h1) = true"}},
    };
    for (const OpenFailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSystem localSystem;
        localSystem.messages[1722] = L"The RPC server is unavailable.\r\n";
        localSystem.messages[123] =
            L"The filename, directory name, or volume label syntax is incorrect.\r\n";
        FakeServices localServices{localSystem};
        localServices.Add(kName);
        localServices.Fail(c.failing, c.error);
        const Platform local{.system = &localSystem, .services = &localServices};
        StopWaitBudget localBudget;

        try {
            StopService(local, kName, true, localBudget);
            ADD_FAILURE() << "expected EOSError " << c.error << ", nothing was raised";
        } catch (const EOSError& e) {
            EXPECT_EQ(e.Code(), c.error);
            EXPECT_EQ(e.Message(), c.message);
        }
        EXPECT_EQ(localServices.Log(), c.log);
        EXPECT_EQ(localServices.OpenHandles(), 0u);
    }
}

TEST_F(StopServiceTest, DeniedDeleteRightRaisesAlsoWithoutDeletion) {
    services.Add(kName).deniedAccess = svc::kDelete;

    try {
        StopService(platform, kName, false, runBudget);
        ADD_FAILURE() << "expected EOSError 5, nothing was raised";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.Code(), 5u);
    }
    EXPECT_EQ(services.CallsOf(ServiceFn::ControlService).size(), 0u);
    EXPECT_EQ(services.Find(kName)->state, svc::kRunning);
    EXPECT_EQ(services.OpenHandles(), 0u);
}

struct RefusedStopCase {
    const char* what;
    std::uint32_t state;
    std::uint32_t controlsAccepted;
    std::uint32_t injectedError;  // 0: the refusal comes from the service's own state
    std::uint32_t expectedError;
};

TEST_F(StopServiceTest, RefusedStopSkipsTheWaitButStillRequestsDeletion) {
    const std::vector<RefusedStopCase> cases = {
        {"already stopped", svc::kStopped, svc::kAcceptStop, 0, 1062},
        {"stop not accepted", svc::kRunning, 0, 0, 1052},
        {"already stopping", svc::kStopPending, svc::kAcceptStop, 0, 1061},
        {"manager refuses", svc::kRunning, svc::kAcceptStop, 5, 5},
    };
    for (const RefusedStopCase& c : cases) {
        for (const bool deleteAfterStop : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (deleteAfterStop ? ", delete" : ", no delete"));
            FakeSystem localSystem;
            FakeServices localServices{localSystem};
            FakeService& service = localServices.Add(kName, c.state);
            service.controlsAccepted = c.controlsAccepted;
            if (c.injectedError != 0) {
                localServices.Fail(ServiceFn::ControlService, c.injectedError);
            }
            const Platform local{.system = &localSystem, .services = &localServices};
            StopWaitBudget localBudget;

            EXPECT_NO_THROW(StopService(local, kName, deleteAfterStop, localBudget));

            std::vector<std::string> expected = {
                kOpenManager, kOpenService,
                "ControlService(h2, 1) = false (error " + std::to_string(c.expectedError) + ")"};
            if (deleteAfterStop) {
                expected.push_back("DeleteService(h2) = true");
            }
            expected.push_back("CloseServiceHandle(h2) = true");
            expected.push_back("CloseServiceHandle(h1) = true");
            EXPECT_EQ(localServices.Log(), expected);
            EXPECT_TRUE(localSystem.sleeps.empty());
        }
    }
}

TEST_F(StopServiceTest, FailedFirstQuerySkipsTheWaitButStillRequestsDeletion) {
    services.Add(kName).stopScript = {{0, svc::kStopPending, 1, 500}};
    services.Fail(ServiceFn::QueryServiceStatus, 6);

    StopService(platform, kName, true, runBudget);

    EXPECT_EQ(services.Log(), (std::vector<std::string>{
                                  kOpenManager,
                                  kOpenService,
                                  "ControlService(h2, 1) = true",
                                  "QueryServiceStatus(h2) = false (error 6)",
                                  "DeleteService(h2) = true",
                                  "CloseServiceHandle(h2) = true",
                                  "CloseServiceHandle(h1) = true",
                              }));
    EXPECT_TRUE(system.sleeps.empty());
}

struct WaitCase {
    const char* what;
    std::vector<StatusStep> script;
    std::vector<std::uint32_t> sleeps;
    std::size_t queries;
    int failQueryAfter = -1;                        // the query that fails (0-based), if any
    std::uint64_t budgetMs = kRunStopWaitBudgetMs;  // what the run's budget still holds
};

TEST_F(StopServiceTest, WaitFollowsStateCheckpointAndHintWithinItsBounds) {
    constexpr std::uint32_t SP = svc::kStopPending;
    constexpr std::uint32_t kInf = svc::kInfinite;
    const std::vector<WaitCase> cases = {
        {"rising checkpoints end at the first query reporting STOPPED",
         {{0, SP, 1, 200}, {200, SP, 2, 200}, {400, SP, 3, 200}, {600, svc::kStopped, 0, 0}},
         {200, 200, 200},
         4},
        {"an unchanged checkpoint goes on waiting",
         {{0, SP, 5, 100}, {250, svc::kStopped, 0, 0}},
         {100, 100, 100},
         4},
        {"a checkpoint dropping from 5 to 2 ends the wait",
         {{0, SP, 5, 100}, {100, SP, 2, 100}, {1000, svc::kStopped, 0, 0}},
         {100},
         2},
        {"the checkpoint comparison is unsigned (0xFFFFFFFF to 0 is a drop)",
         {{0, SP, 0xFFFFFFFF, 100}, {100, SP, 0, 100}},
         {100},
         2},
        {"hint 0 pauses the smallest pause instead of spinning",
         {{0, SP, 1, 0}, {25, svc::kStopped, 0, 0}},
         {10, 10, 10},
         4},
        {"hint 0 forever ends at the bound", {{0, SP, 1, 0}}, Repeat(10, 3000), 3001},
        {"INFINITE hint pauses the largest pause and ends at the bound",
         {{0, SP, 1, kInf}},
         {10000, 10000, 10000},
         4},
        {"STOP_PENDING forever with a steady checkpoint ends at the bound",
         {{0, SP, 7, 1000}},
         Repeat(1000, 30),
         31},
        {"the last pause is cut to end at the bound",
         {{0, SP, 1, 7000}},
         {7000, 7000, 7000, 7000, 2000},
         6},
        {"back to RUNNING with a steady checkpoint ends at the bound",
         {{0, SP, 1, 1000}, {1500, svc::kRunning, 1, 1000}},
         Repeat(1000, 30),
         31},
        {"a failed query during the wait ends it", {{0, SP, 1, 100}}, {100, 100, 100}, 4, 3},
        {"what is left of the run's budget bounds the wait below 30 s",
         {{0, SP, 7, 1000}},
         {1000, 1000, 500},
         4,
         -1,
         2500},
        {"a spent budget: the control and one query, no pause", {{0, SP, 7, 1000}}, {}, 1, -1, 0},
        {"a stop ending early spends only what it waited",
         {{0, SP, 1, 200}, {300, svc::kStopped, 0, 0}},
         {200, 200},
         3,
         -1,
         1000},
    };
    for (const WaitCase& c : cases) {
        SCOPED_TRACE(c.what);
        FakeSystem localSystem;
        FakeServices localServices{localSystem};
        localServices.Add(kName).stopScript = c.script;
        if (c.failQueryAfter >= 0) {
            localServices.Fail(ServiceFn::QueryServiceStatus, 6, c.failQueryAfter, 1);
        }
        const Platform local{.system = &localSystem, .services = &localServices};
        const std::uint64_t start = localSystem.now;
        StopWaitBudget budget(c.budgetMs);

        StopService(local, kName, true, budget);

        EXPECT_EQ(localSystem.sleeps, c.sleeps);
        const std::uint64_t waited =
            std::accumulate(c.sleeps.begin(), c.sleeps.end(), std::uint64_t{0});
        EXPECT_EQ(localSystem.now - start, waited);
        EXPECT_EQ(budget.RemainingMs(), c.budgetMs - waited) << "the wait spends what it took";
        EXPECT_LE(localSystem.now - start, kStopWaitLimitMs);
        EXPECT_EQ(localServices.CallsOf(ServiceFn::QueryServiceStatus).size(), c.queries);
        // The wait over, deletion is requested on the same handle, then both handles close.
        const auto log = localServices.Log();
        ASSERT_GE(log.size(), 3u);
        EXPECT_EQ(log[log.size() - 3], "DeleteService(h2) = true");
        EXPECT_EQ(log[log.size() - 2], "CloseServiceHandle(h2) = true");
        EXPECT_EQ(log[log.size() - 1], "CloseServiceHandle(h1) = true");
        EXPECT_EQ(localServices.OpenHandles(), 0u);
    }
}

TEST_F(StopServiceTest, HandlesAreClosedServiceFirstWhenAnythingFailsAfterTheOpen) {
    services.Add(kName).stopScript = {{0, svc::kStopPending, 1, 100}};
    services.Fail(ServiceFn::QueryServiceStatus, 6, 1);
    services.Fail(ServiceFn::DeleteService, 5);

    EXPECT_NO_THROW(StopService(platform, kName, true, runBudget));

    ExpectClosedServiceThenManager();
    EXPECT_FALSE(services.Find(kName)->markedForDeletion);
}

}  // namespace
}  // namespace hf::fake
