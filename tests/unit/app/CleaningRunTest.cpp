#include "app/core/CleaningRun.h"
#include "app/core/MissingLibrary.h"
#include "app/core/QuietRun.h"

#include "platform/Errors.h"
#include "tests/fakes/FakeShell.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace hf {
namespace {

using Log = std::vector<std::wstring>;

std::wstring Join(const Log& log) {
    std::wstring text;
    for (const auto& entry : log) {
        text += L"  " + entry + L"\n";
    }
    return text;
}

// The window as the run sees it; every call goes into the shared log.
class RecordingForm final : public MainFormUi {
  public:
    explicit RecordingForm(Log& log) : log_(log) {}

    void SetProgressPosition(int position) override {
        log_.push_back(L"position " + std::to_wstring(position));
        position_ = position;
    }
    void SetProgressMax(int maximum) override {
        log_.push_back(L"max " + std::to_wstring(maximum));
    }
    void DiscardPendingInput() override { log_.push_back(L"discard input"); }
    int AskYesNo(const std::wstring& text) override {
        log_.push_back(L"ask " + text);
        return answer;
    }
    void ShowMessage(const std::wstring& text) override {
        log_.push_back(L"message " + text);
        messages.push_back(text);
    }
    void CloseMainWindow() override { log_.push_back(L"close"); }

    int Position() const { return position_; }

    int answer = kIdNo;
    std::vector<std::wstring> messages;

  private:
    Log& log_;
    int position_ = -1;
};

// The stages, logged by name and arguments; `failures` makes one stage raise. The stages that
// get the wait budget note what is left of it and spend `spendMs` of it.
class RecordingStages final : public CleaningStages {
  public:
    explicit RecordingStages(Log& log) : log_(log) {}

    void SweepScheduledTasks(PayloadLedger&) override { Enter(L"SweepScheduledTasks"); }
    void StopService(const std::wstring& name, bool deleteAfterStop,
                     StopWaitBudget& budget) override {
        Spend(budget);
        Enter(L"StopService " + name + (deleteAfterStop ? L" delete" : L" keep"));
    }
    void RemoveDriverServices(StopWaitBudget& budget) override {
        Spend(budget);
        Enter(L"RemoveDriverServices");
    }
    void DeleteServiceByName(const std::wstring& name) override {
        Enter(L"DeleteServiceByName " + name);
    }
    void PurgeFilterServiceKey() override { Enter(L"PurgeFilterServiceKey"); }
    std::vector<RemainingPayload> RemainingPayloads(const PayloadLedger&) override {
        Enter(L"RemainingPayloads");
        return remaining;
    }

    std::vector<RemainingPayload> remaining;
    // Stage entry (as logged) -> what it raises.
    std::map<std::wstring, std::function<void()>> failures;
    std::uint64_t spendMs = 0;
    std::vector<std::uint64_t> budgetSeen;

  private:
    void Spend(StopWaitBudget& budget) {
        budgetSeen.push_back(budget.RemainingMs());
        budget.Spend(spendMs);
    }
    void Enter(const std::wstring& entry) {
        log_.push_back(entry);
        if (auto it = failures.find(entry); it != failures.end()) {
            it->second();
        }
    }

    Log& log_;
};

class CleaningRunTest : public ::testing::Test {
  protected:
    CleaningRunTest() {
        shell.onCall = [this](const fake::CreateProcessCall& call) {
            log.push_back(L"start " + call.application + L" [" + call.commandLine + L"] in " +
                          call.currentDirectory + L" show " + std::to_wstring(call.showCommand));
        };
    }

    void Run() { btnStartClick(form, stages, shell); }

