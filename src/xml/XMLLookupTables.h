// Character-level tables and routines of the XML subsystem: the class byte of every
// UTF-16 code unit (XML 1.0 first edition character classes), the named character
// references, the encoding names the reader and writer understand, and the escaping,
// line-break and pseudo-attribute routines used when values are stored or written.
// The tables are built once at start-up and are read-only afterwards, so any thread may
// use them.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/Strings.h"

// The scans' SSE2 forms exist on every x86 build. A build for processors without SSE2
// (the 32-bit product) compiles them for SSE2 alone and takes them only where the
// processor reports it (HasSse2); a build that assumes SSE2 takes them always.
#if defined(__SSE2__)
#define XML_HAVE_SSE2 1
#define XML_SSE2_TARGET
#elif defined(__i386__) || defined(__x86_64__)
#define XML_HAVE_SSE2 1
#define XML_SSE2_TARGET __attribute__((target("sse2")))
#else
#define XML_HAVE_SSE2 0
#endif
#if XML_HAVE_SSE2
#include <emmintrin.h>
#endif

namespace xml {

#if defined(__SSE2__)
constexpr bool HasSse2() { return true; }
#elif XML_HAVE_SSE2
// Set from CPUID when the unit is initialised; false until then, which only means the
// plain forms run.
extern const bool gHasSse2;
inline bool HasSse2() { return gHasSse2; }
#else
constexpr bool HasSse2() { return false; }
#endif

using base::WideString;

// Class bits of a code unit.
enum : uint8_t {
  ccBaseChar = 1,
  ccCombiningChar = 2,
  ccDigit = 4,
  ccIdeographic = 8,
  ccLetter = 16,  // BaseChar or Ideographic
  ccExtender = 32,
  ccChar = 64,
  ccNameChar = 128,
};

// One class byte for each of the 65536 code units; U+FFFE and U+FFFF have none.
extern uint8_t XMLCharClasses[65536];
// Fills XMLCharClasses; runs once when the unit is initialised (repeat calls are no-ops).
void BuildCharClassTable();

inline bool IsXmlChar(char16_t c) { return (XMLCharClasses[c] & ccChar) != 0; }
inline bool IsLetterChar(char16_t c) { return (XMLCharClasses[c] & ccLetter) != 0; }
inline bool IsNameChar(char16_t c) { return (XMLCharClasses[c] & ccNameChar) != 0; }
inline bool IsNameStartChar(char16_t c) { return c == u'_' || c == u':' || IsLetterChar(c); }
inline bool IsWhiteSpaceChar(char16_t c) { return c == 0x20 || c == 0x9 || c == 0xA || c == 0xD; }

// The code unit of a named character reference ("amp", "eacute", ...); case matters.
bool LookupCharEntity(std::u16string_view name, char16_t& ch);
// The Windows code page of an encoding name ("utf-8", "windows-1252", ...), compared
// without regard to case. An unknown name answers false and leaves codePage alone.
bool LookupCodePage(std::u16string_view name, uint16_t& codePage);
// True when this host can read and write text in the code page (the Unicode ones always).
bool CanConvertCodePage(uint16_t codePage);

// Markup characters as references; every line break (CR LF, lone CR or LF) becomes one
// "&#10;", so that blank lines survive. The apostrophe is escaped only when asked.
WideString EscapeMarkup(std::u16string_view text, bool escapeApostrophe);
// The writer's escaping, which reads back exactly: markup characters as references, and
// every CR as "&#13;" and LF as "&#10;" (a reader would fold literal line breaks). In an
// attribute value (attribute true) a tab is "&#9;" too, since readers turn a literal one
// into a space, and the apostrophe stays; in text the apostrophe is "&apos;".
WideString EscapeExact(std::u16string_view text, bool attribute);
// CR LF and lone CR become LF.
WideString NormalizeLineBreaks(WideString text);
// The length of the run of n characters at p before the first a, b or c (n if none),
// eight characters at a time where the processor can.
size_t FindFirstOf(const char16_t* p, size_t n, char16_t a, char16_t b, char16_t c);

#if XML_HAVE_SSE2
// The eight-at-a-time step of FindFirstOf and of the reader's scans: the eight code
// units at p compared with a, b and c at once. Only for SSE2 code (XML_SSE2_TARGET).
class TFirstOf8 {
 public:
  XML_SSE2_TARGET TFirstOf8(char16_t a, char16_t b, char16_t c)
      : FA(_mm_set1_epi16(static_cast<short>(a))),
        FB(_mm_set1_epi16(static_cast<short>(b))),
        FC(_mm_set1_epi16(static_cast<short>(c))) {}
  // Two mask bits for each unit that is one of the three, the first unit lowest.
  XML_SSE2_TARGET unsigned Hits(const char16_t* p) const {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, FA), _mm_cmpeq_epi16(v, FB)), _mm_cmpeq_epi16(v, FC));
    return static_cast<unsigned>(_mm_movemask_epi8(hit));
  }
  // The unit of a non-zero Hits mask that comes first.
  static size_t First(unsigned mask) { return static_cast<size_t>(__builtin_ctz(mask)) / 2; }

 private:
  __m128i FA, FB, FC;
};

