#pragma once
// The command line, as deployment tools pass it: options in the manner of msiexec and wusa
// ("/quiet", "-Q", "/forceRestart"), case ignored, each starting with '/' or '-'. With none, the
// program is the window it always was.

#include <string>
#include <vector>

namespace hf {

enum class RunMode {
    kWindow,          // no option: the window, unchanged
    kQuiet,           // /quiet: the six stages with no window, a report on standard output
    kUsage,           // /? or /help: the usage text, nothing runs
    kBadCommandLine,  // anything else: exit code 1639 with the usage text, nothing runs
};

struct Options {
    RunMode mode = RunMode::kWindow;
    // /quiet or /q was among the options, whatever else was: the usage text goes to standard
    // output rather than into a box, and nothing may open a window.
    bool quiet = false;
    // /forcerestart: restart after a quiet run that made changes.
    bool forceRestart = false;
};

// The options of `arguments` (the command line without the program's own name). A restart option
// without /quiet, both restart options together, or an empty argument is a bad command line.
Options ParseOptions(const std::vector<std::wstring>& arguments);

// What /? shows, and what a bad command line gets with its exit code.
inline constexpr wchar_t kUsageText[] =
    L"hfremove [/quiet | /q] [/norestart | /forcerestart] [/? | /help]\r\n"
    L"\r\n"
    L"  (no option)    the window: press the button, answer the restart question\r\n"
    L"  /quiet, /q     no window and no box: the same cleaning run, each change it made\r\n"
    L"                 reported on standard output when the caller captures it\r\n"
    L"  /norestart     with /quiet: do not restart (the default)\r\n"
    L"  /forcerestart  with /quiet: restart at once when the run made changes\r\n"
    L"  /?, /help      this text\r\n"
    L"\r\n"
    L"Exit codes: 0 nothing to change; 3010 changes made, a restart completes them;\r\n"
    L"1641 changes made, restart started; 1603 a stage failed; 1639 bad command line.";

}  // namespace hf
