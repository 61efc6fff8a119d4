// The run with the real stages over the fake Windows: what the user sees when a stage fails
// for real, not through a stand-in stage, and the whole run through the last stage.

#include "app/core/CleaningRun.h"
#include "app/core/PlatformStages.h"
#include "app/core/QuietRun.h"
#include "platform/Recording.h"
#include "platform/WhatIf.h"

#include "platform/Platform.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeScheduler.h"
#include "tests/fakes/FakeServices.h"
#include "tests/fakes/FakeShell.h"
#include "tests/fakes/FakeSystem.h"
#include "tests/fakes/FakeVersion.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>
#include <vector>

namespace hf {
namespace {

using fake::ServiceFn;

// The native drivers folder, which the 32-bit tool reaches through Sysnative.
const std::wstring kDrivers = L"C:\\Windows\\System32\\drivers\\";
const std::wstring kServices = L"SYSTEM\\CurrentControlSet\\Services\\";

class Form final : public MainFormUi {
  public:
    void SetProgressPosition(int position) override { positions.push_back(position); }
    void SetProgressMax(int) override {}
    void DiscardPendingInput() override { ++discards; }
    int AskYesNo(const std::wstring&) override {
        ++questions;
        return kIdNo;
    }
    void ShowMessage(const std::wstring& text) override { messages.push_back(text); }
    void CloseMainWindow() override { closed = true; }

    std::vector<int> positions;
    std::vector<std::wstring> messages;
    int questions = 0;
    int discards = 0;
    bool closed = false;
};

// Every fake the six stages reach. The task sweep finds no scheduler object and ends silently,
// so the run reaches the service stages with nothing else in the way.
struct FakeMachine {
    FakeMachine() {
        com.createServiceResult = fake::kHResultFileNotFound;
        files.wow64 = true;
        files.AddDirectory(kDrivers);
    }

    // A driver file whose version resource names it "hfFilter.sys".
    void AddDriverFile(const std::wstring& name) {
        fake::FakeVersionResource resource;
        resource.AddTranslation(0x0409, 0x04B0)
            .SetString(L"040904B0", L"OriginalFileName", L"hfFilter.sys");
        files.AddFile(kDrivers + name, resource);
    }

    // A service with its key; `stuck`: it accepts the stop and then stays STOP_PENDING with a
    // steady checkpoint for good.
    fake::FakeService& AddService(const std::wstring& name, const std::wstring& imagePath,
                                  bool stuck) {
        registry.SetString(kServices + name, L"ImagePath", imagePath, reg::kTypeExpandSz);
        fake::FakeService& service = services.Add(name);
        if (stuck) {
            service.stopScript = {{0, svc::kStopPending, 1, 1000}};
        }
        return service;
    }

    // The infection the quiet table shares: a running guard, one driver service loading a file
    // that names itself "hfFilter.sys", a bystander, the filter driver's service and its key.
    void AddInfection() {
        AddService(L"RegGuardSvc", L"\"C:\\Program Files\\RegGuard\\RegGuardSvc.exe\"", false);
        AddDriverFile(L"hfcore.sys");
        AddService(L"HfCore", L"system32\\drivers\\hfcore.sys", false);
        AddService(L"Bystander", L"system32\\drivers\\other.sys", false);
        services.Add(L"hffilter");
        registry.SetString(kServices + L"hfFilter", L"ImagePath",
                           L"system32\\drivers\\hfFilter.sys");
        registry.SetDword(kServices + L"hfFilter\\Instances\\Main", L"Altitude", 1);
    }

    void Run() { btnStartClick(form, stages, shell); }

