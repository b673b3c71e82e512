#include "base/Strings.h"

#include <algorithm>
#include <limits>

#include "base/Exceptions.h"
#include "platform/CodePage.h"

namespace base {

WideString AnsiToWide(std::string_view s) { return platform::MultiByteToWide(s, platform::kCodePageAnsi); }
AnsiString WideToAnsi(std::u16string_view s) { return platform::WideToMultiByte(s, platform::kCodePageAnsi); }
WideString Utf8ToWide(std::string_view s) { return platform::MultiByteToWide(s, platform::kCodePageUtf8); }
std::string WideToUtf8(std::u16string_view s) { return platform::WideToMultiByte(s, platform::kCodePageUtf8); }

AnsiString IntToStr(int64_t v) { return std::to_string(v); }

AnsiString IntToHex(uint64_t v, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  AnsiString s;
  do {
    s.insert(s.begin(), kDigits[v & 15]);
    v >>= 4;
  } while (v);
  if (digits > static_cast<int>(s.size())) s.insert(0, static_cast<size_t>(digits) - s.size(), '0');
  return s;
}

bool TryStrToInt64(std::string_view s, int64_t& out) {
  size_t i = 0, n = s.size();
  while (i < n && (s[i] == ' ' || s[i] == '\t')) ++i;
  while (n > i && (s[n - 1] == ' ' || s[n - 1] == '\t')) --n;
  bool neg = false;
  if (i < n && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
  unsigned base = 10;
  if (i < n && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= n) return false;
  uint64_t v = 0;
  for (; i < n; ++i) {
    char c = s[i];
    unsigned d;
    if (c >= '0' && c <= '9')
      d = static_cast<unsigned>(c - '0');
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = static_cast<unsigned>(c - 'a' + 10);
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = static_cast<unsigned>(c - 'A' + 10);
    else
      return false;
    if (v > (static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1 - d) / base) return false;
    v = v * base + d;
  }
  if (!neg && v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
  out = neg ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
  return true;
}

bool TryStrToInt(std::string_view s, int32_t& out) {
  int64_t v;
  if (!TryStrToInt64(s, v) || v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    return false;
  out = static_cast<int32_t>(v);
  return true;
}

int32_t StrToInt(std::string_view s) {
  int32_t v;
  if (!TryStrToInt(s, v)) throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
  return v;
}

int32_t StrToIntDef(std::string_view s, int32_t def) {
  int32_t v;
  return TryStrToInt(s, v) ? v : def;
}

namespace {
template <class C>
bool IsBlank(C c) {
  return c <= ' ';
}
}  // namespace

AnsiString TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(static_cast<unsigned char>(s[i]))) ++i;
  return AnsiString(s.substr(i));
}
AnsiString TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsBlank(static_cast<unsigned char>(s[n - 1]))) --n;
  return AnsiString(s.substr(0, n));
}
AnsiString Trim(std::string_view s) { return TrimLeft(TrimRight(s)); }
WideString Trim(std::u16string_view s) {
  size_t i = 0, n = s.size();
  while (i < n && IsBlank(s[i])) ++i;
  while (n > i && IsBlank(s[n - 1])) --n;
  return WideString(s.substr(i, n - i));
}

AnsiString UpperCase(std::string_view s) {
  AnsiString r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return r;
}
AnsiString LowerCase(std::string_view s) {
  AnsiString r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return r;
}
bool SameText(std::string_view a, std::string_view b) { return a.size() == b.size() && UpperCase(a) == UpperCase(b); }
bool StartsText(std::string_view prefix, std::string_view s) {
  return s.size() >= prefix.size() && SameText(prefix, s.substr(0, prefix.size()));
}

size_t Pos(std::string_view sub, std::string_view s) {
  if (sub.empty()) return 0;
  size_t p = s.find(sub);
  return p == std::string_view::npos ? 0 : p + 1;
}
size_t Pos(std::u16string_view sub, std::u16string_view s) {
  if (sub.empty()) return 0;
  size_t p = s.find(sub);
  return p == std::u16string_view::npos ? 0 : p + 1;
}

AnsiString Copy(std::string_view s, int64_t index, int64_t count) {
  if (index < 1) index = 1;
  if (count <= 0 || index > static_cast<int64_t>(s.size())) return {};
  return AnsiString(s.substr(static_cast<size_t>(index - 1), static_cast<size_t>(count)));
}

AnsiString StringReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return AnsiString(s);
  AnsiString out;
  size_t i = 0;
  for (;;) {
    size_t p = s.find(from, i);
    if (p == std::string_view::npos) break;
    out.append(s.substr(i, p - i)).append(to);
    i = p + from.size();
  }
  return out.append(s.substr(i));
}

std::vector<AnsiString> SplitString(std::string_view s, char delimiter) {
  std::vector<AnsiString> parts;
  size_t i = 0;
  for (;;) {
    size_t p = s.find(delimiter, i);
    parts.emplace_back(s.substr(i, p == std::string_view::npos ? std::string_view::npos : p - i));
    if (p == std::string_view::npos) return parts;
    i = p + 1;
  }
}

namespace {
template <class C>
bool IsDelim(C c) {
  return c == '\\' || c == '/';
}
template <class S, class V>
S TrailingDelim(V path) {
  S s(path);
  if (s.empty() || !IsDelim(s.back())) s += typename S::value_type('\\');
  return s;
}
template <class V>
size_t LastDelim(V path) {
  for (size_t i = path.size(); i > 0; --i)
    if (IsDelim(path[i - 1]) || path[i - 1] == ':') return i;
  return 0;
}
}  // namespace

AnsiString IncludeTrailingPathDelimiter(std::string_view path) { return TrailingDelim<AnsiString>(path); }
WideString IncludeTrailingPathDelimiter(std::u16string_view path) { return TrailingDelim<WideString>(path); }
AnsiString ExtractFilePath(std::string_view path) { return AnsiString(path.substr(0, LastDelim(path))); }
WideString ExtractFilePath(std::u16string_view path) { return WideString(path.substr(0, LastDelim(path))); }
AnsiString ExtractFileName(std::string_view path) { return AnsiString(path.substr(LastDelim(path))); }

AnsiString ExtractFileExt(std::string_view path) {
  AnsiString name = ExtractFileName(path);
  size_t dot = name.rfind('.');
  return dot == AnsiString::npos ? AnsiString() : name.substr(dot);
}

AnsiString ChangeFileExt(std::string_view path, std::string_view ext) {
  size_t nameStart = LastDelim(path);
  size_t dot = path.rfind('.');
  AnsiString base(dot == std::string_view::npos || dot < nameStart ? path : path.substr(0, dot));
  return base + AnsiString(ext);
}

}  // namespace base
