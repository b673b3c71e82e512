// Code-page conversion natively: the C library's iconv under the Windows code-page
// numbers, so the portable core's tests and fuzz targets cover the same code pages.
#include "platform/TextCodec.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <cerrno>
#include <cstring>

#include "platform/CodePage.h"
#include "platform/posix/SingleByteTables.h"

namespace platform {
namespace {

struct CodePageName {
  uint32_t CodePage;
  const char* Name;
};

// Windows code-page numbers and the iconv names of the same character sets.
constexpr CodePageName kNames[] = {
    {437, "CP437"},         {850, "CP850"},         {852, "CP852"},        {866, "CP866"},
    {874, "CP874"},         {932, "CP932"},         {936, "CP936"},        {949, "CP949"},
    {950, "CP950"},         {1250, "CP1250"},       {1251, "CP1251"},      {1252, "CP1252"},
    {1253, "CP1253"},       {1254, "CP1254"},       {1255, "CP1255"},      {1256, "CP1256"},
    {1257, "CP1257"},       {1258, "CP1258"},       {10000, "MACINTOSH"},  {20127, "ASCII"},
    {20866, "KOI8-R"},      {21866, "KOI8-U"},      {28591, "ISO-8859-1"}, {28592, "ISO-8859-2"},
    {28593, "ISO-8859-3"},  {28594, "ISO-8859-4"},  {28595, "ISO-8859-5"}, {28596, "ISO-8859-6"},
    {28597, "ISO-8859-7"},  {28598, "ISO-8859-8"},  {28599, "ISO-8859-9"}, {28603, "ISO-8859-13"},
    {28605, "ISO-8859-15"}, {50220, "ISO-2022-JP"}, {51932, "EUC-JP"},     {51949, "EUC-KR"},
    {54936, "GB18030"},     {65001, "UTF-8"},
};

const iconv_t kNoIconv = reinterpret_cast<iconv_t>(-1);
constexpr char16_t kReplacement = 0xFFFD;

const char* IconvName(uint32_t codePage) {
  if (codePage == kCodePageAnsi) codePage = AnsiCodePage();
  for (const auto& n : kNames)
    if (n.CodePage == codePage) return n.Name;
  return nullptr;
}

// Opens a descriptor, or records why not (EINVAL for a code page this host lacks).
uintptr_t Open(const char* to, const char* from, uint32_t& error) {
  if (!to || !from) {
    error = EINVAL;
    return 0;
  }
  iconv_t cd = iconv_open(to, from);
  if (cd == kNoIconv) {
    error = errno ? static_cast<uint32_t>(errno) : EINVAL;
    return 0;
  }
  return reinterpret_cast<uintptr_t>(cd);
}

void PutUnit(char*& out, size_t& left, char16_t unit) {
  std::memcpy(out, &unit, 2);  // UTF-16LE on the little-endian hosts we build for
  out += 2;
  left -= 2;
}

}  // namespace

// Single-byte code pages whose converters turn each byte into one character on its own
// (not 1255 and 1258, which compose a letter with the mark after it).
bool IsPlainSingleByte(uint32_t cp) {
  if (cp == kCodePageAnsi) cp = AnsiCodePage();
  return (cp >= 1250 && cp <= 1257 && cp != 1255) || (cp >= 28591 && cp <= 28605) || cp == 437 || cp == 850 ||
         cp == 852 || cp == 866 || cp == 874 || cp == 10000 || cp == 20127 || cp == 20866 || cp == 21866;
}

bool IsCp1252(uint32_t cp) { return cp == 1252 || (cp == kCodePageAnsi && AnsiCodePage() == 1252); }

TextDecoder::TextDecoder(uint32_t codePage) : FCodePage(codePage) {
  FHandle = Open("UTF-16LE", IconvName(codePage), FError);
  if (FHandle && IsCp1252(codePage)) {
    // Our own table, not the converter's, which leaves five bytes undefined.
    FSingleByte = std::make_unique<char16_t[]>(256);
    for (int b = 0; b < 256; ++b) FSingleByte[static_cast<size_t>(b)] = Cp1252ToWide(static_cast<uint8_t>(b));
    return;
  }
  if (!FHandle || !IsPlainSingleByte(codePage)) return;
  // The converter's answer for every byte, so long texts need no call per buffer.
  auto cd = reinterpret_cast<iconv_t>(FHandle);
  FSingleByte = std::make_unique<char16_t[]>(256);
  for (int b = 0; b < 256; ++b) {
    char byte = static_cast<char>(b);
    char* ip = &byte;
    size_t il = 1;
    char16_t unit[2] = {kReplacement, 0};
    char* op = reinterpret_cast<char*>(unit);
    size_t ol = sizeof unit;
    if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1) || ol != 2) unit[0] = kReplacement;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    FSingleByte[static_cast<size_t>(b)] = unit[0];
  }
}

TextDecoder::~TextDecoder() {
  if (FHandle) iconv_close(reinterpret_cast<iconv_t>(FHandle));
}

