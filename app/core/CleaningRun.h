#pragma once
// The cleaning run: the Start button's click handler, written against two small seams so it runs
// without a desktop: the main window as the run sees it, and the six cleaning stages.

#include "platform/Shell.h"
#include "services/ServiceControl.h"
#include "tasks/PayloadLedger.h"

#include <exception>
#include <string>
#include <vector>

namespace hf {

// Dialog results of the restart question.
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// The texts of the run, shown exactly as written.
inline constexpr wchar_t kRestartQuestion[] = L"정상적인 작업완료가 되기 위해 재부팅을 시작합니다";
inline constexpr wchar_t kRestartReminder[] = L"정상적인 PC 사용을 위해 반드시 재부팅 하십시오";
inline constexpr wchar_t kErrorPrefix[] = L"에러발생 재부팅 후 다시시도하세요 : ";

// Where the run reports how far it has come: the window's progress bar, or nothing at all.
class StageProgress {
  public:
    virtual ~StageProgress() = default;

    virtual void SetProgressPosition(int position) = 0;
    virtual void SetProgressMax(int maximum) = 0;
};

// What the run needs of the main window.
class MainFormUi : public StageProgress {
  public:
    // Drops the keyboard and mouse input that reached the program's windows while the stages
    // ran (the run pumps no messages, so it waits in the queue): the run calls it just before
    // each box it opens, so that only a key pressed while the box shows can answer it.
    virtual void DiscardPendingInput() = 0;
    // The modal confirmation dialog ("Information", information icon, "&Yes" and "&No", Yes
    // default); returns kIdYes, kIdNo, or another value when it was dismissed otherwise.
    virtual int AskYesNo(const std::wstring& text) = 0;
    // The plain modal message box (the application title as caption, no icon, one OK).
    virtual void ShowMessage(const std::wstring& text) = 0;
    // Closes the main window, which ends the program once the handler has returned.
    virtual void CloseMainWindow() = 0;
};

// The six stages, in the order the run calls them. Each returns when its work is done and raises
// an hf::Exception for any failure it does not absorb itself. The stages that stop services
// share the run's one wait budget, which the run hands them.
class CleaningStages {
  public:
    virtual ~CleaningStages() = default;

    // Notes in `ledger` what it found and what it passed over.
    virtual void SweepScheduledTasks(PayloadLedger& ledger) = 0;
    virtual void StopService(const std::wstring& name, bool deleteAfterStop,
                             StopWaitBudget& budget) = 0;
    virtual void RemoveDriverServices(StopWaitBudget& budget) = 0;
    virtual void DeleteServiceByName(const std::wstring& name) = 0;
    virtual void PurgeFilterServiceKey() = 0;
    // After the last stage: the found payloads that are there again or still and not recorded
    // for deletion at the restart (FindRemainingPayloads).
    virtual std::vector<RemainingPayload> RemainingPayloads(const PayloadLedger& ledger) = 0;
};

// The six stages in their order with one wait budget, the progress set after each: 0 and the
// maximum 100 before the first, 20, 30, 40, 50, 60 after the first five, 70 and at once 100 after
// the last; then the payloads that remain (none when every one went). A stage's exception leaves
// at once; the later stages do not run. The window's run and the quiet run both go through here,
// so they cannot drift apart.
std::vector<RemainingPayload> RunCleaningStages(StageProgress& progress, CleaningStages& stages,
                                                PayloadLedger& ledger);

// The text the error box shows for a failure of the run: the error prefix and the message.
std::wstring FailureText(const std::exception& failure);

// The text the error box shows for a payload that remains: the error prefix, its path, ": " and
// the reason ("...\x.dll: System Error.  Code: 32.\r\n<the system's text>").
std::wstring RemainingText(const RemainingPayload& payload);

// The click handler of btnStart: runs every stage in order, moves the bar after each, then offers
// the restart. A failure ends the run with one error box; the bar stays where the last completed
// stage left it and nothing is asked. A payload that remains after the last stage ends the run
// the same way, with the box naming the first one, instead of the restart question.
void btnStartClick(MainFormUi& form, CleaningStages& stages, ShellApi& shell);

// Starts the restart: the system folder's shutdown.exe by its full path, "-r -t 00", hidden, in
// the system folder, not awaited. Whether it could be started is not reported.
void StartRestart(ShellApi& shell);

}  // namespace hf
