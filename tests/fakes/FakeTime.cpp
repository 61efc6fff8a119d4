#include "tests/fakes/FakeTime.h"

#include "tests/fakes/FakeFileSystem.h"

namespace hf::fake {

namespace {

constexpr std::int64_t kTicksPerMillisecond = 10'000;
constexpr std::int64_t kTicksPerDay = 86'400'000LL * kTicksPerMillisecond;

// Days from 1601-01-01 to a civil date (proleptic Gregorian).
std::int64_t DaysFrom1601(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const std::int64_t daysFrom1970 = era * 146097 + doe - 719468;
    return daysFrom1970 + 134774;  // 1601-01-01 .. 1970-01-01
}

SystemTime FromDays(std::int64_t daysFrom1601, std::int64_t msOfDay) {
    const std::int64_t z = daysFrom1601 - 134774 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t m = mp + (mp < 10 ? 3 : -9);
    const std::int64_t y = yoe + era * 400 + (m <= 2);
    SystemTime t;
    t.wYear = static_cast<std::uint16_t>(y);
    t.wMonth = static_cast<std::uint16_t>(m);
    t.wDay = static_cast<std::uint16_t>(d);
    t.wDayOfWeek = static_cast<std::uint16_t>((daysFrom1601 + 1) % 7);  // 1601-01-01 was a Monday
    t.wHour = static_cast<std::uint16_t>(msOfDay / 3'600'000);
    t.wMinute = static_cast<std::uint16_t>(msOfDay / 60'000 % 60);
    t.wSecond = static_cast<std::uint16_t>(msOfDay / 1000 % 60);
    t.wMilliseconds = static_cast<std::uint16_t>(msOfDay % 1000);
    return t;
}

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

bool Valid(const SystemTime& t) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1) {
        return false;
    }
    const int days = kDays[t.wMonth - 1] + (t.wMonth == 2 && IsLeap(t.wYear) ? 1 : 0);
    return t.wDay <= days && t.wHour < 24 && t.wMinute < 60 && t.wSecond < 60 &&
           t.wMilliseconds < 1000;
}

std::int64_t TicksOf(const SystemTime& t) {
    const std::int64_t ms =
        ((t.wHour * 60LL + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
    return DaysFrom1601(t.wYear, t.wMonth, t.wDay) * kTicksPerDay + ms * kTicksPerMillisecond;
}

SystemTime FromTicksValue(std::int64_t ticks) {
    return FromDays(ticks / kTicksPerDay, ticks % kTicksPerDay / kTicksPerMillisecond);
}

}  // namespace

SystemTime FakeTime::MakeSystemTime(int year, int month, int day, int hour, int minute, int second,
                                    int millisecond) {
    SystemTime t;
    t.wYear = static_cast<std::uint16_t>(year);
    t.wMonth = static_cast<std::uint16_t>(month);
    t.wDay = static_cast<std::uint16_t>(day);
    t.wHour = static_cast<std::uint16_t>(hour);
    t.wMinute = static_cast<std::uint16_t>(minute);
    t.wSecond = static_cast<std::uint16_t>(second);
    t.wMilliseconds = static_cast<std::uint16_t>(millisecond);
    t.wDayOfWeek = FromTicksValue(TicksOf(t)).wDayOfWeek;
    return t;
}

FileTime FakeTime::MakeFileTime(int year, int month, int day, int hour, int minute, int second,
                                int millisecond) {
    return FromTicks(static_cast<std::uint64_t>(
        TicksOf(MakeSystemTime(year, month, day, hour, minute, second, millisecond))));
}

bool FakeTime::FileTimeToSystemTime(const FileTime& fileTime, SystemTime& systemTime) {
    ++fileTimeCalls;
    if (fileTimeFailure) {
        system_.lastError = *fileTimeFailure;
        return false;
    }
    const std::uint64_t ticks = Ticks(fileTime);
    // The system refuses values with the top bit set.
    if (ticks > 0x7FFFFFFFFFFFFFFFull) {
        system_.lastError = kErrorInvalidParameter;
        return false;
    }
    systemTime = FromTicksValue(static_cast<std::int64_t>(ticks));
    return true;
}

bool FakeTime::SystemTimeToTzSpecificLocalTime(const SystemTime& universal, SystemTime& local) {
    ++localCalls;
    if (localFailure) {
        system_.lastError = *localFailure;
        return false;
    }
    if (!Valid(universal)) {
        system_.lastError = kErrorInvalidParameter;
        return false;
    }
    int minutes = offsetMinutes;
    if (universal.wMonth >= daylightFirstMonth && universal.wMonth <= daylightLastMonth) {
        minutes += daylightMinutes;
    }
    const std::int64_t ticks = TicksOf(universal) + minutes * 60'000LL * kTicksPerMillisecond;
    if (ticks < 0) {
        system_.lastError = kErrorInvalidParameter;
        return false;
    }
    local = FromTicksValue(ticks);
    return true;
}

}  // namespace hf::fake
