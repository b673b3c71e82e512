#include <gtest/gtest.h>

#include "base/DateTime.h"
#include "base/Strings.h"
#include "net/HTTPApp.h"

namespace {

using base::EncodeDate;
using base::EncodeTime;

TEST(SplitURL, Table) {
  struct Case {
    const char* Url;
    const char *Authority, *Path, *Port, *Host, *Last;
  } cases[] = {
      // A colon in the path is not a port.
      {"http://host:8080/a:b/c?x=1", "host:8080", "/a:b/c?x=1", "8080", "host", "c?x=1"},
      {"https://example.com/dir/file.txt", "example.com", "/dir/file.txt", "443", "example.com", "file.txt"},
      {"https://example.com:8443/", "example.com:8443", "/", "8443", "example.com", ""},
      {"http://example.com", "example.com", "/", "", "example.com", "example.com"},
      {"HTTP://Host.Example/x y", "Host.Example", "/x y", "", "Host.Example", "x y"},
      // A colon after the query start is not a port; a port ends at the query.
      {"http://h?a=b:c", "h?a=b:c", "/", "", "h?a=b:c", "h?a=b:c"},
      {"http://h:81?q", "h:81?q", "/", "81", "h", "h:81?q"},
  };
  for (const auto& c : cases) {
    std::string authority, path, port, host, last;
    ASSERT_TRUE(net::SplitURL(c.Url, authority, path, port, host, last)) << c.Url;
    EXPECT_EQ(authority, c.Authority) << c.Url;
    EXPECT_EQ(path, c.Path) << c.Url;
    EXPECT_EQ(port, c.Port) << c.Url;
    EXPECT_EQ(host, c.Host) << c.Url;
    EXPECT_EQ(last, c.Last) << c.Url;
  }
}

TEST(SplitURL, OtherSchemesFailAndLeaveOutputs) {
  std::string a = "a", p = "p", o = "o", h = "h", l = "l";
  for (const char* url : {"ftp://host/", "host/path", "", "http:/host", "https:"}) {
    EXPECT_FALSE(net::SplitURL(url, a, p, o, h, l)) << url;
  }
  EXPECT_EQ(a + p + o + h + l, "apohl");
}

TEST(URLText, Encodings) {
  EXPECT_EQ(net::URLDirectory("http://h/a/b/c.txt"), "http://h/a/b");
  EXPECT_EQ(net::URLDirectory("nodir"), "nodir");
  EXPECT_EQ(net::EncodeSpaces("/a b/c  d"), "/a%20b/c%20%20d");
  EXPECT_EQ(net::URLEncode("a b=c&d"), "a+b%3Dc%26d");
  EXPECT_EQ(net::URLEncode("!$'()*-.@_AZaz09"), "!$'()*-.@_AZaz09");
  EXPECT_EQ(net::URLEncode("\xFC/~\x01%"), "%FC%2F%7E%01%25");
  EXPECT_EQ(net::URLEncode(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(net::HTMLEscape("<a href=\"x\">&'"), "&lt;a href=&quot;x&quot;&gt;&amp;'");
  EXPECT_EQ(net::HTMLEscape(std::string("a\0<", 3)), "a");
}

TEST(URLText, ExtractDigits) {
  struct Case {
    const char* Text;
    int Start;
    const char* Digits;
  } cases[] = {{"HTTP/1.1 200 OK", 9, "200"},
               {"HTTP/1.1 200 OK", 1, "1"},
               {"  1234  ", 1, "1234"},
               {"abc", 1, ""},
               {"12", 3, ""},
               {"12", 0, "12"},
               {"x9", 2, "9"}};
  for (const auto& c : cases) EXPECT_EQ(net::ExtractDigits(c.Text, c.Start), c.Digits) << c.Text << " @" << c.Start;
}

TEST(HTTPDate, FormatsInCapitalDayNames) {
  EXPECT_EQ(net::HTTPDateToStr(EncodeDate(1994, 11, 6) + EncodeTime(8, 49, 37, 0)), "SUN, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(net::HTTPDateToStr(EncodeDate(2026, 12, 31) + EncodeTime(23, 59, 59, 0)), "THU, 31 Dec 2026 23:59:59 GMT");
  EXPECT_EQ(net::HTTPDateToStr(EncodeDate(2000, 2, 29)), "TUE, 29 Feb 2000 00:00:00 GMT");
}

// Parsed dates are local times: the UTC instant plus the local offset.
double Local(int y, int m, int d, int h, int n, int s) {
  return EncodeDate(y, m, d) + EncodeTime(h, n, s, 0) + net::LocalOffset();
}

TEST(HTTPDate, ParsesTheThreeFormsAndZones) {
  const double oneSecond = 1.0 / 86400;
  const double expected = Local(1994, 11, 6, 8, 49, 37);
  for (const char* text :
       {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994",
        "  sun,06 nov 1994 08:49:37 GMT  ", "Sun, 06 Nov 1994 09:49:37 +0100", "Sun, 06 Nov 1994 03:19:37 -0530",
        "06 Nov 1994 08:49:37 GMT", "Sun, 06 Nov 1994 08:49:37 AM GMT"}) {
    EXPECT_NEAR(net::ParseHTTPDate(text), expected, oneSecond / 10) << text;
  }
  EXPECT_NEAR(net::ParseHTTPDate("Sun, 06 Nov 1994 08:49:37 PM GMT"), Local(1994, 11, 6, 20, 49, 37), oneSecond / 10);
  EXPECT_NEAR(net::ParseHTTPDate("Sun, 06 Nov 1994 12:10:00 AM GMT"), Local(1994, 11, 6, 0, 10, 0), oneSecond / 10);
  // Two-digit years: below 80 are this century's.
  EXPECT_NEAR(net::ParseHTTPDate("Sun, 01-Jan-79 00:00:00 GMT"), Local(2079, 1, 1, 0, 0, 0), oneSecond / 10);
  EXPECT_NEAR(net::ParseHTTPDate("Tue, 01-Jan-80 00:00:00 GMT"), Local(1980, 1, 1, 0, 0, 0), oneSecond / 10);
}

TEST(HTTPDate, InvalidTextsGiveZero) {
  for (const char* text : {"", "   ", "garbage", "Sun, 31 Feb 1994 08:49:37 GMT", "Sun, 06 Nov 1994 25:00:00 GMT",
                           "Sun, 06 Foo 1994 08:49:37 GMT", "Sun, 06 Nov 1994 08:61:00 GMT", "Sun,", ":::", "-"}) {
    EXPECT_EQ(net::ParseHTTPDate(text), 0.0) << text;
  }
}

TEST(HTTPDate, LocalRoundTrip) {
  const double t = EncodeDate(2026, 7, 15) + EncodeTime(13, 5, 9, 0);
  std::string text = net::LocalToHTTPDate(t);
  EXPECT_TRUE(text.ends_with(" GMT")) << text;
  EXPECT_EQ(text.substr(0, 3), base::UpperCase(text.substr(0, 3))) << text;
  EXPECT_NEAR(net::ParseHTTPDate(text), t, 1.0 / 86400 / 10) << text;
}

}  // namespace