    Log log;
    RecordingForm form{log};
    RecordingStages stages{log};
    fake::FakeSystem system;
    fake::FakeShell shell{system};
};

// Every stage with the bar position the run sets after it, up to the question.
const Log kStagesAndPositions = {
    L"position 0",
    L"max 100",
    L"SweepScheduledTasks",
    L"position 20",
    L"StopService RegGuardSvc delete",
    L"position 30",
    L"RemoveDriverServices",
    L"position 40",
    L"DeleteServiceByName hffilter",
    L"position 50",
    L"StopService hffilter keep",
    L"position 60",
    L"PurgeFilterServiceKey",
    L"position 70",
    L"position 100",
    L"RemainingPayloads",
    L"discard input",
    std::wstring(L"ask ") + kRestartQuestion,
};

template <typename T>
std::vector<T> Concat(std::vector<T> a, const std::vector<T>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::wstring kShutdown =
    L"start C:\\Windows\\system32\\shutdown.exe [\"C:\\Windows\\system32\\shutdown.exe\" -r -t 00] "
    L"in C:\\Windows\\system32 show 0";
const std::wstring kReminder = std::wstring(L"message ") + kRestartReminder;
const std::wstring kDiscard = L"discard input";

TEST_F(CleaningRunTest, AnswersDecideBetweenRestartAndReminder) {
    struct Case {
        int answer;
        const char* meaning;
        Log tail;
    };
    const Case cases[] = {
        {kIdYes, "Yes", {kShutdown}},
        {kIdNo, "No", {kDiscard, kReminder, L"close"}},
        {2, "Escape (IDCANCEL)", {kDiscard, kReminder, L"close"}},
        {0, "closed without a result", {kDiscard, kReminder, L"close"}},
        {1, "IDOK, not Yes", {kDiscard, kReminder, L"close"}},
        {-1, "dialog failed", {kDiscard, kReminder, L"close"}},
    };
    for (const Case& c : cases) {
        log.clear();
        form.answer = c.answer;
        Run();
        const Log expected = Concat(kStagesAndPositions, c.tail);
        EXPECT_EQ(log, expected) << "answer " << c.answer << " (" << c.meaning << ")\nexpected:\n"
                                 << testing::PrintToString(Join(expected)) << "\ngot:\n"
                                 << testing::PrintToString(Join(log));
        EXPECT_EQ(form.Position(), 100) << "answer " << c.answer;
    }
}

// Yes starts the system folder's shutdown.exe by its full path, hidden, in the system folder:
// never a bare name, which a search could resolve to a program put in the current directory or
// beside the tool. A failure on the way is not reported.
TEST_F(CleaningRunTest, YesStartsTheSystemFoldersShutdownByItsFullPath) {
    struct Case {
        const char* why;
        std::wstring systemDirectory;
        std::optional<std::uint32_t> directoryFailure;
        std::optional<std::uint32_t> startFailure;
        std::vector<fake::CreateProcessCall> expected;
    };
    auto started = [](const std::wstring& folder, const std::wstring& exe) {
        return std::vector<fake::CreateProcessCall>{
            {exe, L"\"" + exe + L"\" -r -t 00", folder, kSwHide}};
    };
    const Case cases[] = {
        {"the system folder",
         L"C:\\Windows\\system32",
         {},
         {},
         started(L"C:\\Windows\\system32", L"C:\\Windows\\system32\\shutdown.exe")},
        {"another Windows folder",
         L"D:\\WINNT\\System32",
         {},
         {},
         started(L"D:\\WINNT\\System32", L"D:\\WINNT\\System32\\shutdown.exe")},
        {"a folder with a blank",
         L"C:\\My Windows\\system32",
         {},
         {},
         started(L"C:\\My Windows\\system32", L"C:\\My Windows\\system32\\shutdown.exe")},
        {"a root keeps its one separator", L"C:\\", {}, {}, started(L"C:\\", L"C:\\shutdown.exe")},
        {"no system folder: nothing started", L"C:\\Windows\\system32", 5u, {}, {}},
        {"an empty system folder: nothing started", L"", {}, {}, {}},
        {"the start fails: not reported",
         L"C:\\Windows\\system32",
         {},
         2u,
         started(L"C:\\Windows\\system32", L"C:\\Windows\\system32\\shutdown.exe")},
    };
    for (const Case& c : cases) {
        fake::FakeShell caseShell(system);
        caseShell.systemDirectory = c.systemDirectory;
        caseShell.systemDirectoryFailure = c.directoryFailure;
        caseShell.createProcessFailure = c.startFailure;
        RecordingForm caseForm(log);
        caseForm.answer = kIdYes;
        btnStartClick(caseForm, stages, caseShell);
        EXPECT_EQ(caseShell.calls, c.expected) << c.why;
        EXPECT_TRUE(caseForm.messages.empty()) << c.why;
        EXPECT_EQ(caseForm.Position(), 100) << c.why;
    }
}

TEST_F(CleaningRunTest, StageFailureShowsOneErrorBoxAndStopsTheBar) {
    struct Case {
        std::wstring stage;
        int position;
        std::function<void()> raise;
        std::wstring message;
    };
    const std::vector<Case> cases = {
        {L"SweepScheduledTasks", 0,
         [] { throw EOleException(static_cast<std::int32_t>(0x80070005), L"Access is denied"); },
         L"Access is denied"},
        {L"StopService RegGuardSvc delete", 20,
         [] { throw EOSError(5, L"System Error.  Code: 5.\r\nAccess is denied"); },
         L"System Error.  Code: 5.\r\nAccess is denied"},
        {L"RemoveDriverServices", 30,
         [] { throw ERegistryException(L"Invalid data type for 'ImagePath'"); },
         L"Invalid data type for 'ImagePath'"},
        // The real deletion request never raises; the run still treats a raise like any other.
        {L"DeleteServiceByName hffilter", 40, [] { throw Exception(L"refused"); }, L"refused"},
        {L"StopService hffilter keep", 50,
         [] { throw EOSError(0, L"A call to an OS function failed"); },
         L"A call to an OS function failed"},
        {L"PurgeFilterServiceKey", 60,
         [] { throw EStringListError(L"List index out of bounds (3)"); },
         L"List index out of bounds (3)"},
    };
    for (const Case& c : cases) {
        Log runLog;
        RecordingForm failingForm(runLog);
        RecordingStages failingStages(runLog);
        fake::FakeShell failingShell;
        failingStages.failures[c.stage] = c.raise;

        btnStartClick(failingForm, failingStages, failingShell);

        // Everything up to and including the failing stage, then the error box, nothing more.
        Log expected;
        for (const auto& entry : kStagesAndPositions) {
            expected.push_back(entry);
            if (entry == c.stage) {
                break;
            }
        }
        expected.push_back(kDiscard);
        expected.push_back(std::wstring(L"message ") + kErrorPrefix + c.message);
        EXPECT_EQ(runLog, expected)
            << "failing stage " << testing::PrintToString(c.stage) << "\nexpected:\n"
            << testing::PrintToString(Join(expected)) << "\ngot:\n"
            << testing::PrintToString(Join(runLog));
        EXPECT_EQ(failingForm.Position(), c.position)
            << "bar after a failure in " << testing::PrintToString(c.stage);
        EXPECT_TRUE(failingShell.calls.empty());
    }
}

// A payload still there after the last stage ends the run in the error box naming it, instead of
// the restart question; the bar stays at 100 and the window stays open.
TEST_F(CleaningRunTest, APayloadThatRemainsEndsTheRunInTheErrorBox) {
    stages.remaining = {
        {L"C:\\Users\\u\\hf.dll", L"System Error.  Code: 32.\r\nIn use"},
        {L"C:\\Users\\u\\second.dll", L"deleted, and there again when the run ended"}};
    Run();
    Log expected(kStagesAndPositions.begin(), kStagesAndPositions.end() - 1);
    expected.push_back(
        L"message 에러발생 재부팅 후 다시시도하세요 : C:\\Users\\u\\hf.dll: System Error.  "
        L"Code: 32.\r\nIn use");
    EXPECT_EQ(log, expected) << testing::PrintToString(Join(log));
    EXPECT_EQ(form.Position(), 100);
    EXPECT_TRUE(shell.calls.empty());
}

// The quiet run ends the same way: 1603, the box's text as the failure, every payload listed.
TEST_F(CleaningRunTest, APayloadThatRemainsMakesTheQuietRunFail) {
    stages.remaining = {{L"C:\\u\\hf.dll", L"deleted, and there again when the run ended"}};
    ChangeLog changes;
    changes.Note(L"deleted", L"C:\\u\\hf.dll");
    PayloadLedger ledger;
    const QuietOutcome outcome = RunQuiet(stages, shell, changes, ledger, true);
    EXPECT_EQ(outcome.exitCode, 1603);
    EXPECT_EQ(outcome.failure,
              L"에러발생 재부팅 후 다시시도하세요 : C:\\u\\hf.dll: deleted, and there again "
              L"when the run ended");
    EXPECT_EQ(outcome.remaining.size(), 1u);
    EXPECT_TRUE(shell.calls.empty()) << "no restart while a payload remains";
}

TEST_F(CleaningRunTest, RuntimeFailureIsReportedLikeAStageFailure) {
    stages.failures[L"RemoveDriverServices"] = [] { throw std::bad_alloc(); };
    Run();
    ASSERT_EQ(form.messages.size(), 1u);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], kDiscard) << "input is discarded before this box too";
    EXPECT_EQ(form.messages[0].rfind(kErrorPrefix, 0), 0u)
        << "got " << testing::PrintToString(form.messages[0]);
    EXPECT_GT(form.messages[0].size(), std::wstring(kErrorPrefix).size())
        << "the runtime's text follows the prefix";
    EXPECT_EQ(form.Position(), 30);
}

