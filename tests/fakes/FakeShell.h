#pragma once
// The fake shell: records every process start and answers with a chosen result.

#include "platform/Shell.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace hf::fake {

struct ShellExecuteCall {
    std::optional<std::wstring> verb;  // empty when the caller passed null
    std::wstring file;
    std::wstring parameters;
    std::optional<std::wstring> directory;  // empty when the caller passed null
    int showCommand = -1;

    bool operator==(const ShellExecuteCall&) const = default;
};

class FakeShell final : public ShellApi {
  public:
    std::intptr_t ShellExecuteW(const wchar_t* verb, const std::wstring& file,
                                const std::wstring& parameters, const wchar_t* directory,
                                int showCommand) override;

    // What ShellExecuteW returns: above 32 means started; e.g. 2 (file not found) to fail.
    std::intptr_t result = 42;
    // Every call, in order.
    std::vector<ShellExecuteCall> calls;
    // Called after each call is recorded (lets a test log it among other events).
    std::function<void(const ShellExecuteCall&)> onCall;
};

}  // namespace hf::fake