// FindFirstOfPadded with SSE2.
XML_SSE2_TARGET inline size_t FindFirstOfPaddedSse2(const char16_t* p, size_t n, char16_t a, char16_t b, char16_t c) {
  const TFirstOf8 any(a, b, c);
  for (size_t i = 0; i < n; i += 8) {
    unsigned mask = any.Hits(p + i);
    if (n - i < 8) mask &= (1u << (2 * (n - i))) - 1;  // only the characters of the run
    if (mask) return i + TFirstOf8::First(mask);
  }
  return n;
}
#endif

// FindFirstOf where the characters after the n at p may be read too, up to the next
// multiple of eight (the caller's buffer has room for them): no character is looked at
// alone.
inline size_t FindFirstOfPadded(const char16_t* p, size_t n, char16_t a, char16_t b, char16_t c) {
#if XML_HAVE_SSE2
  if (HasSse2()) return FindFirstOfPaddedSse2(p, n, a, b, c);
#endif
  return FindFirstOf(p, n, a, b, c);
}
// The length of the run of n characters at p before the first quote, "&", "<" or
// character up to CR (tab, LF and CR are the ones an attribute value folds), reading up
// to the next multiple of eight past the run as FindFirstOfPadded does: the part of a
// value the lenient reader can take as it lies.
#if XML_HAVE_SSE2
XML_SSE2_TARGET inline size_t PlainValueLengthSse2(const char16_t* p, size_t n, char16_t quote) {
  const TFirstOf8 any(quote, u'&', u'<');
  const __m128i cr = _mm_set1_epi16(static_cast<short>(u'\r'));
  const __m128i zero = _mm_setzero_si128();
  for (size_t i = 0; i < n; i += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    // Unsigned: v - CR saturates to 0 for every v up to CR.
    unsigned mask =
        any.Hits(p + i) | static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_subs_epu16(v, cr), zero)));
    if (n - i < 8) mask &= (1u << (2 * (n - i))) - 1;
    if (mask) return i + TFirstOf8::First(mask);
  }
  return n;
}
#endif
inline size_t PlainValueLength(const char16_t* p, size_t n, char16_t quote) {
#if XML_HAVE_SSE2
  if (HasSse2()) return PlainValueLengthSse2(p, n, quote);
#endif
  size_t i = 0;
  while (i < n && p[i] != quote && p[i] != u'&' && p[i] != u'<' && p[i] > u'\r') ++i;
  return i;
}
// LF becomes CR LF.
WideString ExpandLineBreaks(const WideString& text);
// Without leading and trailing white space (IsWhiteSpaceChar).
WideString TrimWhiteSpace(std::u16string_view text);
// The value of name="..." (or '...') in a declaration's data; def when name is absent,
// empty when no quote follows it.
WideString GetPseudoAttribute(std::u16string_view name, std::u16string_view text, const WideString& def);
// Appends name="value" (after a space when text is not empty); nothing for an empty value.
void AppendPseudoAttribute(WideString& text, std::u16string_view name, std::u16string_view value);
// Whether the n units at a and b are the same: for the short names of tags, compared a
// unit at a time where they lie.
inline bool SameUnits(const char16_t* a, const char16_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}
// Names compare without regard to case wherever the node model looks them up.
bool SameName(std::u16string_view a, std::u16string_view b);
WideString LowerCaseName(std::u16string_view s);

}  // namespace xml
