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
    kDetect,          // /detect: the same stages over the what-if layer: what a run would change
    kUsage,           // /? or /help: the usage text (a box, or standard output with /quiet)
    kBadCommandLine,  // anything else: exit code 1639, the usage text on standard output and no
                      // box, nothing runs
};

struct Options {
    RunMode mode = RunMode::kWindow;
    // /quiet or /q was among the options, whatever else was: /? writes the usage text to
    // standard output rather than into a box.
    bool quiet = false;
    // /detect was among the options: a run without a window that changes nothing.
    bool detect = false;
    // /forcerestart: restart after a quiet run that made changes.
    bool forceRestart = false;
    // /utf8 was among the options: standard output in UTF-8 rather than the OEM code page.
    bool utf8 = false;
};

// The options of `arguments` (the command line without the program's own name). An unknown or
// empty argument, a restart option without /quiet or with /detect, both restart options
// together, or /utf8 without /quiet or /detect (the window writes nothing to standard output) is
// a bad command line.
Options ParseOptions(const std::vector<std::wstring>& arguments);

// What /? shows, and what a bad command line gets with its exit code.
inline constexpr wchar_t kUsageText[] =
    L"hfremove [/quiet | /q] [/norestart | /forcerestart] [/detect] [/utf8] [/? | /help]\r\n"
    L"\r\n"
    L"  (no option)    the window: press the button, answer the restart question\r\n"
    L"  /quiet, /q     no window and no box: the same cleaning run, each change it made\r\n"
    L"                 reported on standard output when the caller captures it\r\n"
    L"  /detect        no window, no change: the lines a run would write, each kind\r\n"
    L"                 as would-<kind>; exit code 0 nothing found, 1 found\r\n"
    L"  /norestart     with /quiet: do not restart (the default)\r\n"
    L"  /forcerestart  with /quiet: restart at once when the run made changes\r\n"
    L"  /utf8          with /quiet or /detect: standard output in UTF-8 (default: the OEM\r\n"
    L"                 code page)\r\n"
    L"  /?, /help      this text (with /quiet on standard output, else in a box)\r\n"
    L"\r\n"
    L"Exit codes: 0 nothing to change; 3010 changes made, a restart completes them;\r\n"
    L"1641 changes made, restart started; 1603 a stage failed or a payload remains;\r\n"
    L"1639 bad command line. /detect: 0 nothing found; 1 found; 1603; 1639.";

}  // namespace hf
