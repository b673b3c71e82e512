#include "base/Format.h"

#include <cstdio>

#include "base/Exceptions.h"

namespace base {
namespace {

[[noreturn]] void Invalid(std::string_view format) {
  throw EConvertError("Format '" + std::string(format) + "' invalid or incompatible with argument");
}
[[noreturn]] void NoArgument(std::string_view format) {
  throw EConvertError("No argument for format '" + std::string(format) + "'");
}

std::string Digits(uint64_t v, unsigned base, int minDigits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  do {
    s.insert(s.begin(), kDigits[v % base]);
    v /= base;
  } while (v);
  if (minDigits > static_cast<int>(s.size())) s.insert(0, static_cast<size_t>(minDigits) - s.size(), '0');
  return s;
}

std::string GroupThousands(const std::string& fixed) {
  size_t start = fixed[0] == '-' ? 1 : 0;
  size_t dot = fixed.find('.');
  size_t end = dot == std::string::npos ? fixed.size() : dot;
  std::string out = fixed.substr(0, start);
  for (size_t i = start; i < end; ++i) {
    if (i > start && (end - i) % 3 == 0) out += ',';
    out += fixed[i];
  }
  return out + fixed.substr(end);
}

std::string FormatFloat(char type, double v, int precision) {
  char buf[512];
  switch (type) {
    case 'e':
      // The product's %e uses a three-digit exponent with sign: 1.2345E+003.
      std::snprintf(buf, sizeof buf, "%.*E", precision < 0 ? 15 - 1 : precision - 1, v);
      {
        std::string s = buf;
        auto epos = s.find('E');
        if (epos != std::string::npos) {
          std::string exp = s.substr(epos + 2);
          while (exp.size() < 3) exp.insert(0, "0");
          s = s.substr(0, epos + 2) + exp;
        }
        return s;
      }
    case 'g': std::snprintf(buf, sizeof buf, "%.*G", precision < 0 ? 15 : precision, v); return buf;
    case 'n': std::snprintf(buf, sizeof buf, "%.*f", precision < 0 ? 2 : precision, v); return GroupThousands(buf);
    default: std::snprintf(buf, sizeof buf, "%.*f", precision < 0 ? 2 : precision, v); return buf;
  }
}

}  // namespace

std::string FormatArgs(std::string_view format, std::span<const TFormatArg> args) {
  std::string out;
  out.reserve(format.size() + 16);
  size_t next = 0;
  size_t i = 0;
  auto argAt = [&](size_t n) -> const TFormatArg& {
    if (n >= args.size()) NoArgument(format);
    return args[n];
  };
  auto number = [&](int& value) -> bool {
    if (i < format.size() && format[i] == '*') {
      const TFormatArg& a = argAt(next++);
      if (a.Type == TFormatArg::Kind::Int)
        value = static_cast<int>(a.I);
      else if (a.Type == TFormatArg::Kind::UInt)
        value = static_cast<int>(a.U);
      else
        Invalid(format);
      ++i;
      return true;
    }
    bool any = false;
    value = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
      if (value < 100000) value = value * 10 + (format[i] - '0');
      ++i;
      any = true;
    }
    return any;
  };

  while (i < format.size()) {
    char c = format[i++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i < format.size() && format[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // [index:]
    size_t digitsEnd = i;
    while (digitsEnd < format.size() && format[digitsEnd] >= '0' && format[digitsEnd] <= '9') ++digitsEnd;
    if (digitsEnd > i && digitsEnd < format.size() && format[digitsEnd] == ':') {
      int value = 0;
      number(value);
      next = static_cast<size_t>(value);
      ++i;
    }
    bool left = false;
    if (i < format.size() && format[i] == '-') {
      left = true;
      ++i;
    }
    int width = -1, precision = -1;
    if (!number(width)) width = -1;
    if (i < format.size() && format[i] == '.') {
      ++i;
      if (!number(precision)) precision = 0;
    }
    if (i >= format.size()) Invalid(format);
    char type = static_cast<char>(format[i++] | 0x20);  // types are case-insensitive
    const TFormatArg& a = argAt(next++);
    std::string field;
    using K = TFormatArg::Kind;
    switch (type) {
      case 'd':
        if (a.Type == K::Int) {
          uint64_t mag = a.I < 0 ? 0 - static_cast<uint64_t>(a.I) : static_cast<uint64_t>(a.I);
          field = (a.I < 0 ? "-" : "") + Digits(mag, 10, precision);
        } else if (a.Type == K::UInt) {
          field = Digits(a.U, 10, precision);
        } else {
          Invalid(format);
        }
        break;
      case 'u':
        if (a.Type == K::Int)
          field = Digits(a.Narrow ? static_cast<uint32_t>(a.I) : static_cast<uint64_t>(a.I), 10, precision);
        else if (a.Type == K::UInt)
          field = Digits(a.U, 10, precision);
        else
          Invalid(format);
        break;
      case 'x':
        if (a.Type == K::Int)
          field = Digits(a.Narrow ? static_cast<uint32_t>(a.I) : static_cast<uint64_t>(a.I), 16, precision);
        else if (a.Type == K::UInt)
          field = Digits(a.U, 16, precision);
        else
          Invalid(format);
        break;
      case 's':
        if (a.Type != K::String) Invalid(format);
        field = precision >= 0 && static_cast<size_t>(precision) < a.S.size()
                    ? std::string(a.S.substr(0, static_cast<size_t>(precision)))
                    : std::string(a.S);
        break;
      case 'f':
      case 'e':
      case 'g':
      case 'n':
        if (a.Type == K::Float)
          field = FormatFloat(type, a.F, precision);
        else
          Invalid(format);
        break;
      case 'p':
        if (a.Type != K::Pointer) Invalid(format);
        field = Digits(reinterpret_cast<uintptr_t>(a.P), 16, 8);
        break;
      default: Invalid(format);
    }
    if (width > static_cast<int>(field.size())) {
      std::string pad(static_cast<size_t>(width) - field.size(), ' ');
      field = left ? field + pad : pad + field;
    }
    out += field;
  }
  return out;
}

}  // namespace base
