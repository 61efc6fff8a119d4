#pragma once
// The quiet run: the window's run with no window, for deployment tools.

#include "app/core/CleaningRun.h"
#include "platform/Recording.h"

#include <string>
#include <vector>

namespace hf {

struct QuietOutcome {
    int exitCode = 0;
    std::wstring failure;  // on a failed stage: the text the window's error box would show
    // Payloads still there at the end (1603; `failure` names the first as the box would).
    std::vector<RemainingPayload> remaining{};
    // What /detect foresaw: its lines are "would-<kind>", its exit codes its own.
    bool whatIf = false;
};

// The six stages in the window's order with its wait budget; no progress, no question, no box.
// `stages` and `shell` act through a recording platform whose log is `changes`: that log alone
// says whether the run made changes (3010), never the rules. A failing stage ends the run (1603)
// and nothing is restarted; so does a payload that remains after the last stage (1603, with the
// remaining ones listed). With `forceRestart`, a run that made changes starts the restart exactly
// as the window's Yes does (1641); if that start fails, the run says 3010.
QuietOutcome RunQuiet(CleaningStages& stages, ShellApi& shell, const ChangeLog& changes,
                      PayloadLedger& ledger, bool forceRestart);

// /detect: the same stages, `stages` and `changes` over a what-if layer under the recording one
// (platform/WhatIf.h), so the log holds what a run would change. 0 when it holds nothing and no
// payload would remain, 1 when it holds something or one would; 1603 when a stage failed; never
// a restart.
QuietOutcome RunDetect(CleaningStages& stages, const ChangeLog& changes, PayloadLedger& ledger);

}  // namespace hf
