// The native reference converter: iconv called directly, in one piece.
#include <iconv.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "TextTestSupport.h"

namespace texttest {

const bool kHostConvertsEveryXmlCodePage = true;
namespace {

const char* Name(uint16_t cp) {
  switch (cp) {
    case 1251: return "CP1251";
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    case 1252: return "CP1252";
    case 65001: return "UTF-8";
  }
  throw std::runtime_error("no reference for this code page");
}

std::string Run(const char* to, const char* from, const char* data, size_t len) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open");
  std::string out(len * 4 + 16, '\0');
  char* ip = const_cast<char*>(data);
  size_t il = len;
  char* op = out.data();
  size_t ol = out.size();
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv(cd, nullptr, nullptr, &op, &ol);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) throw std::runtime_error("iconv refused the reference text");
  out.resize(out.size() - ol);
  return out;
}

}  // namespace

std::string ReferenceEncode(const std::u16string& text, uint16_t cp) {
  return Run(Name(cp), "UTF-16LE", reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

std::u16string ReferenceDecode(const std::string& bytes, uint16_t cp) {
  std::string u = Run("UTF-16LE", Name(cp), bytes.data(), bytes.size());
  std::u16string out(u.size() / 2, u'\0');
  std::memcpy(out.data(), u.data(), out.size() * 2);
  return out;
}

}  // namespace texttest
