#include "inspect/FileAge.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeTime.h"

#include <gtest/gtest.h>

#include <limits>

namespace hf {
namespace {

using fake::FakeTime;

class FileAgeTest : public ::testing::Test {
  protected:
    FileAgeTest() {
        platform.system = &system;
        platform.files = &files;
        platform.time = &time;
        fake::FakeFile& file = files.AddFile(L"C:\\Tasks\\a.dll");
        file.creation = FakeTime::MakeFileTime(2024, 1, 2, 3, 4, 5, 6);
        file.lastWrite = FakeTime::MakeFileTime(2024, 2, 3);
        file.lastAccess = FakeTime::MakeFileTime(2024, 3, 4);
    }

    static double Local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
        return EncodeDateTime(FakeTime::MakeSystemTime(y, mo, d, h, mi, s, ms));
    }

    fake::FakeSystem system;
    fake::FakeFileSystem files{system};
    FakeTime time{system};
    Platform platform;
};

TEST_F(FileAgeTest, SelectorPicksCreationLastWriteLastAccess) {
    const std::pair<std::uint16_t, double> cases[] = {
        {0, Local(2024, 1, 2, 3, 4, 5, 6)},
        {1, Local(2024, 2, 3)},  // 1 is the last write, not the record's second time
        {2, Local(2024, 3, 4)},
        {3, kNoTime},
        {0xFFFF, kNoTime},
    };
    for (const auto& [selector, expected] : cases) {
        EXPECT_DOUBLE_EQ(GetFileDateTime(platform, L"C:\\Tasks\\a.dll", selector), expected)
            << "selector " << selector;
    }
}

TEST_F(FileAgeTest, UnreadableTimesGiveNoTime) {
    files.AddDirectory(L"C:\\Tasks\\folder").creation = FakeTime::MakeFileTime(2023, 6, 1);
    files.AddFile(L"C:\\Tasks\\locked.dll");
    files.FailPath(L"C:\\Tasks\\locked.dll", fake::kErrorAccessDenied);
    // Folders have times too.
    EXPECT_DOUBLE_EQ(GetFileDateTime(platform, L"C:\\Tasks\\folder", 0), Local(2023, 6, 1));
    for (const wchar_t* path : {L"", L"C:\\Tasks\\missing.dll", L"C:\\Tasks\\locked.dll"}) {
        EXPECT_DOUBLE_EQ(GetFileDateTime(platform, path, 0), kNoTime) << path;
    }
    time.fileTimeFailure = fake::kErrorInvalidParameter;
    EXPECT_DOUBLE_EQ(GetFileDateTime(platform, L"C:\\Tasks\\a.dll", 0), kNoTime);
    time.fileTimeFailure.reset();
    time.localFailure = fake::kErrorInvalidParameter;
    EXPECT_DOUBLE_EQ(GetFileDateTime(platform, L"C:\\Tasks\\a.dll", 0), kNoTime);
}

TEST_F(FileAgeTest, LocalTimeUsesTheDaylightRuleOfTheDateConverted) {
    // UTC+1, UTC+2 in April to September; "now" is in summer.
    time.offsetMinutes = 60;
    time.daylightMinutes = 60;
    time.now = FakeTime::MakeSystemTime(2024, 7, 1, 12);
    EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(platform, FakeTime::MakeFileTime(2024, 1, 15, 10)),
                     Local(2024, 1, 15, 11));
    EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(platform, FakeTime::MakeFileTime(2024, 6, 15, 10)),
                     Local(2024, 6, 15, 12));
    // A FILETIME the system cannot convert (top bit set).
    EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(platform, FileTime{0, 0x80000000u}), kNoTime);
    // The earliest FILETIME stays before 1899 after conversion, fraction subtracted.
    time.offsetMinutes = 0;
    time.daylightMinutes = 0;
    EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(platform, FakeTime::MakeFileTime(1601, 1, 1, 18)),
                     -109205.75);
}

TEST_F(FileAgeTest, LocalNowEncodesTheLocalClockToTheMillisecond) {
    time.now = FakeTime::MakeSystemTime(2024, 5, 20, 12, 30, 15, 250);
    EXPECT_DOUBLE_EQ(LocalNow(platform), Local(2024, 5, 20, 12, 30, 15, 250));
}

TEST(WholeDaysBetween, TruncatesTheAbsoluteDifference) {
    struct Case {
        double now, then;
        std::int32_t days;
    };
    const Case cases[] = {
        {20.0, 5.01, 14},
        {20.0, 5.0, 15},
        {16.5, 20.0, 3},  // order does not matter
        {20.0, 16.5, 3},
        {45000.0, 45000.0 + 14.9999, 14},
        {45000.0, 45000.0 - 14.9999, 14},
        {45432.5, kNoTime, 739026},  // an unreadable time is never recent
        {-1.25, 1.25, 2},
        {0.0, std::numeric_limits<double>::infinity(), std::numeric_limits<std::int32_t>::max()},
        {0.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<std::int32_t>::max()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WholeDaysBetween(c.now, c.then), c.days) << c.now << " and " << c.then;
    }
}

TEST_F(FileAgeTest, AgeRuleCountsFilesWithinFifteenDaysEitherWay) {
    // The rule the task sweep applies: recent when fewer than 15 whole days lie between.
    time.now = FakeTime::MakeSystemTime(2024, 5, 20, 12);
    struct Case {
        FileTime creation;
        bool recent;
        const char* why;
    };
    const Case cases[] = {
        {FakeTime::MakeFileTime(2024, 5, 5, 12, 0, 0, 1), true, "14.99 days old"},
        {FakeTime::MakeFileTime(2024, 5, 5, 12), false, "exactly 15 days old"},
        {FakeTime::MakeFileTime(2024, 6, 3, 11), true, "13.96 days in the future (clock skew)"},
        {FakeTime::MakeFileTime(2024, 6, 4, 12), false, "15 days in the future"},
    };
    for (const auto& c : cases) {
        files.AddFile(L"C:\\Tasks\\b.dll").creation = c.creation;
        const std::int32_t days =
            WholeDaysBetween(LocalNow(platform), GetFileDateTime(platform, L"C:\\Tasks\\b.dll", 0));
        EXPECT_EQ(days < 15, c.recent) << c.why << " (" << days << " days)";
    }
    EXPECT_FALSE(WholeDaysBetween(LocalNow(platform), GetFileDateTime(platform, L"C:\\none", 0)) <
                 15);
}

}  // namespace
}  // namespace hf
