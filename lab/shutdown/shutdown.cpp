// Stand-in for shutdown.exe in the sandbox: instead of restarting anything it appends the
// arguments it was given to shutdown-calls.txt in its own folder, one line per call, so the
// lab can check how the tool asked for the restart.

#include <windows.h>

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

}  // namespace

int wmain() {
    const std::wstring record = hf::lab::ProgramFolder() + L"\\shutdown-calls.txt";
    std::wstring calls;
    hf::lab::ReadTextFile(record, calls);  // absent on the first call
    calls += Arguments(::GetCommandLineW());
    calls += L"\n";
    return hf::lab::WriteTextFile(record, calls) ? 0 : 1;
}
