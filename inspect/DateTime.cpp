#include "inspect/DateTime.h"

#include <cmath>
#include <cstdint>

namespace hf {

namespace {

constexpr double kMillisecondsPerDay = 86'400'000.0;

// Days from 1899-12-30 to a civil date (proleptic Gregorian).
std::int64_t DayNumber(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 25569;  // 1970-01-01 is day 25569
}

}  // namespace

double EncodeDateTime(const SystemTime& time) {
    const auto day = static_cast<double>(DayNumber(time.wYear, time.wMonth, time.wDay));
    const double milliseconds =
        ((time.wHour * 60.0 + time.wMinute) * 60.0 + time.wSecond) * 1000.0 + time.wMilliseconds;
    const double fraction = milliseconds / kMillisecondsPerDay;
    return day < 0 ? day - fraction : day + fraction;
}

SystemTime DecodeDateTime(double value) {
    double day = std::trunc(value);
    auto milliseconds =
        static_cast<std::int64_t>(std::llround(std::fabs(value - day) * kMillisecondsPerDay));
    if (milliseconds >= 86'400'000) {  // rounded up into the next day
        milliseconds -= 86'400'000;
        day += value < 0 ? -1 : 1;
    }
    // Civil date of a day number (inverse of DayNumber).
    const std::int64_t z = static_cast<std::int64_t>(day) - 25569 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t m = mp + (mp < 10 ? 3 : -9);
    SystemTime t;
    t.wYear = static_cast<std::uint16_t>(yoe + era * 400 + (m <= 2));
    t.wMonth = static_cast<std::uint16_t>(m);
    t.wDay = static_cast<std::uint16_t>(doy - (153 * mp + 2) / 5 + 1);
    // 1899-12-30 was a Saturday (6).
    t.wDayOfWeek = static_cast<std::uint16_t>(((static_cast<std::int64_t>(day) + 6) % 7 + 7) % 7);
    t.wHour = static_cast<std::uint16_t>(milliseconds / 3'600'000);
    t.wMinute = static_cast<std::uint16_t>(milliseconds / 60'000 % 60);
    t.wSecond = static_cast<std::uint16_t>(milliseconds / 1000 % 60);
    t.wMilliseconds = static_cast<std::uint16_t>(milliseconds % 1000);
    return t;
}

}  // namespace hf
