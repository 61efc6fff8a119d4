#include "tests/fakes/FakeShell.h"

namespace hf::fake {

std::intptr_t FakeShell::ShellExecuteW(const wchar_t* verb, const std::wstring& file,
                                       const std::wstring& parameters, const wchar_t* directory,
                                       int showCommand) {
    ShellExecuteCall call;
    if (verb != nullptr) {
        call.verb = verb;
    }
    call.file = file;
    call.parameters = parameters;
    if (directory != nullptr) {
        call.directory = directory;
    }
    call.showCommand = showCommand;
    calls.push_back(call);
    if (onCall) {
        onCall(call);
    }
    return result;
}

}  // namespace hf::fake