CodecStep TextDecoder::Convert(const uint8_t* in, size_t inLen, char16_t* out, size_t outCap, bool final) {
  if (FError) return {0, 0, FError};
  if (FSingleByte) {
    size_t n = inLen < outCap ? inLen : outCap;
    const char16_t* table = FSingleByte.get();
    for (size_t i = 0; i < n; ++i) {
      out[i] = table[in[i]];
      if (FExact && out[i] == kReplacement) return {i, i, 0, true};
    }
    return {n, n, 0};
  }
  auto cd = reinterpret_cast<iconv_t>(FHandle);
  char* ip = const_cast<char*>(reinterpret_cast<const char*>(in));
  size_t il = inLen;
  char* op = reinterpret_cast<char*>(out);
  size_t ol = outCap * 2;
  while (il > 0) {
    if (iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1)) break;
    int e = errno;
    if (e == E2BIG) break;
    if (e != EILSEQ && e != EINVAL) return {inLen - il, outCap - ol / 2, static_cast<uint32_t>(e)};
    if (e == EINVAL && !final) break;  // a character cut by the end of the buffer
    if (FExact) return {inLen - il, outCap - ol / 2, 0, true};
    if (ol < 2) break;
    // One replacement for the byte that starts no character (the bytes after it are
    // tried again), or for the cut character at the very end.
    PutUnit(op, ol, kReplacement);
    size_t skip = e == EINVAL ? il : 1;
    ip += skip;
    il -= skip;
  }
  if (final && il == 0) {
    // Characters the converter holds back (a base letter waiting for a combining mark).
    if (iconv(cd, nullptr, nullptr, &op, &ol) != static_cast<size_t>(-1)) iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return {inLen - il, outCap - ol / 2, 0};
}

TextEncoder::TextEncoder(uint32_t codePage) : FCodePage(codePage) {
  FHandle = Open(IconvName(codePage), "UTF-16LE", FError);
  FOwnTable = FHandle && IsCp1252(codePage);  // the reverse of the decoder's own table
}

TextEncoder::~TextEncoder() {
  if (FHandle) iconv_close(reinterpret_cast<iconv_t>(FHandle));
}

CodecStep TextEncoder::Convert(const char16_t* in, size_t inLen, uint8_t* out, size_t outCap, bool final) {
  if (FError) return {0, 0, FError};
  if (FOwnTable) {
    size_t i = 0, o = 0;
    while (i < inLen && o < outCap) {
      char16_t c = in[i];
      int mapped = WideToCp1252(c);
      auto b = static_cast<uint8_t>(mapped);
      size_t used = 1;
      if (mapped < 0) {
        bool high = c >= 0xD800 && c <= 0xDBFF;
        if (high && i + 1 == inLen && !final) break;  // waits for its low half
        if (FExact) return {i, o, 0, true};
        // A pair is one character: one default character for it.
        if (high && i + 1 < inLen && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) used = 2;
        b = '?';
      }
      out[o++] = b;
      i += used;
    }
    return {i, o, 0};
  }
  auto cd = reinterpret_cast<iconv_t>(FHandle);
  // Room kept back for the bytes that return a stateful code page to its initial state.
  constexpr size_t kResetRoom = 8;
  if (final && outCap <= kResetRoom) return {};
  size_t cap = final ? outCap - kResetRoom : outCap;
  char* ip = const_cast<char*>(reinterpret_cast<const char*>(in));
  size_t il = inLen * 2;
  char* op = reinterpret_cast<char*>(out);
  size_t ol = cap;
  while (il > 0) {
    if (iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1)) break;
    int e = errno;
    if (e == E2BIG) break;
    if (e != EILSEQ && e != EINVAL) return {inLen - il / 2, cap - ol, static_cast<uint32_t>(e)};
    if (e == EINVAL && !final) break;  // a high surrogate waiting for its low half
    if (FExact) {
      if (final) {
        ol += kResetRoom;
        iconv(cd, nullptr, nullptr, &op, &ol);
        cap += kResetRoom;
      }
      return {inLen - il / 2, cap - ol, 0, true};
    }
    // A character the code page lacks, or a lone surrogate: the default character,
    // converted too, so that a shifted code page leaves its shift first.
    char16_t q = u'?';
    char* qp = reinterpret_cast<char*>(&q);
    size_t ql = 2;
    char* saveOp = op;
    size_t saveOl = ol;
    if (iconv(cd, &qp, &ql, &op, &ol) == static_cast<size_t>(-1)) {
      op = saveOp;
      ol = saveOl;
      break;
    }
    char16_t first, second = 0;
    std::memcpy(&first, ip, 2);
    if (il >= 4) std::memcpy(&second, ip + 2, 2);
    bool pair = first >= 0xD800 && first <= 0xDBFF && second >= 0xDC00 && second <= 0xDFFF;
    size_t skip = pair ? 4 : 2;
    ip += skip;
    il -= skip;
  }
  if (final) {
    ol += kResetRoom;
    iconv(cd, nullptr, nullptr, &op, &ol);
    cap += kResetRoom;
  }
  return {inLen - il / 2, cap - ol, 0};
}

uint32_t KeyboardAnsiCodePage() { return AnsiCodePage(); }

namespace {
locale_t Utf8Locale() {
  static const locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return loc;
}
char16_t Fold(char16_t c, locale_t loc) {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? static_cast<char16_t>(c - 32) : c;
  if (!loc || (c >= 0xD800 && c <= 0xDFFF)) return c;
  wint_t u = towupper_l(c, loc);
  return u <= 0xFFFF ? static_cast<char16_t>(u) : c;
}
}  // namespace

int CompareWideText(std::u16string_view a, std::u16string_view b, bool ignoreCase) {
  locale_t loc = Utf8Locale();
  size_t n = a.size() < b.size() ? a.size() : b.size();
  int caseOrder = 0;
  for (size_t i = 0; i < n; ++i) {
    char16_t fa = Fold(a[i], loc), fb = Fold(b[i], loc);
    if (fa != fb) return fa < fb ? -1 : 1;
    // Equal but for case: the lower-case letter sorts first, as the system's collation does.
    if (!caseOrder && a[i] != b[i]) caseOrder = a[i] == fa ? 1 : -1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return ignoreCase ? 0 : caseOrder;
}

}  // namespace platform
