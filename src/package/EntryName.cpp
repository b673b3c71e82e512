#include "package/EntryName.h"

#include <cstdint>
#include <type_traits>

#include "base/Strings.h"

namespace package {
namespace {

constexpr size_t kMaxPartLength = 255;
constexpr size_t kMaxPrintable = 2048;  // room for a target directory and the longest name

template <class C>
bool IsSeparator(C c) {
  return c == C('\\') || c == C('/');
}

template <class C>
C Upper(C c) {
  return c >= C('a') && c <= C('z') ? C(c - 32) : c;
}

template <class C>
bool SameAscii(std::basic_string_view<C> s, const char* word) {
  size_t i = 0;
  for (; word[i]; ++i)
    if (i >= s.size() || Upper(s[i]) != C(word[i])) return false;
  return i == s.size();
}

// COM and LPT devices take a digit, or on recent Windows a superscript 1, 2 or 3
// (U+00B9, U+00B2, U+00B3, which are also their Windows-1252 bytes).
template <class C>
bool IsDeviceDigit(C c) {
  auto u = static_cast<uint32_t>(static_cast<std::make_unsigned_t<C>>(c));
  return (u >= '0' && u <= '9') || u == 0xB9 || u == 0xB2 || u == 0xB3;
}

// Windows maps these names to devices in every folder, also with an extension
// ("nul.txt") and with blanks before the extension ("con .txt").
template <class C>
bool IsDeviceName(std::basic_string_view<C> part) {
  std::basic_string_view<C> base = part.substr(0, part.find(C('.')));
  while (!base.empty() && base.back() == C(' ')) base.remove_suffix(1);
  for (const char* d : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"})
    if (SameAscii(base, d)) return true;
  if (base.size() == 4 && IsDeviceDigit(base[3]))
    return SameAscii(base.substr(0, 3), "COM") || SameAscii(base.substr(0, 3), "LPT");
  return false;
}

template <class C>
const char* CheckPart(std::basic_string_view<C> part) {
  if (part.empty()) return "empty path part";
  if (part.size() == 1 && part[0] == C('.')) return "'.' path part";
  if (part.size() == 2 && part[0] == C('.') && part[1] == C('.')) return "parent-directory part";
  if (part.back() == C('.') || part.back() == C(' ')) return "path part ends in a dot or space";
  if (part.size() > kMaxPartLength) return "path part longer than 255 characters";
  if (IsDeviceName(part)) return "device name";
  return nullptr;
}

template <class C>
const char* CheckPath(std::basic_string_view<C> name) {
  if (name.empty()) return "empty name";
  if (IsSeparator(name[0])) return "absolute path";
  for (C c : name) {
    auto u = static_cast<uint32_t>(static_cast<std::make_unsigned_t<C>>(c));
    if (u < 0x20) return "control character";
    if (c == C(':')) return "drive letter or stream name";
    if (c == C('<') || c == C('>') || c == C('"') || c == C('?') || c == C('*') || c == C('|'))
      return "character not allowed in file names";
  }
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && !IsSeparator(name[i])) continue;
    if (const char* why = CheckPart(name.substr(start, i - start))) return why;
    start = i + 1;
  }
  return nullptr;
}

}  // namespace

std::string CheckEntryName(std::string_view name) {
  if (name.size() > kMaxNameLength) return "name longer than 1024 bytes";
  if (const char* why = CheckPath(name)) return why;
  std::u16string wide = base::AnsiToWide(name);
  if (const char* why = CheckPath(std::u16string_view(wide))) return why;
  return {};
}

std::string PrintableName(std::string_view name) {
  std::string s(name.substr(0, kMaxPrintable));
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  if (name.size() > kMaxPrintable) s += "...";
  return s;
}

}  // namespace package
