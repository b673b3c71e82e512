// TDateTime: days since 1899-12-30 as a double, the fraction being the time of day.
// Encoding raises EConvertError "Invalid argument to date encode" or
// "Invalid argument to time encode" for out-of-range parts.
#pragma once

#include <cstdint>
#include <string>

namespace base {

using TDateTime = double;

constexpr double kMSecsPerDay = 86400000.0;
constexpr TDateTime kUnixDateDelta = 25569.0;  // 1970-01-01

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& out);
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& minute, int& second, int& msec);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime dt);

TDateTime Now();   // local
TDateTime Date();  // local, no time part

// Conversions between UTC moments.
TDateTime UnixToDateTime(int64_t seconds);
int64_t DateTimeToUnix(TDateTime dt);
// Windows file time (100 ns since 1601 UTC) <-> TDateTime (UTC).
TDateTime FileTimeToDateTime(int64_t fileTime);
int64_t DateTimeToFileTime(TDateTime dt);

// "yyyy-mm-dd hh:nn:ss.zzz"
std::string DateTimeToString(TDateTime dt);

}  // namespace base
