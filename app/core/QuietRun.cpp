#include "app/core/QuietRun.h"

#include "app/core/ExitCodes.h"

#include <exception>

namespace hf {

namespace {

class NoProgress final : public StageProgress {
  public:
    void SetProgressPosition(int) override {}
    void SetProgressMax(int) override {}
};

}  // namespace

QuietOutcome RunQuiet(CleaningStages& stages, ShellApi& shell, const ChangeLog& changes,
                      PayloadLedger& ledger, bool forceRestart) {
    std::vector<RemainingPayload> remaining;
    try {
        NoProgress progress;
        remaining = RunCleaningStages(progress, stages, ledger);
    } catch (const std::exception& e) {
        return {kExitStageFailed, FailureText(e)};
    }
    if (!remaining.empty()) {
        // The run is not done: nothing is restarted, and the box's text says why.
        const std::wstring failure = RemainingText(remaining.front());
        return {kExitStageFailed, failure, std::move(remaining)};
    }
    if (changes.Empty()) {
        return {kExitNothingChanged, {}};
    }
    if (!forceRestart) {
        return {kExitRestartRequired, {}};
    }
    const std::size_t before = changes.Changes().size();
    try {
        StartRestart(shell);
    } catch (const std::exception&) {
        // Not started, as when the start itself fails: the changes stand, a restart is needed.
    }
    // Started only when the recording layer saw the start succeed.
    return {changes.Changes().size() > before ? kExitRestartStarted : kExitRestartRequired, {}};
}

}  // namespace hf

namespace hf {

QuietOutcome RunDetect(CleaningStages& stages, const ChangeLog& changes, PayloadLedger& ledger) {
    QuietOutcome outcome;
    outcome.whatIf = true;
    try {
        NoProgress progress;
        outcome.remaining = RunCleaningStages(progress, stages, ledger);
    } catch (const std::exception& e) {
        outcome.exitCode = kExitStageFailed;
        outcome.failure = FailureText(e);
        return outcome;
    }
    if (!outcome.remaining.empty()) {
        // What the real run's box would say, though this run fails nothing.
        outcome.failure = RemainingText(outcome.remaining.front());
    }
    outcome.exitCode =
        changes.Empty() && outcome.remaining.empty() ? kExitNothingChanged : kExitFound;
    return outcome;
}

}  // namespace hf
