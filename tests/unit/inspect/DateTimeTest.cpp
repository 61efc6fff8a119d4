#include "inspect/DateTime.h"
#include "tests/fakes/FakeTime.h"

#include <gtest/gtest.h>

#include <array>

namespace hf {
namespace {

using fake::FakeTime;

struct DateCase {
    SystemTime time;
    double value;
};

TEST(DateTime, EncodesDayNumberAndTimeOfDay) {
    const DateCase cases[] = {
        {FakeTime::MakeSystemTime(1899, 12, 30), 0.0},
        {FakeTime::MakeSystemTime(1899, 12, 31, 12), 1.5},
        {FakeTime::MakeSystemTime(1900, 3, 1), 61.0},  // 1900 is no leap year
        {FakeTime::MakeSystemTime(2000, 1, 1, 6), 36526.25},
        {FakeTime::MakeSystemTime(2024, 2, 29, 18), 45351.75},
        // Before 1899-12-30 the time of day is subtracted.
        {FakeTime::MakeSystemTime(1899, 12, 29, 6), -1.25},
        {FakeTime::MakeSystemTime(1601, 1, 1, 12), -109205.5},
        {FakeTime::MakeSystemTime(1, 1, 1), kNoTime + 1},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(EncodeDateTime(c.time), c.value)
            << c.time.wYear << "-" << c.time.wMonth << "-" << c.time.wDay << " " << c.time.wHour;
    }
}

TEST(DateTime, KeepsMillisecondsThroughEncodeAndDecode) {
    const SystemTime times[] = {
        FakeTime::MakeSystemTime(2024, 5, 20, 23, 59, 59, 999),
        FakeTime::MakeSystemTime(1999, 12, 31, 0, 0, 0, 1),
        FakeTime::MakeSystemTime(1899, 12, 29, 13, 14, 15, 16),
        FakeTime::MakeSystemTime(1752, 9, 14, 1, 2, 3, 4),
        FakeTime::MakeSystemTime(9999, 12, 31, 23, 59, 59, 999),
    };
    for (const auto& t : times) {
        const SystemTime back = DecodeDateTime(EncodeDateTime(t));
        EXPECT_EQ((std::array{back.wYear, back.wMonth, back.wDay, back.wHour, back.wMinute,
                              back.wSecond, back.wMilliseconds, back.wDayOfWeek}),
                  (std::array{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                              t.wMilliseconds, t.wDayOfWeek}))
            << "year " << t.wYear;
    }
    // One millisecond is visible in the value.
    EXPECT_GT(EncodeDateTime(FakeTime::MakeSystemTime(2024, 1, 1, 0, 0, 0, 1)),
              EncodeDateTime(FakeTime::MakeSystemTime(2024, 1, 1)));
}

}  // namespace
}  // namespace hf
