#pragma once
// File times as local date-time values, the present local time, and whole days between two
// values. None of these raise: a time that cannot be read is kNoTime.

#include "inspect/DateTime.h"
#include "platform/Files.h"
#include "platform/Platform.h"

#include <cstdint>
#include <string>

namespace hf {

// Which time of a file GetFileDateTime reads (the numbering is not the record's order).
inline constexpr std::uint16_t kCreationTime = 0;
inline constexpr std::uint16_t kLastWriteTime = 1;
inline constexpr std::uint16_t kLastAccessTime = 2;

// A UTC FILETIME as a local date-time value, with the daylight-saving rule of the date
// converted; kNoTime when either conversion fails.
double FileTimeToLocalDateTime(const Platform& platform, const FileTime& fileTime);

// One time of a file or folder as a local date-time value: selector 0 creation, 1 last write,
// 2 last access; kNoTime for any other selector or when the attributes cannot be read.
double GetFileDateTime(const Platform& platform, const std::wstring& path, std::uint16_t selector);

// The present local time as a date-time value.
double LocalNow(const Platform& platform);

// The whole days between two date-time values in either order: the absolute difference
// truncated toward zero.
std::int32_t WholeDaysBetween(double now, double then);

}  // namespace hf
