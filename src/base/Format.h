// Format: the product's printf-like text formatting with its own rules, so that texts
// like "%s %d %.2d %.2x" come out as the product writes them:
//   %[index:][-][width][.precision]type, with * for width or precision from the arguments.
//   d  signed decimal; precision = minimum digits, zero padded
//   u  unsigned decimal
//   x  hexadecimal with capital digits; precision = minimum digits; a negative 32-bit
//      value prints as its two's complement
//   s  string; precision = maximum characters
//   f e g n  floating point (precision default 2 for f and n; n groups thousands with ',')
//   p  pointer as 8 capital hexadecimal digits
//   %% a percent sign
// A type that does not fit its argument raises EConvertError
// "Format '%s' invalid or incompatible with argument"; a missing argument raises
// EConvertError "No argument for format '%s'".
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace base {

struct TFormatArg {
  enum class Kind { Int, UInt, Float, String, Pointer } Type;
  int64_t I = 0;
  uint64_t U = 0;
  double F = 0;
  std::string_view S;
  const void* P = nullptr;
  bool Narrow = true;  // an integer of 32 bits or less (for %x of negative values)

  template <class T>
  requires std::is_integral_v<T> TFormatArg(T v)
      : Type(std::is_signed_v<T> ? Kind::Int : Kind::UInt), Narrow(sizeof(T) <= 4) {
    if constexpr (std::is_signed_v<T>)
      I = v;
    else
      U = v;
  }
  TFormatArg(double v) : Type(Kind::Float), F(v) {}
  TFormatArg(float v) : Type(Kind::Float), F(v) {}
  TFormatArg(const std::string& v) : Type(Kind::String), S(v) {}
  TFormatArg(std::string_view v) : Type(Kind::String), S(v) {}
  TFormatArg(const char* v) : Type(Kind::String), S(v ? v : "") {}
  TFormatArg(const void* v) : Type(Kind::Pointer), P(v) {}
};

std::string FormatArgs(std::string_view format, std::span<const TFormatArg> args);

template <class... A>
std::string Format(std::string_view format, const A&... args) {
  if constexpr (sizeof...(A) == 0) {
    return FormatArgs(format, {});
  } else {
    const TFormatArg list[] = {TFormatArg(args)...};
    return FormatArgs(format, list);
  }
}

}  // namespace base
