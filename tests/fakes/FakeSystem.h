#pragma once
// The fake thread: a last-error slot every fake writes, a clock that only moves when the code
// sleeps (so waits run in simulated, not real, time), and a table of system error texts.

#include "platform/System.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace hf::fake {

class FakeSystem final : public SystemApi {
  public:
    FakeSystem();

    std::uint32_t GetLastError() override { return lastError; }
    void Sleep(std::uint32_t milliseconds) override;
    std::uint64_t GetTickCount64() override { return now; }
    std::wstring FormatMessageW(std::uint32_t code) override;

    // Fakes set this where Windows would call SetLastError.
    std::uint32_t lastError = 0;
    // Simulated milliseconds; Sleep advances it.
    std::uint64_t now = 1'000'000;
    // Every pause asked for, in order.
    std::vector<std::uint32_t> sleeps;
    // Called on each Sleep after the clock moved (lets a fake service change state over time).
    std::vector<std::function<void(std::uint64_t now)>> onSleep;
    // System texts by code, as FormatMessageW returns them (with the trailing line break).
    std::map<std::uint32_t, std::wstring> messages;
};

}  // namespace hf::fake
