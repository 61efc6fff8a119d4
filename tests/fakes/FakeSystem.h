#pragma once
// The fake thread: a last-error slot every fake writes, a clock that only moves when the code
// sleeps (so waits run in simulated, not real, time), a table of system error texts, and one
// small OEM code page.

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
    void SetLastError(std::uint32_t code) override { lastError = code; }
    void Sleep(std::uint32_t milliseconds) override;
    std::uint64_t GetTickCount64() override { return now; }
    std::wstring FormatMessageW(std::uint32_t code) override;
    std::uint32_t GetOEMCP() override { return oemCodePage; }
    // Code page 437 only, and of it ASCII and 'é' (0x82); with best fit (no kWcNoBestFitChars)
    // 'Ā' becomes 'A' as Windows' table has it. Any other character is the default '?'.
    // Another code page fails with 87, as an unknown one does.
    bool WideCharToMultiByte(std::uint32_t codePage, std::uint32_t flags, std::wstring_view text,
                             std::string& bytes, bool& usedDefaultChar) override;

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
    // What GetOEMCP answers.
    std::uint32_t oemCodePage = 437;
};

}  // namespace hf::fake
