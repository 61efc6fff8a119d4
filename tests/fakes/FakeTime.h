#pragma once
// The fake clock and calendar: a present local time the test sets, and a time zone with a fixed
// offset plus a simple daylight-saving rule (extra minutes in a range of months, judged by the
// UTC date being converted), so tests can tell "the rule of the date converted" from "today's
// offset". Either conversion can be told to fail.

#include "platform/Time.h"
#include "tests/fakes/FakeSystem.h"

#include <cstdint>
#include <optional>

namespace hf::fake {

class FakeTime final : public TimeApi {
  public:
    explicit FakeTime(FakeSystem& system) : system_(system) {}

    // What GetLocalTime gives.
    SystemTime now = MakeSystemTime(2024, 5, 20, 12, 0, 0, 0);
    // Local time = UTC + offsetMinutes, plus daylightMinutes when the month of the UTC date lies
    // in [daylightFirstMonth, daylightLastMonth].
    int offsetMinutes = 0;
    int daylightMinutes = 0;
    int daylightFirstMonth = 4;
    int daylightLastMonth = 9;
    // Injected failures (the last error each sets).
    std::optional<std::uint32_t> fileTimeFailure;
    std::optional<std::uint32_t> localFailure;

    int fileTimeCalls = 0;
    int localCalls = 0;

    bool FileTimeToSystemTime(const FileTime& fileTime, SystemTime& systemTime) override;
    bool SystemTimeToTzSpecificLocalTime(const SystemTime& universal, SystemTime& local) override;
    void GetLocalTime(SystemTime& local) override { local = now; }

    // Calendar helpers for tests (proleptic Gregorian, as Windows computes).
    static SystemTime MakeSystemTime(int year, int month, int day, int hour = 0, int minute = 0,
                                     int second = 0, int millisecond = 0);
    // The FILETIME of a UTC calendar time.
    static FileTime MakeFileTime(int year, int month, int day, int hour = 0, int minute = 0,
                                 int second = 0, int millisecond = 0);
    static std::uint64_t Ticks(const FileTime& time) {
        return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    }
    static FileTime FromTicks(std::uint64_t ticks) {
        return {static_cast<std::uint32_t>(ticks & 0xFFFFFFFFu),
                static_cast<std::uint32_t>(ticks >> 32)};
    }

  private:
    FakeSystem& system_;
};

}  // namespace hf::fake
