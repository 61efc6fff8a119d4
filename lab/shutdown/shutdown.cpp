// Stand-in for shutdown.exe in the sandbox: instead of restarting anything it appends the
// arguments it was given to shutdown-calls.txt in its own folder, one line per call, so the
// lab can check how the tool asked for the restart. The window state it was started with
// goes to shutdown-shows.txt the same way, written first: a reader that has seen the call
// also finds its show state.

#include <windows.h>

#include <iterator>
#include <string>
#include <string_view>

#include "lab/plant/LabWin32.h"

namespace {

// The command line without the program name, as the program received it.
std::wstring_view Arguments(std::wstring_view commandLine) {
    size_t end = 0;
    if (!commandLine.empty() && commandLine.front() == L'"') {
        end = commandLine.find(L'"', 1);
        end = end == std::wstring_view::npos ? commandLine.size() : end + 1;
    } else {
        end = commandLine.find_first_of(L" \t");
        end = end == std::wstring_view::npos ? commandLine.size() : end;
    }
    commandLine.remove_prefix(end);
    while (!commandLine.empty() && (commandLine.front() == L' ' || commandLine.front() == L'\t')) {
        commandLine.remove_prefix(1);
    }
    return commandLine;
}

// How the starter asked for the window to be shown: "SW_HIDE (0)" and the like, or
// "default" when it set no show state (STARTF_USESHOWWINDOW absent).
std::wstring ShowState() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);
    if ((startup.dwFlags & STARTF_USESHOWWINDOW) == 0) {
        return L"default";
    }
    static constexpr const wchar_t* kNames[] = {
        L"SW_HIDE",           L"SW_SHOWNORMAL", L"SW_SHOWMINIMIZED", L"SW_SHOWMAXIMIZED",
        L"SW_SHOWNOACTIVATE", L"SW_SHOW",       L"SW_MINIMIZE",      L"SW_SHOWMINNOACTIVE",
        L"SW_SHOWNA",         L"SW_RESTORE",    L"SW_SHOWDEFAULT",   L"SW_FORCEMINIMIZE"};
    const WORD show = startup.wShowWindow;
    std::wstring name = show < std::size(kNames) ? kNames[show] : L"SW_?";
    return name + L" (" + std::to_wstring(show) + L")";
}

bool Append(const std::wstring& file, const std::wstring& line) {
    std::wstring text;
    hf::lab::ReadTextFile(file, text);  // absent on the first call
    return hf::lab::WriteTextFile(file, text + line + L"\n");
}

}  // namespace

int wmain() {
    const std::wstring folder = hf::lab::ProgramFolder();
    const bool shown = Append(folder + L"\\shutdown-shows.txt", ShowState());
    const bool called =
        Append(folder + L"\\shutdown-calls.txt", std::wstring(Arguments(::GetCommandLineW())));
    return shown && called ? 0 : 1;
}