// A library loaded at run time that is missing ends the program before the window opens, with
// one box naming it and the system's error.
TEST(CleaningRunTexts, MissingLibraryNamesTheLibraryAndTheSystemsError) {
    fake::FakeSystem system;
    system.messages[126] = L"The specified module could not be found.\r\n";
    EXPECT_EQ(MissingLibraryMessage(system, L"version.dll", 126),
              std::wstring(kErrorPrefix) +
                  L"version.dll: System Error.  Code: 126.\r\nThe specified module could not be "
                  L"found");
    EXPECT_EQ(MissingLibraryMessage(system, L"comctl32.dll", 0),
              std::wstring(kErrorPrefix) + L"comctl32.dll: A call to an OS function failed");
}

TEST(CleaningRunTexts, ErrorPrefixIsTwentyOneCharactersEndingInBlankColonBlank) {
    const std::wstring prefix = kErrorPrefix;
    EXPECT_EQ(prefix.size(), 21u);
    EXPECT_EQ(prefix.substr(prefix.size() - 3), L" : ");
}

TEST_F(CleaningRunTest, StartAgainAfterAFailureRepeatsEverythingFromZero) {
    stages.failures[L"StopService hffilter keep"] = [] { throw EOSError(5, L"denied"); };
    Run();
    ASSERT_EQ(form.Position(), 50);
    stages.failures.clear();
    log.clear();
    form.answer = kIdNo;

    Run();
    EXPECT_EQ(log, Concat(kStagesAndPositions, {kDiscard, kReminder, L"close"}))
        << "second run:\n"
        << testing::PrintToString(Join(log));
}

TEST_F(CleaningRunTest, StartAgainAfterYesRepeatsEverythingFromZero) {
    form.answer = kIdYes;
    Run();
    Run();
    const Log once = Concat(kStagesAndPositions, {kShutdown});
    EXPECT_EQ(log, Concat(once, once)) << testing::PrintToString(Join(log));
    EXPECT_EQ(shell.calls.size(), 2u);
}

// The three stages that stop services draw on one budget per run, and a new run starts afresh.
TEST_F(CleaningRunTest, TheServiceStagesShareOneWaitBudgetPerRun) {
    stages.spendMs = 25'000;
    Run();
    Run();
    const std::vector<std::uint64_t> once = {kRunStopWaitBudgetMs, kRunStopWaitBudgetMs - 25'000,
                                             kRunStopWaitBudgetMs - 50'000};
    EXPECT_EQ(stages.budgetSeen, Concat(once, once)) << "guard stop, driver sweep, filter stop";
}

}  // namespace
}  // namespace hf
