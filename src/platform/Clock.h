// Time sources: the millisecond tick counter, the local wall clock and the time zone.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds since system start, wrapping at 2^32 (GetTickCount); compare with
// unsigned subtraction.
uint32_t TickCount();

struct LocalTime {
  uint16_t Year, Month, Day, Hour, Minute, Second, Milliseconds;
};
LocalTime Now();

// Minutes to add to local time to get UTC (the Windows time zone bias, daylight saving
// included), for the current moment.
int32_t TimeZoneBiasMinutes();

// Seconds since 1970-01-01 UTC of the current moment.
int64_t UnixTimeNow();

}  // namespace platform
