#include <gtest/gtest.h>

#include "base/DateTime.h"
#include "base/Exceptions.h"

using namespace base;

TEST(DateTime, EncodeDecodeRoundTrip) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1970, 1, 1), kUnixDateDelta);
  EXPECT_EQ(EncodeDate(2000, 3, 1) - EncodeDate(2000, 2, 28), 2.0);  // leap year
  EXPECT_EQ(EncodeDate(1900, 3, 1) - EncodeDate(1900, 2, 28), 1.0);  // not a leap year
  const int dates[][3] = {{1, 1, 1}, {1899, 12, 29}, {1980, 2, 29}, {2026, 12, 7}, {9999, 12, 31}};
  for (const auto& d : dates) {
    int y, m, day;
    DecodeDate(EncodeDate(d[0], d[1], d[2]) + EncodeTime(23, 59, 59, 999), y, m, day);
    EXPECT_EQ(y, d[0]);
    EXPECT_EQ(m, d[1]);
    EXPECT_EQ(day, d[2]);
  }
  int h, mi, s, ms;
  DecodeTime(EncodeDate(2026, 12, 7) + EncodeTime(13, 5, 9, 250), h, mi, s, ms);
  EXPECT_EQ(h * 10000000 + mi * 100000 + s * 1000 + ms, 13 * 10000000 + 5 * 100000 + 9 * 1000 + 250);
}

TEST(DateTime, RejectsImpossibleParts) {
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(2023, 13, 1), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  TDateTime out;
  EXPECT_FALSE(TryEncodeDate(2023, 0, 1, out));
}

TEST(DateTime, UnixAndFileTimes) {
  EXPECT_EQ(DateTimeToUnix(UnixToDateTime(784111777)), 784111777);  // Sun, 06 Nov 1994 08:49:37
  TDateTime t = UnixToDateTime(784111777);
  EXPECT_EQ(DateTimeToString(t), "1994-11-06 08:49:37.000");
  EXPECT_EQ(DayOfWeek(t), 1);  // Sunday
  EXPECT_EQ(DateTimeToFileTime(EncodeDate(1601, 1, 1)), 0);
  EXPECT_EQ(DateTimeToFileTime(FileTimeToDateTime(132000000000000000LL)), 132000000000000000LL);
}
