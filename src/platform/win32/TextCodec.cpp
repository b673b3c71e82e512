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

CodecStep TextDecoder::Convert(const uint8_t* in, size_t inLen, char16_t* out, size_t outCap, bool final) {
  if (FError) return {0, 0, FError};
  // Each byte gives at most one UTF-16 unit in the code pages handled here.
  size_t n = inLen < outCap ? inLen : outCap;
  if (FHandle && n > 0) {
    auto isLead = [this](uint8_t b) {
      for (size_t i = 0; i + 1 < sizeof(FLeadBytes) && FLeadBytes[i]; i += 2)
        if (b >= FLeadBytes[i] && b <= FLeadBytes[i + 1]) return true;
      return false;
    };
    size_t i = 0;
    while (i < n) {
      if (isLead(in[i])) {
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
