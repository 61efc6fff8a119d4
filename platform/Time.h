#pragma once
// Calendar conversions and the present local time.

#include "platform/Files.h"

#include <cstdint>

namespace hf {

// SYSTEMTIME.
struct SystemTime {
    std::uint16_t wYear = 0;
    std::uint16_t wMonth = 0;
    std::uint16_t wDayOfWeek = 0;
    std::uint16_t wDay = 0;
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;
};

class TimeApi {
  public:
    virtual ~TimeApi() = default;

    // FileTimeToSystemTime: the UTC calendar time of a FILETIME; false with the last error set.
    virtual bool FileTimeToSystemTime(const FileTime& fileTime, SystemTime& systemTime) = 0;
    // SystemTimeToTzSpecificLocalTime with no explicit zone: the active time zone, with the
    // daylight-saving rule in force on the date converted; false with the last error set.
    virtual bool SystemTimeToTzSpecificLocalTime(const SystemTime& universal,
                                                 SystemTime& local) = 0;
    // GetLocalTime.
    virtual void GetLocalTime(SystemTime& local) = 0;
};

}  // namespace hf
