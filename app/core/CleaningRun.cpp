#include "app/core/CleaningRun.h"

#include "platform/Errors.h"
#include "platform/Text.h"

#include <exception>

namespace hf {

void StartRestart(ShellApi& shell) {
    shell.ShellExecuteW(L"open", L"shutdown.exe", L"-r -t 00", nullptr, kSwHide);
}

void btnStartClick(MainFormUi& form, CleaningStages& stages, ShellApi& shell) {
    try {
        // One budget for every service wait of this run, and nothing carried over from a
        // previous one.
        StopWaitBudget budget;
        form.SetProgressPosition(0);
        form.SetProgressMax(100);

        stages.SweepScheduledTasks();
        form.SetProgressPosition(20);

        stages.StopService(L"RegGuardSvc", true, budget);
        form.SetProgressPosition(30);

        stages.RemoveDriverServices(budget);
        form.SetProgressPosition(40);

        // Marked for deletion before it is stopped: the manager removes it once it has stopped.
        stages.DeleteServiceByName(L"hffilter");
        form.SetProgressPosition(50);

        stages.StopService(L"hffilter", false, budget);
        form.SetProgressPosition(60);

        stages.PurgeFilterServiceKey();
        form.SetProgressPosition(70);
        form.SetProgressPosition(100);

        form.DiscardPendingInput();
        if (form.AskYesNo(kRestartQuestion) == kIdYes) {
            // The window stays open until Windows ends the program.
            StartRestart(shell);
        } else {
            form.DiscardPendingInput();
            form.ShowMessage(kRestartReminder);
            form.CloseMainWindow();
        }
    } catch (const Exception& e) {
        form.DiscardPendingInput();
        form.ShowMessage(kErrorPrefix + e.Message());
    } catch (const std::exception& e) {
        // A runtime failure (out of memory, a bad length) is a failure of the run like any
        // other: report it the same way rather than let it unwind through the window procedure.
        form.DiscardPendingInput();
        form.ShowMessage(kErrorPrefix + Utf8ToUtf16(e.what()));
    }
}

}  // namespace hf
