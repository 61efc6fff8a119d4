// What the end of the run says of the payloads the sweep found: each one there again or still,
// and not recorded for the restart, with the system's reason; and each candidate passed over
// for where it points, once.

#include "tasks/PayloadLedger.h"

#include "platform/Text.h"
#include "tasks/TaskSweep.h"
#include "tests/unit/tasks/TaskTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace hf {
namespace {

using Result = PayloadDeletionResult;

const std::wstring kPayload = L"C:\\Users\\u\\hf\\ab12cd34.dll";

TEST(PayloadLedger, RemainingPayloadsAreTheOnesThereWhenTheRunEnds) {
    const struct {
        const char* name;
        PayloadOutcome outcome;
        std::function<void(fake::FakeFileSystem&)> atTheEnd;
        std::vector<std::wstring> reasons;  // one per remaining payload
    } cases[] = {
        {"deleted and gone", {Result::kDeleted, 0}, [](auto&) {}, {}},
        {"deleted, then put back",
         {Result::kDeleted, 0},
         [](auto& f) { f.AddFile(kPayload); },
         {L"deleted, and there again when the run ended"}},
        {"kept: in use in a folder users can change",
         {Result::kKept, 32},
         [](auto& f) { f.AddFile(kPayload); },
         {L"System Error.  Code: 32.\r\nThe process cannot access the file"}},
        {"kept, and gone since", {Result::kKept, 5}, [](auto&) {}, {}},
        {"recorded for the restart: not looked at",
         {Result::kScheduledAtRestart, 0},
         [](auto& f) { f.AddFile(kPayload); },
         {}},
        {"its folder made a link meanwhile: it cannot be said to be gone",
         {Result::kDeleted, 0},
         [](auto& f) { f.AddLink(L"C:\\Users\\u\\hf", L"C:\\Users\\Admin"); },
         {L"a link on the way"}},
    };
    for (const auto& c : cases) {
        test::TaskMachine machine;
        machine.system.messages[32] = L"The process cannot access the file.\r\n";
        machine.files.AddDirectory(L"C:\\Users\\Admin");
        machine.files.AddDirectory(L"C:\\Users\\u");
        PayloadLedger ledger;
        ledger.Found(kPayload, {Result::kKept, 2});  // found twice: the later outcome counts
        ledger.Found(L"c:\\USERS\\u\\hf\\AB12CD34.DLL", c.outcome);
        c.atTheEnd(machine.files);
        std::vector<std::wstring> reasons;
        for (const RemainingPayload& payload : FindRemainingPayloads(machine.platform, ledger)) {
            EXPECT_EQ(kPayload, payload.path) << c.name;
            reasons.push_back(payload.reason);
        }
        EXPECT_EQ(test::Join(c.reasons), test::Join(reasons)) << c.name;
        EXPECT_EQ(0u, machine.files.OpenFileHandles()) << c.name;
    }
}

// Through the sweep: a payload held open in a user's folder is found and stays; a library behind
// a link is passed over, said once however many tasks name it.
TEST(PayloadLedger, TheSweepNotesWhatItFoundAndWhatItPassedOver) {
    test::TaskMachine machine;
    machine.files.AddFile(kPayload).heldWithoutDeleteSharing = true;
    machine.files.SetSecurity(
        L"C:\\Users\\u",
        {L"S-1-5-21-1-2-3-1001", true, {{0, 0, 0x001F01FF, L"S-1-5-21-1-2-3-1001"}}});
    machine.files.AddFile(L"C:\\Share\\cd34ab12.dll");
    machine.files.AddLink(L"C:\\Users\\u\\lnk", L"C:\\Share");
    auto& scheduler = machine.com.scheduler;
    scheduler.AddTask(L"\\", L"held",
                      test::TaskXml().Exec(test::kRundll32, kPayload + L",Qw3rty7890").Build());
    for (const wchar_t* name : {L"linked1", L"linked2"}) {
        scheduler.AddTask(L"\\", name,
                          test::TaskXml()
                              .Exec(test::kRundll32, L"C:\\Users\\u\\lnk\\cd34ab12.dll,Qw3rty7890")
                              .Build());
    }
    PayloadLedger ledger;
    std::vector<std::wstring> passedOver;
    ledger.onPassedOver = [&](const std::wstring& path, const std::wstring& why) {
        passedOver.push_back(path + L" (" + why + L")");
    };
    SweepScheduledTasks(machine.platform, ledger);
    EXPECT_EQ(L"[C:\\Users\\u\\lnk\\cd34ab12.dll (a link on the way)]", test::Join(passedOver));
    ASSERT_EQ(1u, ledger.Payloads().size());
    EXPECT_EQ(kPayload, ledger.Payloads()[0].path);
    EXPECT_EQ(Result::kKept, ledger.Payloads()[0].outcome.result);
    EXPECT_EQ(32u, ledger.Payloads()[0].outcome.error);
    EXPECT_EQ(1u, FindRemainingPayloads(machine.platform, ledger).size());
}

}  // namespace
}  // namespace hf
