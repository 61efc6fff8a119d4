#include "app/core/CleaningRun.h"

#include "platform/Errors.h"
#include "platform/Text.h"

#include <exception>

namespace hf {

void StartRestart(ShellApi& shell) {
    // By its full path in the system folder: started by bare name, the search would also look in
    // the current directory (the download folder) and elsewhere, where anyone could have put a
    // program of that name to run with the administrator's rights.
    std::wstring system;
    if (!shell.GetSystemDirectoryW(system) || system.empty()) {
        return;
    }
    const std::wstring shutdown = system + (system.back() == L'\\' ? L"" : L"\\") + L"shutdown.exe";
    shell.CreateProcessW(shutdown, L"\"" + shutdown + L"\" -r -t 00", system, kSwHide);
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