    fake::FakeSystem system;
    fake::FakeServices services{system};
    fake::FakeCom com;
    fake::FakeFileSystem files{system};
    fake::FakeVersion version{system, files};
    fake::FakeRegistry registry;
    fake::FakeShell shell;
    Platform platform{.system = &system,
                      .services = &services,
                      .shell = &shell,
                      .files = &files,
                      .version = &version,
                      .registry = &registry,
                      .com = &com};
    PlatformStages stages{platform};
    Form form;
};

class PlatformStagesTest : public ::testing::Test, protected FakeMachine {
  protected:
    using FakeMachine::Run;
};

TEST_F(PlatformStagesTest, RefusedGuardServiceEndsTheRunWithTheSystemErrorAt20) {
    services.Add(L"RegGuardSvc");
    services.Fail(fake::ServiceFn::OpenServiceW, 5);

    Run();

    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0],
              L"에러발생 재부팅 후 다시시도하세요 : System Error.  Code: 5.\r\nAccess is denied");
    EXPECT_EQ(form.positions, (std::vector<int>{0, 20})) << "the bar stays after the task sweep";
    EXPECT_EQ(form.questions, 0);
    EXPECT_EQ(form.discards, 1) << "before the error box";
    EXPECT_FALSE(form.closed);
    EXPECT_TRUE(services.Exists(L"RegGuardSvc"));
    EXPECT_EQ(services.OpenHandles(), 0u);
    EXPECT_TRUE(shell.calls.empty());
}

TEST_F(PlatformStagesTest, TheWholeRunRemovesEveryPieceThroughTheLastStage) {
    AddInfection();
    registry.SetString(kServices + L"hfFilter", L"", L"default");
    registry.AddKey(kServices + L"hfFilter\\Enum");

    Run();

    EXPECT_TRUE(form.messages.size() == 1 && form.messages[0] == kRestartReminder)
        << testing::PrintToString(form.messages);
    EXPECT_EQ(form.positions, (std::vector<int>{0, 20, 30, 40, 50, 60, 70, 100}));
    EXPECT_EQ(form.questions, 1);
    EXPECT_EQ(form.discards, 2) << "before the question and before the reminder";
    EXPECT_TRUE(form.closed);
    for (const auto& name : {L"RegGuardSvc", L"HfCore", L"hffilter"}) {
        EXPECT_FALSE(services.Exists(name)) << "stopped, marked and closed: " << name;
    }
    EXPECT_TRUE(services.Exists(L"Bystander"));
    EXPECT_EQ(services.Find(L"Bystander")->state, svc::kRunning);
    EXPECT_FALSE(registry.KeyExists(kServices + L"HfCore"));
    EXPECT_FALSE(registry.KeyExists(kServices + L"hfFilter")) << "purged by the last stage";
    EXPECT_TRUE(registry.KeyExists(kServices + L"Bystander"));
    EXPECT_TRUE(registry.KeyExists(kServices + L"RegGuardSvc")) << "only the manager removes it";
    EXPECT_EQ(services.OpenHandles(), 0u);
    EXPECT_EQ(registry.OpenHandles(), 0);
    EXPECT_EQ(files.OpenFindHandles(), 0u);
    EXPECT_TRUE(shell.calls.empty());
}

