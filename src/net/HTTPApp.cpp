#include "net/HTTPApp.h"

#include <array>

#include "base/Format.h"
#include "base/Strings.h"
#include "platform/Clock.h"

namespace net {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendPercent(std::string& out, unsigned char c) {
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

std::string_view UpToZero(std::string_view text) {
  size_t z = text.find('\0');
  return z == std::string_view::npos ? text : text.substr(0, z);
}

}  // namespace

bool SplitURL(std::string_view url, std::string& authority, std::string& path, std::string& port, std::string& host,
              std::string& lastSegment) {
  std::string lower = base::LowerCase(url);
  size_t hostStart;  // 0-based
  std::string defaultPort;
  if (lower.starts_with("http://")) {
    hostStart = 7;
  } else if (lower.starts_with("https://")) {
    hostStart = 8;
    defaultPort = "443";
  } else {
    return false;
  }
  size_t firstSlash = std::string_view::npos;
  size_t lastSlash = hostStart - 1;  // the second '/' of "//": no path means the host is the last segment
  size_t colon = std::string_view::npos;
  size_t portEnd = std::string_view::npos;
  bool queryStarted = false;
  for (size_t i = hostStart; i < url.size(); ++i) {
    char c = url[i];
    if (c == '/') {
      if (firstSlash == std::string_view::npos) firstSlash = i;
      lastSlash = i;
      if (portEnd == std::string_view::npos) portEnd = i;
    } else if (c == '?') {
      queryStarted = true;
      if (portEnd == std::string_view::npos) portEnd = i;
    } else if (c == ':' && colon == std::string_view::npos && firstSlash == std::string_view::npos && !queryStarted) {
      colon = i;
    }
  }
  size_t authorityEnd = firstSlash == std::string_view::npos ? url.size() : firstSlash;
  std::string auth(url.substr(hostStart, authorityEnd - hostStart));
  if (!auth.empty() && auth.back() == '/') auth.pop_back();
  std::string h, p;
  if (colon != std::string_view::npos) {
    h = std::string(url.substr(hostStart, colon - hostStart));
    if (!h.empty() && h.back() == '/') h.pop_back();
    // The port ends at the path or at a query that follows the port directly.
    size_t end = portEnd == std::string_view::npos ? url.size() : portEnd;
    p = std::string(url.substr(colon + 1, end - colon - 1));
  } else {
    h = auth;
  }
  if (p.empty()) p = defaultPort;
  authority = std::move(auth);
  host = std::move(h);
  port = std::move(p);
  path = firstSlash == std::string_view::npos ? std::string("/") : std::string(url.substr(firstSlash));
  lastSegment = std::string(url.substr(lastSlash + 1));
  return !path.empty();
}

std::string URLDirectory(std::string_view url) {
  size_t p = url.rfind('/');
  return std::string(p == std::string_view::npos ? url : url.substr(0, p));
}

std::string EncodeSpaces(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (char c : path) {
    if (c == ' ')
      out += "%20";
    else
      out += c;
  }
  return out;
}

std::string URLEncode(std::string_view text) {
  std::string out;
  for (char ch : UpToZero(text)) {
    auto c = static_cast<unsigned char>(ch);
    bool keep = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    switch (c) {
      case '!':
      case '$':
      case '\'':
      case '(':
      case ')':
      case '*':
      case '-':
      case '.':
      case '@':
      case '_': keep = true; break;
      default: break;
    }
    if (keep)
      out += ch;
    else if (c == ' ')
      out += '+';
    else
      AppendPercent(out, c);
  }
  return out;
}

std::string HTMLEscape(std::string_view text) {
  std::string out;
  for (char c : UpToZero(text)) {
    switch (c) {
      case '"': out += "&quot;"; break;
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string ExtractDigits(std::string_view text, int start) {
  size_t i = start < 1 ? 0 : static_cast<size_t>(start - 1);
  while (i < text.size() && !(text[i] >= '0' && text[i] <= '9')) ++i;
  size_t begin = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  return std::string(text.substr(begin < text.size() ? begin : text.size(), i - begin));
}

// --- HTTP dates ----------------------------------------------------------------------

namespace {

constexpr std::array<const char*, 7> kDayNames = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// 1..12 for a month name compared without case, 0 otherwise.
int MonthIndex(std::string_view token) {
  std::string upper = base::UpperCase(token);
  for (size_t i = 0; i < kMonthNames.size(); ++i) {
    if (upper == base::UpperCase(kMonthNames[i])) return static_cast<int>(i + 1);
  }
  return 0;
}

// The text before the first `separator`, removed from s together with the separator;
// the whole rest when the separator is missing.
std::string Fetch(std::string& s, std::string_view separator) {
  size_t p = s.find(separator);
  std::string token;
  if (p == std::string::npos) {
    token.swap(s);
  } else {
    token = s.substr(0, p);
    s.erase(0, p + separator.size());
  }
  return token;
}

int IntDef(std::string_view s, int def) {
  int32_t v;
  return base::TryStrToInt(s, v) ? v : def;
}

}  // namespace

std::string HTTPDateToStr(base::TDateTime utc) {
  int year, month, day, hour, minute, second, msec;
  base::DecodeDate(utc, year, month, day);
  base::DecodeTime(utc, hour, minute, second, msec);
  std::string time = base::Format("%.2d:%.2d:%.2d", hour, minute, second);
  return base::Format("%s, %.2d %s %.4d %s %s", kDayNames[static_cast<size_t>(base::DayOfWeek(utc) - 1)], day,
                      kMonthNames[static_cast<size_t>(month - 1)], year, time, "GMT");
}

std::string LocalToHTTPDate(base::TDateTime local) { return HTTPDateToStr(local - LocalOffset()); }

base::TDateTime LocalOffset() { return -static_cast<double>(platform::TimeZoneBiasMinutes()) / 1440.0; }

base::TDateTime ParseHTTPDate(std::string_view text) {
  std::string s = base::Trim(text);
  if (s.empty()) return 0;

  // Day name, with "Sun,06" read as "Sun, 06".
  if (s.size() >= 3) {
    std::string head = base::UpperCase(std::string_view(s).substr(0, 3));
    bool isDay = false;
    for (const char* d : kDayNames) isDay = isDay || head == d;
    if (isDay) {
      if (s.size() > 4 && s[3] == ',' && s[4] != ' ') s.insert(4, " ");
      Fetch(s, " ");
      s = base::TrimLeft(s);
    }
  }

  size_t dash = s.find('-');
  size_t space = s.find(' ');
  std::string sep = dash != std::string::npos && dash >= 1 && space != std::string::npos && dash < space ? "-" : " ";

  int day, month;
  std::string peek = s.substr(0, s.find(sep));
  auto readDay = [&] {
    day = IntDef(Fetch(s, sep), 1);
    s = base::TrimLeft(s);
  };
  auto readMonth = [&] {
    month = MonthIndex(Fetch(s, sep));
    s = base::TrimLeft(s);
  };
  if (MonthIndex(peek) == 0) {
    readDay();
    readMonth();
  } else {
    readMonth();
    readDay();
  }

  std::string yearToken = Fetch(s, " ");
  int year = IntDef(yearToken, 1900);
  // 1900 doubles as "not a number" on purpose (asctime puts the time before the year),
  // so a date in 1900 reads its year from the end; no real Last-Modified is that old.
  if (year == 1900) {
    year = IntDef(s, 1900);
    s = yearToken;
  }
  if (year >= 0 && year < 80)
    year += 2000;
  else if (year >= 80 && year <= 99)
    year += 1900;

  base::TDateTime result;
  if (!base::TryEncodeDate(year, month, day, result)) return 0;

  bool am = false, pm = false;
  if (size_t p = s.find("AM"); p != std::string::npos) {
    s.erase(p);
    am = true;
  } else if (size_t q = s.find("PM"); q != std::string::npos) {
    s.erase(q);
    pm = true;
  }
  if (s.find(':') != std::string::npos) {
    std::string time = Fetch(s, " ");
    int hour = IntDef(Fetch(time, ":"), 0);
    int minute = IntDef(Fetch(time, ":"), 0);
    int second = IntDef(time, 0);
    if (am && hour == 12) hour = 0;
    if (pm && hour < 12) hour += 12;
    base::TDateTime t;
    if (!base::TryEncodeTime(hour, minute, second, 0, t)) return 0;
    result += t;
  }

  std::string zone = base::Trim(s);
  base::TDateTime offset = 0;
  if (zone.size() > 4 && (zone[0] == '+' || zone[0] == '-')) {
    if (!base::TryEncodeTime(IntDef(zone.substr(1, 2), -1), IntDef(zone.substr(3, 2), -1), 0, 0, offset)) offset = 0;
    if (zone[0] == '-') offset = -offset;
  }
  return result - offset + LocalOffset();
}

}  // namespace net
