#pragma once
// The fake process start: a system folder of choice, and every process start recorded; either
// call can be told to fail with a chosen code.

#include "platform/Shell.h"
#include "platform/Text.h"
#include "tests/fakes/FakeSystem.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <optional>
#include <string>
#include <vector>

namespace hf::fake {

struct CreateProcessCall {
    std::wstring application;
    std::wstring commandLine;
    std::wstring currentDirectory;
    int showCommand = -1;

    bool operator==(const CreateProcessCall&) const = default;
};

inline void PrintTo(const CreateProcessCall& call, std::ostream* out) {
    *out << Utf16ToUtf8(call.application) << " [" << Utf16ToUtf8(call.commandLine) << "] in "
         << Utf16ToUtf8(call.currentDirectory) << " show " << call.showCommand;
}

class FakeShell final : public ShellApi {
  public:
    FakeShell() = default;
    // Failures set `system`'s last error, as Windows sets the thread's.
    explicit FakeShell(FakeSystem& system) : system_(&system) {}

    bool GetSystemDirectoryW(std::wstring& directory) override;
    bool CreateProcessW(const std::wstring& application, const std::wstring& commandLine,
                        const std::wstring& currentDirectory, int showCommand) override;

    // What GetSystemDirectoryW gives.
    std::wstring systemDirectory = L"C:\\Windows\\system32";
    // When set, the call fails with this code (CreateProcessW after recording the call).
    std::optional<std::uint32_t> systemDirectoryFailure;
    std::optional<std::uint32_t> createProcessFailure;
    // Every CreateProcessW, in order (failed ones included).
    std::vector<CreateProcessCall> calls;
    // Called after each CreateProcessW is recorded (lets a test log it among other events).
    std::function<void(const CreateProcessCall&)> onCall;

  private:
    bool Fail(std::uint32_t code);

    FakeSystem* system_ = nullptr;
};

}  // namespace hf::fake