// Stage 2 spends 30 s on the stuck guard, the first of ten stuck driver services the other 30 s;
// the nine after it and the stuck filter driver are asked once each and not waited for.
TEST_F(PlatformStagesTest, StuckServicesShareOneSixtySecondBudgetAcrossTheRun) {
    AddService(L"RegGuardSvc", L"guard.exe", true);
    AddDriverFile(L"hfcore.sys");
    std::vector<std::wstring> drivers;
    for (int i = 0; i < 10; ++i) {
        drivers.push_back(L"HfCore" + std::to_wstring(i));
        AddService(drivers.back(), L"system32\\drivers\\hfcore.sys", true);
    }
    AddService(L"hffilter", L"system32\\drivers\\hfFilter.sys", true);
    const std::uint64_t start = system.now;

    Run();

    EXPECT_EQ(system.now - start, kRunStopWaitBudgetMs) << "the whole run's waits";
    EXPECT_EQ(system.sleeps, std::vector<std::uint32_t>(60, 1000));
    EXPECT_EQ(form.positions, (std::vector<int>{0, 20, 30, 40, 50, 60, 70, 100}));
    EXPECT_EQ(form.questions, 1);
    // Every stop still sends its control; the spent budget leaves one status query per stop.
    const auto controls = services.CallsOf(ServiceFn::ControlService);
    ASSERT_EQ(controls.size(), 12u);
    const auto queries = services.CallsOf(ServiceFn::QueryServiceStatus);
    EXPECT_EQ(queries.size(), (1 + 30) + (1 + 30) + 9 + 1);
    for (const auto& name : drivers) {
        const fake::FakeService* service = services.Find(name);
        ASSERT_NE(service, nullptr) << "stuck, so the manager keeps it: " << name;
        EXPECT_EQ(service->state, svc::kStopPending) << name;
        EXPECT_TRUE(service->markedForDeletion) << name;
        EXPECT_EQ(service->startType, svc::kDisabled) << name;
        EXPECT_FALSE(registry.KeyExists(kServices + name)) << name;
    }
    EXPECT_TRUE(services.Find(L"RegGuardSvc")->markedForDeletion) << "deleted after its stop";
    EXPECT_EQ(services.Find(L"hffilter")->state, svc::kStopPending) << "asked to stop all the same";
    EXPECT_EQ(services.OpenHandles(), 0u);
}

