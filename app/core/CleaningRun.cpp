#include "app/core/CleaningRun.h"

#include "platform/Errors.h"
#include "platform/Text.h"

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

std::vector<RemainingPayload> RunCleaningStages(StageProgress& progress, CleaningStages& stages,
                                                PayloadLedger& ledger) {
    // One budget for every service wait of this run, and nothing carried over from a previous one.
    StopWaitBudget budget;
    progress.SetProgressPosition(0);
    progress.SetProgressMax(100);

    stages.SweepScheduledTasks(ledger);
    progress.SetProgressPosition(20);

    stages.StopService(L"RegGuardSvc", true, budget);
    progress.SetProgressPosition(30);

    stages.RemoveDriverServices(budget);
    progress.SetProgressPosition(40);

    // Marked for deletion before it is stopped: the manager removes it once it has stopped.
    stages.DeleteServiceByName(L"hffilter");
    progress.SetProgressPosition(50);

    stages.StopService(L"hffilter", false, budget);
    progress.SetProgressPosition(60);

    stages.PurgeFilterServiceKey();
    progress.SetProgressPosition(70);
    progress.SetProgressPosition(100);
    return stages.RemainingPayloads(ledger);
}

std::wstring FailureText(const std::exception& failure) {
    // A runtime failure (out of memory, a bad length) is a failure of the run like any other and
    // is reported the same way, with the runtime's own text.
    const auto* own = dynamic_cast<const Exception*>(&failure);
    return kErrorPrefix + (own != nullptr ? own->Message() : Utf8ToUtf16(failure.what()));
}

std::wstring RemainingText(const RemainingPayload& payload) {
    return kErrorPrefix + payload.path + L": " + payload.reason;
}

void btnStartClick(MainFormUi& form, CleaningStages& stages, ShellApi& shell) {
    try {
        PayloadLedger ledger;
        const std::vector<RemainingPayload> remaining = RunCleaningStages(form, stages, ledger);
        form.DiscardPendingInput();
        if (!remaining.empty()) {
            // A restart and another run is what frees a payload in use: the box says so.
            form.ShowMessage(RemainingText(remaining.front()));
            return;
        }
        if (form.AskYesNo(kRestartQuestion) == kIdYes) {
            // The window stays open until Windows ends the program.
            StartRestart(shell);
        } else {
            form.DiscardPendingInput();
            form.ShowMessage(kRestartReminder);
            form.CloseMainWindow();
        }
    } catch (const std::exception& e) {
        // Rather than let it unwind through the window procedure.
        form.DiscardPendingInput();
        form.ShowMessage(FailureText(e));
    }
}

}  // namespace hf
