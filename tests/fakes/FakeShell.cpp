#include "tests/fakes/FakeShell.h"

namespace hf::fake {

bool FakeShell::Fail(std::uint32_t code) {
    if (system_ != nullptr) {
        system_->lastError = code;
    }
    return false;
}

bool FakeShell::GetSystemDirectoryW(std::wstring& directory) {
    if (systemDirectoryFailure) {
        return Fail(*systemDirectoryFailure);
    }
    directory = systemDirectory;
    return true;
}

bool FakeShell::CreateProcessW(const std::wstring& application, const std::wstring& commandLine,
                               const std::wstring& currentDirectory, int showCommand) {
    calls.push_back({application, commandLine, currentDirectory, showCommand});
    if (onCall) {
        onCall(calls.back());
    }
    if (createProcessFailure) {
        return Fail(*createProcessFailure);
    }
    return true;
}

}  // namespace hf::fake
