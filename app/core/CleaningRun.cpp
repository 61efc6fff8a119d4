#include "app/core/CleaningRun.h"

#include "platform/Errors.h"
#include "platform/Text.h"

#include <exception>

namespace hf {

void btnStartClick(MainFormUi& form, CleaningStages& stages, ShellApi& shell) {
    try {
        form.SetProgressPosition(0);
        form.SetProgressMax(100);

        stages.SweepScheduledTasks();
        form.SetProgressPosition(20);

        stages.StopService(L"RegGuardSvc", true);
        form.SetProgressPosition(30);

        stages.RemoveDriverServices();
        form.SetProgressPosition(40);

        // Marked for deletion before it is stopped: the manager removes it once it has stopped.
        stages.DeleteServiceByName(L"hffilter");
        form.SetProgressPosition(50);

        stages.StopService(L"hffilter", false);
        form.SetProgressPosition(60);

        stages.PurgeFilterServiceKey();
        form.SetProgressPosition(70);
        form.SetProgressPosition(100);

        if (form.AskYesNo(kRestartQuestion) == kIdYes) {
            // Whether the restart could be started is not reported; the window stays open.
            shell.ShellExecuteW(L"open", L"shutdown.exe", L"-r -t 00", nullptr, kSwHide);
        } else {
            form.ShowMessage(kRestartReminder);
            form.CloseMainWindow();
        }
    } catch (const Exception& e) {
        form.ShowMessage(kErrorPrefix + e.Message());
    } catch (const std::exception& e) {
        // A runtime failure (out of memory, a bad length) is a failure of the run like any
        // other: report it the same way rather than let it unwind through the window procedure.
        form.ShowMessage(kErrorPrefix + Utf8ToUtf16(e.what()));
    }
}

}  // namespace hf
