// Code-page conversion on Windows: MultiByteToWideChar/WideCharToMultiByte, a buffer at a
// time. The calls keep no state, so a double-byte character cut by the end of a buffer
// is found here (from the code page's lead-byte ranges) and left for the next buffer.
#include "platform/TextCodec.h"

#include <windows.h>

namespace platform {
namespace {

// Code pages whose conversions refuse every flag but 0.
bool NeedsZeroFlags(uint32_t cp) {
  return cp == 42 || (cp >= 50220 && cp <= 50229) || cp == 52936 || cp == 54936 || (cp >= 57002 && cp <= 57011) ||
         cp == 65000 || cp == 65001;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

TextDecoder::TextDecoder(uint32_t codePage) : FCodePage(codePage) {
  CPINFO info;
  if (!GetCPInfo(codePage, &info)) {
    FError = GetLastError();
    if (!FError) FError = ERROR_INVALID_PARAMETER;
    return;
  }
  if (info.MaxCharSize == 2) {
    FHandle = 1;  // double-byte: watch for a lead byte at the end of a buffer
    for (size_t i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i]; i += 2) {
      FLeadBytes[i] = info.LeadByte[i];
      FLeadBytes[i + 1] = info.LeadByte[i + 1];
    }
  }
}

TextDecoder::~TextDecoder() = default;

bool TextDecoder::IsDbcsLead(uint8_t b) const {
  for (size_t i = 0; i + 1 < sizeof(FLeadBytes) && FLeadBytes[i]; i += 2)
    if (b >= FLeadBytes[i] && b <= FLeadBytes[i + 1]) return true;
  return false;
}

CodecStep TextDecoder::Convert(const uint8_t* in, size_t inLen, char16_t* out, size_t outCap, bool final) {
  if (FError) return {0, 0, FError};
  // Each byte gives at most one UTF-16 unit in the code pages handled here.
  size_t n = inLen < outCap ? inLen : outCap;
  if (FHandle && n > 0) {
    size_t i = 0;
    while (i < n) {
      if (IsDbcsLead(in[i])) {
        if (i + 1 >= n) break;
        i += 2;
      } else {
        i += 1;
      }
    }
    if (i < n && !(final && n == inLen)) n = i;
  }
  if (n == 0) return {};
  DWORD flags = NeedsZeroFlags(FCodePage) ? 0 : MB_PRECOMPOSED;
  if (FExact) {
    flags = (FCodePage == 54936 || FCodePage == 65001 || !NeedsZeroFlags(FCodePage) ? flags : 0) | MB_ERR_INVALID_CHARS;
    auto convert = [&](size_t from, size_t count, char16_t* to, size_t cap) {
      return MultiByteToWideChar(FCodePage, flags, reinterpret_cast<const char*>(in + from), static_cast<int>(count),
                                 reinterpret_cast<wchar_t*>(to), static_cast<int>(cap));
    };
    int r = convert(0, n, out, outCap);
    if (r > 0) return {n, static_cast<size_t>(r), 0};
    if (GetLastError() != ERROR_NO_UNICODE_TRANSLATION) return {0, 0, ERROR_INVALID_PARAMETER};
    // Find the first character that does not convert. Single- and double-byte code pages
    // are walked a character at a time; others by the longest prefix that converts.
    size_t start = 0;
    if (!NeedsZeroFlags(FCodePage)) {
      char16_t one[2];
      while (start < n) {
        size_t len = FHandle && IsDbcsLead(in[start]) ? 2 : 1;
        if (start + len > n || convert(start, len, one, 2) <= 0) break;
        start += len;
      }
    } else {
      size_t good = 0, bad = n;
      while (bad - good > 1) {
        size_t mid = good + (bad - good) / 2;
        if (convert(0, mid, out, outCap) > 0)
          good = mid;
        else
          bad = mid;
      }
      start = good;
    }
    int made = start ? convert(0, start, out, outCap) : 0;
    return {start, static_cast<size_t>(made > 0 ? made : 0), 0, true};
  }
  for (;;) {
    int r = MultiByteToWideChar(FCodePage, flags, reinterpret_cast<const char*>(in), static_cast<int>(n),
                                reinterpret_cast<wchar_t*>(out), static_cast<int>(outCap));
    if (r > 0) return {n, static_cast<size_t>(r), 0};
    DWORD e = GetLastError();
    if (e != ERROR_INSUFFICIENT_BUFFER || n <= 1) return {0, 0, e ? e : ERROR_INVALID_PARAMETER};
    n /= 2;
  }
}

TextEncoder::TextEncoder(uint32_t codePage) : FCodePage(codePage) {
  CPINFO info;
  if (!GetCPInfo(codePage, &info)) {
    FError = GetLastError();
    if (!FError) FError = ERROR_INVALID_PARAMETER;
  }
}

TextEncoder::~TextEncoder() = default;

CodecStep TextEncoder::Convert(const char16_t* in, size_t inLen, uint8_t* out, size_t outCap, bool final) {
  if (FError) return {0, 0, FError};
  size_t n = inLen;
  if (!final && n > 0 && IsHighSurrogate(in[n - 1])) --n;
  if (n == 0) return {};
  DWORD flags = NeedsZeroFlags(FCodePage) ? 0 : WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR;
  if (FExact && !NeedsZeroFlags(FCodePage)) {
    // One character at a time is checked only when the whole piece used the default.
    auto convert = [&](size_t from, size_t count, uint8_t* to, size_t cap, BOOL* usedDefault) {
      return WideCharToMultiByte(FCodePage, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(in + from),
                                 static_cast<int>(count), reinterpret_cast<char*>(to), static_cast<int>(cap), nullptr,
                                 usedDefault);
    };
    BOOL usedDefault = FALSE;
    int r = convert(0, n, out, outCap, &usedDefault);
    if (r > 0 && !usedDefault) return {n, static_cast<size_t>(r), 0};
    size_t i = 0, made = 0;
    while (i < n) {
      size_t len = IsHighSurrogate(in[i]) && i + 1 < n && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF ? 2 : 1;
      usedDefault = FALSE;
      int one = convert(i, len, out + made, outCap - made, &usedDefault);
      if (one <= 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) break;
      if (one <= 0 || usedDefault) return {i, made, 0, true};
      made += static_cast<size_t>(one);
      i += len;
    }
    return {i, made, 0};
  }
  for (;;) {
    int r = WideCharToMultiByte(FCodePage, flags, reinterpret_cast<const wchar_t*>(in), static_cast<int>(n),
                                reinterpret_cast<char*>(out), static_cast<int>(outCap), nullptr, nullptr);
    if (r > 0) return {n, static_cast<size_t>(r), 0};
    DWORD e = GetLastError();
    if (e != ERROR_INSUFFICIENT_BUFFER || n <= 1) return {0, 0, e ? e : ERROR_INVALID_PARAMETER};
    n /= 2;  // more bytes than room: convert a shorter piece, never half a surrogate pair
    if (n > 1 && IsHighSurrogate(in[n - 1])) --n;
  }
}

uint32_t KeyboardAnsiCodePage() {
  auto lang = static_cast<LANGID>(reinterpret_cast<uintptr_t>(GetKeyboardLayout(0)) & 0xFFFF);
  char buf[8] = {};
  if (GetLocaleInfoA(MAKELCID(lang, SORT_DEFAULT), LOCALE_IDEFAULTANSICODEPAGE, buf, sizeof buf) <= 0) return 1252;
  uint32_t cp = 0;
  for (const char* p = buf; *p >= '0' && *p <= '9'; ++p) cp = cp * 10 + static_cast<uint32_t>(*p - '0');
  return cp ? cp : 1252;
}

int CompareWideText(std::u16string_view a, std::u16string_view b, bool ignoreCase) {
  int r = CompareStringW(LOCALE_USER_DEFAULT, ignoreCase ? NORM_IGNORECASE : 0,
                         reinterpret_cast<const wchar_t*>(a.data()), static_cast<int>(a.size()),
                         reinterpret_cast<const wchar_t*>(b.data()), static_cast<int>(b.size()));
  if (r == 0) return a.compare(b) < 0 ? -1 : a == b ? 0 : 1;
  return r - CSTR_EQUAL;
}

}  // namespace platform
