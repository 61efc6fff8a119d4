#pragma once
// The date-time value: days since 1899-12-30 00:00 local time, the fraction being the time of
// day. Before that day the whole part is negative and the time of day is subtracted, so
// -1.25 is 1899-12-29 06:00.

#include "platform/Time.h"

namespace hf {

// The value every failed time query returns: the day before 0001-01-01, which no calendar
// time the system gives (1601 onwards) encodes to.
inline constexpr double kNoTime = -693594.0;

// The date-time value of a calendar time, to the millisecond. The day of the week is ignored.
double EncodeDateTime(const SystemTime& time);

// The calendar time of a date-time value, to the nearest millisecond.
SystemTime DecodeDateTime(double value);

}  // namespace hf