// The quiet run over the real stages, observed through the recording layer: the exit code and
// the report come from what the fake Windows answered.
TEST(QuietRun, ExitCodeAndReportFollowWhatTheRunDid) {
    const std::wstring k = L"HKLM\\SYSTEM\\CurrentControlSet\\Services\\";
    const std::vector<Change> kInfected = {
        {L"service-stopped", L"RegGuardSvc"},
        {L"service-deleted", L"RegGuardSvc"},
        {L"key-deleted", k + L"HfCore"},
        {L"service-disabled", L"HfCore"},
        {L"service-deleted", L"HfCore"},
        {L"service-stopped", L"HfCore"},
        {L"service-deleted", L"hffilter"},
        {L"service-stopped", L"hffilter"},
        {L"key-deleted", k + L"hfFilter\\Instances\\Main"},
        {L"key-deleted", k + L"hfFilter\\Instances"},
        {L"value-deleted", k + L"hfFilter\\ImagePath"},
        {L"key-deleted", k + L"hfFilter"},
    };
    struct Case {
        const char* name;
        std::function<void(FakeMachine&)> setUp;
        bool forceRestart;
        int exitCode;
        std::vector<Change> report;  // without the restart's start
        std::wstring failure;
    };
    const std::vector<Case> cases = {
        {"clean machine", [](FakeMachine&) {}, false, 0, {}, L""},
        {"clean machine, /forcerestart: no restart", [](FakeMachine&) {}, true, 0, {}, L""},
        {"infected", [](FakeMachine& m) { m.AddInfection(); }, false, 3010, kInfected, L""},
        {"infected, /forcerestart", [](FakeMachine& m) { m.AddInfection(); }, true, 1641, kInfected,
         L""},
        {"infected, /forcerestart, the restart cannot start",
         [](FakeMachine& m) {
             m.AddInfection();
             m.shell.createProcessFailure = 2;
         },
         true, 3010, kInfected, L""},
        {"infected, /forcerestart, the start throws",
         [](FakeMachine& m) {
             m.AddInfection();
             m.shell.onCall = [](const fake::CreateProcessCall&) { throw std::bad_alloc(); };
         },
         true, 3010, kInfected, L""},
        // A refused call changed nothing and is not reported; the stop alone is a change.
        {"infected, every deletion and disabling refused",
         [](FakeMachine& m) {
             m.AddInfection();
             m.services.Fail(ServiceFn::DeleteService, 5);
             m.services.Fail(ServiceFn::ChangeServiceConfigW, 5);
             for (const auto* key :
                  {L"HfCore", L"hfFilter", L"hfFilter\\Instances", L"hfFilter\\Instances\\Main"}) {
                 m.registry.FindKey(kServices + key)->refuseDelete = true;
             }
             m.registry.FindKey(kServices + L"hfFilter")->refuseValueDelete = {L"ImagePath"};
         },
         false,
         3010,
         {{L"service-stopped", L"RegGuardSvc"},
          {L"service-stopped", L"HfCore"},
          {L"service-stopped", L"hffilter"}},
         L""},
        // The guard cannot be opened: the later stages never run, the driver service stays.
        {"a failing stage",
         [](FakeMachine& m) {
             m.AddInfection();
             m.services.Fail(ServiceFn::OpenServiceW, 5);
         },
         true,
         1603,
         {},
         L"에러발생 재부팅 후 다시시도하세요 : System Error.  Code: 5.\r\nAccess is denied"},
    };
    for (const Case& c : cases) {
        FakeMachine m;
        c.setUp(m);
        // /detect first, on the same machine: the lines /quiet then writes, and no change.
        {
            ChangeLog foreseen;
            PayloadLedger ledger;
            const WhatIfPlatform unchanged(m.platform);
            const RecordingPlatform recording(unchanged.Get(), foreseen);
            PlatformStages stages(recording.Get());
            const QuietOutcome detected = RunDetect(stages, foreseen, ledger);
            const bool refusals = std::string(c.name).find("refused") != std::string::npos;
            EXPECT_EQ(detected.exitCode, c.exitCode == 1603 ? 1603
                                         : c.report.empty() ? 0
                                                            : 1)
                << c.name;
            if (!refusals) {  // the what-if layer cannot foresee a refusal of the call itself
                EXPECT_EQ(foreseen.Changes(), c.report) << "/detect: " << c.name;
            }
            for (const auto fn : {ServiceFn::ControlService, ServiceFn::DeleteService,
                                  ServiceFn::ChangeServiceConfigW}) {
                EXPECT_TRUE(m.services.CallsOf(fn).empty()) << "/detect changed a service";
            }
            EXPECT_TRUE(m.registry.CallsTo(L"NtDeleteKey").empty() &&
                        m.registry.CallsTo(L"RegDeleteValueW").empty())
                << "/detect changed the registry";
        }
        ChangeLog changes;
        const RecordingPlatform recording(m.platform, changes);
        PlatformStages stages(recording.Get());

        PayloadLedger ledger;
        const QuietOutcome outcome =
            RunQuiet(stages, recording.Get().Shell(), changes, ledger, c.forceRestart);

        EXPECT_EQ(outcome.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(outcome.failure, c.failure) << c.name;
        // After changes, /forcerestart starts the system folder's shutdown.exe, hidden, as the
        // window's Yes does; the report names it when it started.
        const std::wstring shutdown = L"\"C:\\Windows\\system32\\shutdown.exe\" -r -t 00";
        const fake::CreateProcessCall restart{L"C:\\Windows\\system32\\shutdown.exe", shutdown,
                                              L"C:\\Windows\\system32", 0};
        EXPECT_EQ(m.shell.calls, std::vector<fake::CreateProcessCall>(
                                     c.forceRestart && !c.report.empty() ? 1 : 0, restart))
            << c.name;
        std::vector<Change> report = c.report;
        if (c.exitCode == 1641) {
            report.push_back({L"started", shutdown});
        }
        EXPECT_EQ(changes.Changes(), report) << c.name;
        if (c.exitCode == 1603) {
            EXPECT_TRUE(m.registry.KeyExists(kServices + L"HfCore")) << "stage 3 did not run";
            EXPECT_TRUE(m.services.Exists(L"hffilter")) << "stage 4 did not run";
        }
    }
}

}  // namespace
}  // namespace hf
