#include "app/win32/Unattended.h"

#include "app/core/CommandLine.h"
#include "app/core/ExitCodes.h"
#include "app/core/MissingLibrary.h"
#include "app/core/PlatformStages.h"
#include "app/core/QuietRun.h"
#include "app/core/Report.h"
#include "app/win32/Dialogs.h"
#include "platform/Recording.h"
#include "platform/WhatIf.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Platform.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

namespace hf {

namespace {

// The arguments after the program's own name, split as the C runtime splits them.
std::vector<std::wstring> CommandLineArguments() {
    int count = 0;
    const UniqueArgv argv(ArgvTraits{}, ::CommandLineToArgvW(::GetCommandLineW(), &count));
    std::vector<std::wstring> arguments;
    for (int i = 1; argv && i < count; ++i) {
        arguments.emplace_back(argv.get()[i]);
    }
    return arguments;
}

// Standard output, written only when the caller captured it in a file or a pipe: a GUI program
// has no console of its own, and the report is the caller's to keep. Once a write fails (the
// reader went away), nothing more is tried. The handle is the caller's: it is not closed here.
class StandardOutput {
  public:
    StandardOutput() {
        const HANDLE handle = ::GetStdHandle(STD_OUTPUT_HANDLE);
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
            const DWORD type = ::GetFileType(handle);
            if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) {
                handle_ = handle;
            }
        }
    }

    void Write(const std::string& text) {
        const char* next = text.data();
        std::size_t left = text.size();
        while (handle_ != nullptr && left > 0) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 16));
            if (!::WriteFile(handle_, next, chunk, &written, nullptr) || written == 0) {
                handle_ = nullptr;
                return;
            }
            next += written;
            left -= written;
        }
    }

  private:
    HANDLE handle_ = nullptr;
};

// The encoding of standard output: the OEM code page (what deployment tools and consoles decode
// a program's output with), or UTF-8 when asked.
ReportEncoding StandardOutputEncoding(const Options& options, SystemApi& system) {
    return options.utf8 ? ReportEncoding{} : ReportEncoding{system};
}

// /? or /help: in the window mode a box, with /quiet or /detect the text on standard output.
int ShowUsage(const Options& options, const std::wstring& title) {
    if (options.quiet || options.detect) {
        Win32SystemApi system;
        StandardOutput().Write(UsageLines(kUsageText, StandardOutputEncoding(options, system)));
    } else {
        // The window mode's plain box: the title as caption, no icon, one OK.
        ShowModalDialog({.caption = title,
                         .text = kUsageText,
                         .buttons = {{IDOK, L"OK"}},
                         .defaultButton = IDOK});
    }
    return kExitNothingChanged;
}

// A bad command line never waits for a person: no box, whatever the options, as a mistyped
// option on a PC with no one at it would otherwise hang the deployment until its time-out.
int RefuseCommandLine(const Options& options) {
    Win32SystemApi system;
    const ReportEncoding encoding = StandardOutputEncoding(options, system);
    StandardOutput out;
    out.Write(UsageLines(kUsageText, encoding));
    out.Write(ClosingLines({kExitBadCommandLine, {}}, encoding));
    return kExitBadCommandLine;
}

// /quiet, or with /detect the same run over the what-if layer.
int RunQuietly(const Options& options) {
    StandardOutput out;
    QuietOutcome outcome;
    Win32SystemApi system;
    const ReportEncoding encoding = StandardOutputEncoding(options, system);
    const bool whatIf = options.mode == RunMode::kDetect;
    try {
        ChangeLog changes;
        // Each change as it happens: a caller that gives up on a long run keeps what was done.
        changes.onChange = [&out, &encoding, whatIf](const Change& change) {
            out.Write(
                ReportLine(whatIf ? WouldKind(change.kind) : change.kind, change.object, encoding));
        };
        PayloadLedger ledger;
        ledger.onPassedOver = [&out, &encoding, whatIf](const std::wstring& path,
                                                        const std::wstring& why) {
            out.Write(PassedOverLine(path, why, encoding, whatIf));
        };
        const Win32Platform platform;
        if (const auto library = platform.Missing()) {
            // The run would find nothing without it: a failure, as the window's box says.
            out.Write(ClosingLines(
                {kExitStageFailed,
                 MissingLibraryMessage(platform.Get().System(), library->name, library->error)},
                encoding));
            return kExitStageFailed;
        }
        if (whatIf) {
            const WhatIfPlatform unchanged(platform.Get());
            const RecordingPlatform recording(unchanged.Get(), changes);
            PlatformStages stages(recording.Get());
            outcome = RunDetect(stages, changes, ledger);
        } else {
            const RecordingPlatform recording(platform.Get(), changes);
            PlatformStages stages(recording.Get());
            outcome =
                RunQuiet(stages, recording.Get().Shell(), changes, ledger, options.forceRestart);
        }
    } catch (const std::exception& e) {
        // Outside the stages (out of memory setting up): still an exit code a deployment tool
        // understands rather than an abort.
        outcome = {kExitStageFailed, FailureText(e)};
        outcome.whatIf = whatIf;
    }
    out.Write(ClosingLines(outcome, encoding));
    return outcome.exitCode;
}

}  // namespace

std::optional<int> RunUnattended(const std::wstring& title) {
    const Options options = ParseOptions(CommandLineArguments());
    switch (options.mode) {
        case RunMode::kWindow:
            return std::nullopt;
        case RunMode::kUsage:
            return ShowUsage(options, title);
        case RunMode::kBadCommandLine:
            return RefuseCommandLine(options);
        case RunMode::kQuiet:
        case RunMode::kDetect:
            return RunQuietly(options);
    }
    return kExitBadCommandLine;
}

}  // namespace hf
