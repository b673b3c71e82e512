#include "base/DateTime.h"

#include <cmath>
#include <cstdio>

#include "base/Exceptions.h"
#include "platform/Clock.h"

namespace base {

bool IsLeapYear(int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  return kDays[m - 1] + (m == 2 && IsLeapYear(y) ? 1 : 0);
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  int64_t days = day;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  int64_t y = year - 1;
  days += y * 365 + y / 4 - y / 100 + y / 400;
  out = static_cast<double>(days - 693594);  // days from 0001-01-01 to 1899-12-30
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& out) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
    return false;
  out = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + msec) / kMSecsPerDay;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime d;
  if (!TryEncodeDate(year, month, day, d)) throw EConvertError("Invalid argument to date encode");
  return d;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  TDateTime t;
  if (!TryEncodeTime(hour, minute, second, msec, t)) throw EConvertError("Invalid argument to time encode");
  return t;
}

namespace {
// Whole milliseconds since 1899-12-30 00:00, rounded, as the product's date routines do.
int64_t ToMSecs(TDateTime dt) { return static_cast<int64_t>(std::llround(dt * kMSecsPerDay)); }
int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
}  // namespace

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  int64_t days = FloorDiv(ToMSecs(dt), 86400000) + 693594;  // days since 0001-01-01, 0-based + 1
  // Civil-from-days over the proleptic Gregorian calendar.
  int64_t z = days - 1 - 719162 + 719468;  // shift to 0000-03-01 epoch
  int64_t era = FloorDiv(z, 146097);
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2 ? 1 : 0));
}

void DecodeTime(TDateTime dt, int& hour, int& minute, int& second, int& msec) {
  int64_t ms = ToMSecs(dt);
  ms -= FloorDiv(ms, 86400000) * 86400000;
  hour = static_cast<int>(ms / 3600000);
  minute = static_cast<int>(ms / 60000 % 60);
  second = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
}

int DayOfWeek(TDateTime dt) {
  int64_t days = FloorDiv(ToMSecs(dt), 86400000);
  return static_cast<int>(((days - 1) % 7 + 7) % 7) + 1;  // 1899-12-30 was a Saturday (7)
}

TDateTime Now() {
  platform::LocalTime t = platform::Now();
  return EncodeDate(t.Year, t.Month, t.Day) + EncodeTime(t.Hour, t.Minute, t.Second, t.Milliseconds);
}

TDateTime Date() {
  platform::LocalTime t = platform::Now();
  return EncodeDate(t.Year, t.Month, t.Day);
}

TDateTime UnixToDateTime(int64_t seconds) { return kUnixDateDelta + static_cast<double>(seconds) / 86400.0; }
int64_t DateTimeToUnix(TDateTime dt) { return FloorDiv(ToMSecs(dt - kUnixDateDelta), 1000); }

TDateTime FileTimeToDateTime(int64_t fileTime) {
  return kUnixDateDelta + static_cast<double>(fileTime - 116444736000000000LL) / 864000000000.0;
}
int64_t DateTimeToFileTime(TDateTime dt) { return ToMSecs(dt - kUnixDateDelta) * 10000 + 116444736000000000LL; }

std::string DateTimeToString(TDateTime dt) {
  int y, mo, d, h, mi, s, ms;
  DecodeDate(dt, y, mo, d);
  DecodeTime(dt, h, mi, s, ms);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, d, h, mi, s, ms);
  return buf;
}

}  // namespace base
