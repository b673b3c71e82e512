#include "platform/CodePage.h"

#include <array>

#include "platform/TextCodec.h"
#include "platform/posix/SingleByteTables.h"

namespace platform {
namespace {

constexpr uint32_t kCp1252 = 1252;

// Windows-1252 0x80..0x9F; 0 marks the five unassigned bytes (mapped as Windows does,
// to the same C1 control code point).
constexpr std::array<char16_t, 32> kCp1252High = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

uint32_t Resolve(uint32_t cp) { return cp == kCodePageAnsi ? kCp1252 : cp; }

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::u16string Utf8ToWide(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if (c >= 0xC2 && c <= 0xF4) {
      size_t need = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      uint32_t v = c & (0x3F >> (need - 1));
      size_t k = 1;
      for (; k < need && i + k < s.size(); ++k) {
        auto cc = static_cast<unsigned char>(s[i + k]);
        if ((cc & 0xC0) != 0x80) break;
        v = (v << 6) | (cc & 0x3F);
      }
      if (k == need && !(need == 3 && v < 0x800) && !(need == 4 && (v < 0x10000 || v > 0x10FFFF)) &&
          !(v >= 0xD800 && v <= 0xDFFF)) {
        cp = v;
        len = need;
      } else {
        len = k;  // skip the broken sequence, one replacement character for it
      }
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += len;
  }
  return out;
}

std::string WideToUtf8(std::u16string_view w) {
  std::string out;
  out.reserve(w.size());
  for (size_t i = 0; i < w.size(); ++i) {
    uint32_t c = w[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (w[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // lone surrogate
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace

char16_t Cp1252ToWide(uint8_t c) {
  if (c < 0x80 || c >= 0xA0) return c;
  char16_t w = kCp1252High[c - 0x80];
  return w ? w : c;
}

int WideToCp1252(char16_t w) {
  if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) return w;
  for (int i = 0; i < 32; ++i)
    if (kCp1252High[i] == w || (kCp1252High[i] == 0 && w == 0x80 + i)) return 0x80 + i;
  return -1;
}

uint32_t AnsiCodePage() { return kCp1252; }

// The system code page from its table directly (strings are converted often: names, log
// lines); the others through the stream coders. Both use the same table, so a string and
// a stream in the same code page always convert alike.
bool IsValidCodePage(uint32_t codePage) {
  codePage = Resolve(codePage);
  return codePage == kCodePageUtf8 || TextDecoder(codePage).Error() == 0;
}

std::u16string MultiByteToWide(std::string_view text, uint32_t codePage, bool* ok) {
  if (ok) *ok = true;
  codePage = Resolve(codePage);
  if (codePage == kCodePageUtf8) return Utf8ToWide(text);
  if (codePage == kCp1252) {
    std::u16string out(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i) out[i] = Cp1252ToWide(static_cast<uint8_t>(text[i]));
    return out;
  }
  TextDecoder decoder(codePage);
  if (decoder.Error()) {
    if (ok) *ok = false;
    return {};
  }
  std::u16string out(text.size() + 2, u'\0');
  auto in = reinterpret_cast<const uint8_t*>(text.data());
  size_t used = 0, made = 0;
  while (used < text.size() || used == 0) {
    CodecStep step = decoder.Convert(in + used, text.size() - used, out.data() + made, out.size() - made, true);
    used += step.InUsed;
    made += step.OutUsed;
    if (step.Error || (step.InUsed == 0 && step.OutUsed == 0)) break;
    if (out.size() - made < 2) out.resize(out.size() * 2);
  }
  out.resize(made);
  return out;
}

std::string WideToMultiByte(std::u16string_view text, uint32_t codePage, bool* ok) {
  if (ok) *ok = true;
  codePage = Resolve(codePage);
  if (codePage == kCodePageUtf8) return WideToUtf8(text);
  if (codePage == kCp1252) {
    std::string out(text.size(), '?');
    for (size_t i = 0; i < text.size(); ++i)
      if (int b = WideToCp1252(text[i]); b >= 0) out[i] = static_cast<char>(b);
    return out;
  }
  TextEncoder encoder(codePage);
  if (encoder.Error()) {
    if (ok) *ok = false;
    return {};
  }
  std::string out(text.size() * 4 + 16, '\0');
  auto bytes = reinterpret_cast<uint8_t*>(out.data());
  size_t used = 0, made = 0;
  while (used < text.size()) {
    if (out.size() - made < 32) {
      out.resize(out.size() * 2);
      bytes = reinterpret_cast<uint8_t*>(out.data());
    }
    CodecStep step = encoder.Convert(text.data() + used, text.size() - used, bytes + made, out.size() - made, true);
    used += step.InUsed;
    made += step.OutUsed;
    if (step.Error || (step.InUsed == 0 && step.OutUsed == 0)) break;
  }
  out.resize(made);
  return out;
}

}  // namespace platform
