#include "xml/XMLStrictReader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "base/Format.h"
#include "platform/Memory.h"
#include "platform/TextCodec.h"
#include "xml/XMLDocument.h"
#include "xml/XMLException.h"
#include "xml/XMLLookupTables.h"
#include "xml/XMLNodeList.h"
#include "xml/XMLTextStream.h"

namespace xml {

namespace strictreader {

using std::u16string_view;

constexpr size_t kReferenceCost = 8;  // characters of expansion a reference counts for

// Classes of the ASCII characters: white space, name start, name.
// Text stop: ends a run of plain character data (markup, a reference, "]" of "]]>", a
// control character); value stops: the same for an attribute value in double quotes and
// in single quotes, the quote that opened it too.
constexpr uint8_t kClassS = 1, kClassNameStart = 2, kClassName = 4, kClassTextStop = 8, kClassValueStopDq = 16,
                  kClassValueStopSq = 32;
struct TAsciiClasses {
  uint8_t Of[128] = {};
  constexpr TAsciiClasses() {
    Of[0x20] = Of[0x9] = Of[0xA] = Of[0xD] = kClassS;
    for (int c = 0; c < 128; ++c) {
      bool start = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
      if (start) Of[c] |= kClassNameStart | kClassName;
      if ((c >= '0' && c <= '9') || c == '-' || c == '.') Of[c] |= kClassName;
      if (c < 0x20 || c == '<' || c == '&') Of[c] |= kClassTextStop | kClassValueStopDq | kClassValueStopSq;
    }
    Of[static_cast<int>(']')] |= kClassTextStop;
    Of[static_cast<int>('"')] |= kClassValueStopDq;
    Of[static_cast<int>('\'')] |= kClassValueStopSq;
  }
};
constexpr TAsciiClasses kAscii;

// From i, the units of an attribute value eight at a time: the first unit that is "<",
// "&", the quote q, below 0x20 or from 0xD800 on, or where the last part shorter than
// eight units starts. The caller's unit-at-a-time loop goes on from there.
#if XML_HAVE_SSE2
XML_SSE2_TARGET size_t SkipPlainValueSse2(const char16_t* p, size_t i, size_t end, char16_t q) {
  const TFirstOf8 any(u'<', u'&', q);
  const __m128i control = _mm_set1_epi16(0x1F);
  const __m128i plainTop = _mm_set1_epi16(static_cast<short>(0xD7FF));
  const __m128i zero = _mm_setzero_si128();
  for (; end - i >= 8; i += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    // Unsigned: v - 0x1F saturates to 0 for v <= 0x1F, and v - 0xD7FF for v <= 0xD7FF.
    __m128i low = _mm_cmpeq_epi16(_mm_subs_epu16(v, control), zero);
    __m128i plain = _mm_cmpeq_epi16(_mm_subs_epu16(v, plainTop), zero);
    unsigned stops = any.Hits(p + i) | static_cast<unsigned>(_mm_movemask_epi8(low)) |
                     (~static_cast<unsigned>(_mm_movemask_epi8(plain)) & 0xFFFFu);
    if (stops) return i + TFirstOf8::First(stops);
  }
  return i;
}
#endif

// The end of the run of a value's characters that need no change from i on: up to the
// first "<", "&", the quote q, a character below 0x20 or from 0xD800 on, or end.
inline size_t SkipPlainValue(const char16_t* p, size_t i, size_t end, char16_t q) {
  const uint8_t stop = q == u'"' ? kClassValueStopDq : kClassValueStopSq;
#if XML_HAVE_SSE2
  if (HasSse2()) i = SkipPlainValueSse2(p, i, end, q);
#endif
  for (; i < end; ++i) {
    char16_t c = p[i];
    if (c < 0x80 ? (kAscii.Of[c] & stop) != 0 : c >= 0xD800) break;
  }
  return i;
}

inline bool IsS(char16_t c) { return c < 0x80 && (kAscii.Of[c] & kClassS); }
inline bool IsHighHalf(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool IsLowHalf(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Char of XML 1.0, one BMP unit (surrogates are checked in pairs by the callers).
inline bool IsCharUnit(char16_t c) { return c >= 0x20 ? (c < 0xD800 || (c >= 0xE000 && c <= 0xFFFD)) : IsS(c); }

// NameStartChar and NameChar of the fifth edition (BMP part; a surrogate pair is a name
// character when its code point is below U+F0000, that is, a high half below DB80).
// Beyond ASCII:
[[gnu::noinline]] bool IsWideNameStart5(char16_t c) {
  return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
         (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
         (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD);
}
[[gnu::noinline]] bool IsWideName5(char16_t c) {
  return IsWideNameStart5(c) || c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}
inline bool IsNameStart5(char16_t c) { return c < 0x80 ? (kAscii.Of[c] & kClassNameStart) != 0 : IsWideNameStart5(c); }
inline bool IsName5(char16_t c) { return c < 0x80 ? (kAscii.Of[c] & kClassName) != 0 : IsWideName5(c); }
// A unit that may continue a name (a high surrogate may begin a name character).
inline bool IsNameUnit(char16_t c) { return IsName5(c) || IsHighHalf(c); }

bool IsPubidChar(char16_t c) {
  return c == 0x20 || c == 0xD || c == 0xA || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
         (c >= u'0' && c <= u'9') || u16string_view(u"-'()+,./:=?;!*#@$_%").find(c) != u16string_view::npos;
}

struct TEntity {
  WideString Name;
  WideString Text;  // replacement text (internal entities)
  bool External = false;
  bool Unparsed = false;
  bool Open = false;    // being expanded: a reference to it now is a loop
  bool Simple = false;  // text without "<" or "&": taken as characters as they are
};

// One text being read: the document, or the replacement text of an entity.
struct TInput {
  const char16_t* P;
  size_t Pos;
  size_t End;
  TEntity* Entity;  // none for the document
  bool AtEnd() const { return Pos >= End; }
  char16_t Peek(size_t ahead = 0) const { return Pos + ahead < End ? P[Pos + ahead] : 0; }
  bool Looking(u16string_view s) const { return End - Pos >= s.size() && u16string_view(P + Pos, s.size()) == s; }
  // The same for a literal, compared a unit at a time with its length known.
  template <size_t N>
  bool Looking(const char16_t (&s)[N]) const {
    if (End - Pos < N - 1) return false;
    for (size_t k = 0; k + 1 < N; ++k)
      if (P[Pos + k] != s[k]) return false;
    return true;
  }
};

class TXMLStrictReader {
 public:
  TXMLStrictReader(TXMLDocument& doc, const char16_t* text, size_t length) : FDoc(doc), FText(text), FLength(length) {}
  void Run();
  // The place in the document of the error (of the outermost reference inside an entity).
  size_t ErrorOffset() const { return FErrorAt; }

 private:
  [[noreturn]] void Fail(TInput& in, TXMLErrorCode code, std::initializer_list<std::string> args = {}) {
    FErrorAt = in.Entity ? FReferenceAt : in.Pos;
    throw EXMLException(INVALID_CHARACTER_ERR, code, args);
  }
  [[noreturn]] void FailWith(TInput& in, TXMLErrorCode code, const std::string& message) {
    FErrorAt = in.Entity ? FReferenceAt : in.Pos;
    throw EXMLException::Formatted(INVALID_CHARACTER_ERR, code, message);
  }
  template <size_t N>
  void Expect(TInput& in, const char16_t (&s)[N], TXMLErrorCode code) {
    if (!in.Looking(s)) Fail(in, code);
    in.Pos += N - 1;
  }
  bool SkipS(TInput& in) {
    size_t from = in.Pos;
    while (in.Pos < in.End && IsS(in.P[in.Pos])) ++in.Pos;
    return in.Pos > from;
  }
  void NeedS(TInput& in) {
    if (!SkipS(in)) Fail(in, xeWhiteSpaceMissing);
  }
  // One character of character data at in.Pos (a pair counts as one); moves past it.
  void TakeChar(TInput& in, TXMLErrorCode code) {
    char16_t c = in.P[in.Pos];
    if (IsHighHalf(c)) {
      if (in.Pos + 1 >= in.End || !IsLowHalf(in.P[in.Pos + 1])) Fail(in, code);
      in.Pos += 2;
      return;
    }
    if (!IsCharUnit(c) || IsLowHalf(c)) Fail(in, code);
    ++in.Pos;
  }
  // The name at in.Pos, a view of the input's text (which outlives the parse).
  u16string_view ReadName(TInput& in, bool nmtoken = false) {
    // The common name, ASCII only and ended by ASCII, a table look-up a character.
    const char16_t* p = in.P;
    size_t i = in.Pos, end = in.End;
    if (!nmtoken && i < end && p[i] < 0x80 && (kAscii.Of[p[i]] & kClassNameStart)) {
      size_t from = i++;
      while (i < end && p[i] < 0x80 && (kAscii.Of[p[i]] & kClassName)) ++i;
      if (i < end && p[i] < 0x80) {
        in.Pos = i;
        return u16string_view(p + from, i - from);
      }
    }
    return ReadNameAt(in, nmtoken);
  }
  u16string_view ReadNameAt(TInput& in, bool nmtoken);
  void CheckReplacementChars(TInput& in, u16string_view text);
  char32_t ReadCharRef(TInput& in);
  TEntity* LookupGeneral(TInput& in, const WideString& name, bool inAttribute);
  void EnterEntity(TInput& in, TEntity* e);
  void LeaveEntity(TEntity* e) {
    e->Open = false;
    --FEntityDepth;
  }

  void ParseProlog(TInput& in);
  void ParseXmlDecl(TInput& in);
  void ParseDocType(TInput& in);
  void ParseInternalSubset(TInput& in, bool inPE);
  void ParseElementDecl(TInput& in);
  void ParseContentParticle(TInput& in, int depth);
  void ParseAttlistDecl(TInput& in);
  void ParseEntityDecl(TInput& in);
  void ParseNotationDecl(TInput& in);
  bool ParseExternalId(TInput& in, bool publicIdAlone);
  WideString ReadQuoted(TInput& in, bool pubid);
  WideString ReadEntityValue(TInput& in);
  // With direct, a value that needs no change is shown in *direct where it lies in the
  // input instead of being copied to out.
  void ReadAttValue(TInput& in, WideString& out, int entityDepth, u16string_view* direct = nullptr);
  void NormalizeAttText(TInput& in, u16string_view text, WideString& out, int entityDepth);

  void ParseMisc(TInput& in, bool afterRoot);
  void ParseComment(TInput& in, TXMLNode* parent);
  void ParsePI(TInput& in, TXMLNode* parent);
  void ParseCData(TInput& in, TXMLNode* parent, WideString& pending);
  void ParseElement(TInput& in, TXMLNode* parent);
  void ParseContent(TInput& in, TXMLNode* parent, WideString& pending);
  void FlushText(TXMLNode* parent, WideString& pending);

  TXMLDocument& FDoc;
  const char16_t* FText;
  size_t FLength;
  size_t FErrorAt = 0;
  size_t FReferenceAt = 0;  // where the outermost entity reference being expanded is
  std::unordered_map<WideString, std::unique_ptr<TEntity>> FGeneral;
  std::unordered_map<WideString, std::unique_ptr<TEntity>> FParameter;
  bool FExternalSubset = false;  // a DOCTYPE with an external identifier
  bool FUnreadPE = false;        // a reference to a parameter entity not read (external)
  bool FPEReference = false;     // any reference to a parameter entity
  bool FStandalone = false;
  size_t FExpanded = 0;
  int32_t FEntityDepth = 0;
  std::vector<std::pair<const char16_t*, size_t>> FAttrNames;  // of the start tag being read
  std::unordered_set<u16string_view> FAttrSet;
  WideString FAttrValue;  // of the attribute being read; its room serves every attribute
};

u16string_view TXMLStrictReader::ReadNameAt(TInput& in, bool nmtoken) {
  size_t from = in.Pos;
  bool first = !nmtoken;
  // The common name, ASCII only, a table look-up a character.
  if (first && in.Pos < in.End && in.P[in.Pos] < 0x80 && (kAscii.Of[in.P[in.Pos]] & kClassNameStart)) {
    ++in.Pos;
    first = false;
  }
  if (!first) {
    const char16_t* p = in.P;
    size_t i = in.Pos, end = in.End;
    while (i < end && p[i] < 0x80 && (kAscii.Of[p[i]] & kClassName)) ++i;
    in.Pos = i;
    // Ended by an ASCII character (the table said it is none of the name's) or the input.
    if (i == end || p[i] < 0x80) return u16string_view(p + from, i - from);
  }
  while (in.Pos < in.End) {
    char16_t c = in.P[in.Pos];
    if (IsHighHalf(c)) {
      // U+10000..U+EFFFF are name characters.
      if (c > 0xDB7F || in.Pos + 1 >= in.End || !IsLowHalf(in.P[in.Pos + 1])) break;
      in.Pos += 2;
    } else if (first ? IsNameStart5(c) : IsName5(c)) {
      ++in.Pos;
    } else {
      break;
    }
    first = false;
  }
  if (in.Pos == from) Fail(in, xeBadNameStart);
  return u16string_view(in.P + from, in.Pos - from);
}

char32_t TXMLStrictReader::ReadCharRef(TInput& in) {
  // At "&#".
  in.Pos += 2;
  bool hex = in.Peek() == u'x';
  if (hex) ++in.Pos;
  uint32_t value = 0;
  size_t digits = 0;
  while (!in.AtEnd() && in.Peek() != u';') {
    char16_t c = in.Peek();
    uint32_t d;
    if (c >= u'0' && c <= u'9')
      d = c - u'0';
    else if (hex && c >= u'a' && c <= u'f')
      d = c - u'a' + 10;
    else if (hex && c >= u'A' && c <= u'F')
      d = c - u'A' + 10;
    else
      Fail(in, hex ? xeBadHexDigit : xeBadDecimalDigit);
    value = value * (hex ? 16 : 10) + d;
    if (value > 0x10FFFF) Fail(in, xeBadCharValue);
    ++digits;
    ++in.Pos;
  }
  if (in.AtEnd()) Fail(in, xeSemicolonExpected);
  if (digits == 0) Fail(in, hex ? xeBadHexDigit : xeBadDecimalDigit);
  ++in.Pos;  // ";"
  bool ok = value >= 0x10000 ? value <= 0x10FFFF
                             : IsCharUnit(static_cast<char16_t>(value)) && !(value >= 0xD800 && value <= 0xDFFF);
  if (!ok) Fail(in, xeBadCharValue);
  return value;
}

void TXMLStrictReader::CheckReplacementChars(TInput& in, u16string_view text) {
  TInput t{text.data(), 0, text.size(), in.Entity};
  while (!t.AtEnd()) TakeChar(t, xeBadTextChar);
}

TEntity* TXMLStrictReader::LookupGeneral(TInput& in, const WideString& name, bool inAttribute) {
  auto it = FGeneral.find(name);
  if (it == FGeneral.end()) {
    // Declarations this reader did not read may declare it (not a well-formedness
    // question then); the reference is skipped.
    if ((FExternalSubset || FPEReference) && !FStandalone) return nullptr;
    Fail(in, xeUndefinedEntity, {MessageArg(name)});
  }
  TEntity* e = it->second.get();
  if (e->Unparsed) Fail(in, xeUnparsedEntityReference, {MessageArg(name)});
  if (e->External && inAttribute) Fail(in, xeExternalEntityInAttribute, {MessageArg(name)});
  if (e->Open) Fail(in, xeEntityLoop, {MessageArg(name)});
  return e;
}

void TXMLStrictReader::EnterEntity(TInput& in, TEntity* e) {
  if (FEntityDepth == 0) FReferenceAt = in.Pos;
  if (FEntityDepth >= kMaxEntityDepth)
    FailWith(in, xeEntityError,
             base::Format("Error while parsing entity %s. Entity references nest more than %d deep.",
                          MessageArg(e->Name), kMaxEntityDepth));
  // Each reference costs a little beyond its text, so that many tiny ones are bounded too.
  FExpanded += e->Text.size() + kReferenceCost;
  if (FExpanded > kMaxEntityExpansion)
    FailWith(in, xeEntityError,
             base::Format("Error while parsing entity %s. Entities expand to more than %d characters.",
                          MessageArg(e->Name), static_cast<int>(kMaxEntityExpansion)));
  e->Open = true;
  ++FEntityDepth;
}

// --- prolog and DTD -------------------------------------------------------------------

void TXMLStrictReader::ParseXmlDecl(TInput& in) {
  size_t start = in.Pos;
  in.Pos += 5;  // "<?xml"
  auto eq = [&] {
    SkipS(in);
    Expect(in, u"=", xeMissingEquals);
    SkipS(in);
  };
  auto literal = [&]() -> WideString {
    char16_t q = in.Peek();
    if (q != u'"' && q != u'\'') Fail(in, xeQuoteExpected);
    size_t from = ++in.Pos;
    while (!in.AtEnd() && in.Peek() != q) ++in.Pos;
    if (in.AtEnd()) Fail(in, xeLiteralUnclosed);
    return WideString(in.P + from, in.Pos++ - from);
  };
  NeedS(in);
  Expect(in, u"version", xeVersionRequired);
  eq();
  WideString version = literal();
  if (version.size() < 3 || version.compare(0, 2, u"1.") != 0) Fail(in, xeBadVersion);
  for (size_t i = 2; i < version.size(); ++i)
    if (version[i] < u'0' || version[i] > u'9') Fail(in, xeBadVersion);
  bool space = SkipS(in);
  if (space && in.Looking(u"encoding")) {
    in.Pos += 8;
    eq();
    WideString name = literal();
    bool ok = !name.empty() && ((name[0] >= u'a' && name[0] <= u'z') || (name[0] >= u'A' && name[0] <= u'Z'));
    for (char16_t c : name)
      ok = ok && ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.' ||
                  c == u'_' || c == u'-');
    if (!ok) Fail(in, xeBadXMLDecl);
    space = SkipS(in);
  }
  if (space && in.Looking(u"standalone")) {
    in.Pos += 10;
    eq();
    WideString value = literal();
    if (value != u"yes" && value != u"no") Fail(in, xeBadStandalone);
    FStandalone = value == u"yes";
    SkipS(in);
  }
  if (!in.Looking(u"?>")) Fail(in, xeXMLDeclSyntax);
  // Kept as the lenient reader keeps it: an instruction "xml" with the rest as data.
  size_t dataFrom = start + 5;
  while (dataFrom < in.Pos && IsS(in.P[dataFrom])) ++dataFrom;
  auto* pi = static_cast<TXMLProcessingInstruction*>(FDoc.NewNode(FDoc.FPIClass, PROCESSING_INSTRUCTION_NODE));
  FDoc.AppendNew(pi);
  pi->SetName(u"xml");
  pi->SetNodeValue(WideString(in.P + dataFrom, in.Pos - dataFrom));
  in.Pos += 2;
}

void TXMLStrictReader::ParseMisc(TInput& in, bool afterRoot) {
  for (;;) {
    SkipS(in);
    if (in.Looking(u"<!--")) {
      ParseComment(in, &FDoc);
    } else if (in.Looking(u"<?")) {
      ParsePI(in, &FDoc);
    } else {
      if (afterRoot && !in.AtEnd()) Fail(in, in.Peek() == u'<' ? xeMultipleRoots : xeBadTopLevelChar);
      return;
    }
  }
}

void TXMLStrictReader::ParseProlog(TInput& in) {
  if (in.Looking(u"<?xml") && (IsS(in.Peek(5)) || in.Peek(5) == u'?')) ParseXmlDecl(in);
  ParseMisc(in, false);
  if (in.Looking(u"<!DOCTYPE")) {
    ParseDocType(in);
    ParseMisc(in, false);
    if (in.Looking(u"<!DOCTYPE")) Fail(in, xeMultipleDoctypes);
  }
}

void TXMLStrictReader::ParseDocType(TInput& in) {
  in.Pos += 9;
  NeedS(in);
  size_t valueFrom = in.Pos;
  ReadName(in);
  bool space = SkipS(in);
  if (space && (in.Looking(u"SYSTEM") || in.Looking(u"PUBLIC"))) {
    ParseExternalId(in, false);
    FExternalSubset = true;
    SkipS(in);
  }
  if (in.Peek() == u'[') {
    ++in.Pos;
    ParseInternalSubset(in, false);
    Expect(in, u"]", xeDeclarationUnclosed);
    SkipS(in);
  }
  if (in.Peek() != u'>') Fail(in, in.AtEnd() ? xeDeclarationUnclosed : xeGreaterThanExpected);
  // The value as the lenient reader keeps it: everything up to the final ">".
  auto* docType = static_cast<TXMLDocumentType*>(FDoc.NewNode(FDoc.FDocTypeClass, DOCUMENT_TYPE_NODE));
  FDoc.AppendNew(docType);
  TIntf<IXMLNode> keep(docType);
  docType->SetNodeValue(WideString(in.P + valueFrom, in.Pos - valueFrom));
  FDoc.FDocType = Supports<IXMLDocumentType>(keep);
  ++in.Pos;
}

bool TXMLStrictReader::ParseExternalId(TInput& in, bool publicIdAlone) {
  if (in.Looking(u"SYSTEM")) {
    in.Pos += 6;
    NeedS(in);
    ReadQuoted(in, false);
    return true;
  }
  if (!in.Looking(u"PUBLIC")) Fail(in, xeBadExternalID);
  in.Pos += 6;
  NeedS(in);
  ReadQuoted(in, true);
  size_t before = in.Pos;
  bool space = SkipS(in);
  if (publicIdAlone && (!space || (in.Peek() != u'"' && in.Peek() != u'\''))) {
    in.Pos = before;
    return true;
  }
  if (!space) Fail(in, xeWhiteSpaceMissing);
  ReadQuoted(in, false);
  return true;
}

WideString TXMLStrictReader::ReadQuoted(TInput& in, bool pubid) {
  char16_t q = in.Peek();
  if (q != u'"' && q != u'\'') Fail(in, xeQuoteExpected);
  size_t from = ++in.Pos;
  while (!in.AtEnd() && in.Peek() != q) {
    if (pubid && !IsPubidChar(in.Peek())) Fail(in, xeBadPublicID, {MessageArg(WideString(1, in.Peek()))});
    TakeChar(in, xeBadDeclarationChar);
  }
  if (in.AtEnd()) Fail(in, xeLiteralUnclosed);
  return WideString(in.P + from, in.Pos++ - from);
}

void TXMLStrictReader::ParseInternalSubset(TInput& in, bool inPE) {
  for (;;) {
    SkipS(in);
    if (in.AtEnd()) {
      if (inPE) return;
      Fail(in, xeDeclarationUnclosed);
    }
    char16_t c = in.Peek();
    if (c == u']' && !inPE) return;
    if (c == u'%') {
      // A parameter-entity reference between declarations: its text is declarations.
      ++in.Pos;
      WideString name(ReadName(in));
      Expect(in, u";", xeSemicolonExpected);
      // With parameter-entity references about, a declaration this reader did not see
      // may exist: an undeclared name is then not a well-formedness question.
      FPEReference = true;
      auto it = FParameter.find(name);
      if (it == FParameter.end()) {
        if (!FStandalone) {
          FUnreadPE = true;
          continue;
        }
        Fail(in, xeUndefinedEntity, {MessageArg(name)});
      }
      TEntity* e = it->second.get();
      if (e->External) {
        FUnreadPE = true;
        continue;
      }
      if (e->Open) Fail(in, xeEntityLoop, {MessageArg(name)});
      EnterEntity(in, e);
      TInput sub{e->Text.data(), 0, e->Text.size(), e};
      ParseInternalSubset(sub, true);
      LeaveEntity(e);
      continue;
    }
    if (in.Looking(u"<!--")) {
      ParseComment(in, nullptr);
    } else if (in.Looking(u"<?")) {
      ParsePI(in, nullptr);
    } else if (in.Looking(u"<!ELEMENT")) {
      ParseElementDecl(in);
    } else if (in.Looking(u"<!ATTLIST")) {
      ParseAttlistDecl(in);
    } else if (in.Looking(u"<!ENTITY")) {
      ParseEntityDecl(in);
    } else if (in.Looking(u"<!NOTATION")) {
      ParseNotationDecl(in);
    } else if (in.Looking(u"<![")) {
      Fail(in, xeConditionalInSubset);
    } else {
      Fail(in, xeBadDTDChar);
    }
  }
}

void TXMLStrictReader::ParseElementDecl(TInput& in) {
  in.Pos += 9;
  NeedS(in);
  ReadName(in);
  NeedS(in);
  if (in.Looking(u"EMPTY")) {
    in.Pos += 5;
  } else if (in.Looking(u"ANY")) {
    in.Pos += 3;
  } else if (in.Peek() == u'(') {
    size_t open = in.Pos++;
    SkipS(in);
    if (in.Looking(u"#PCDATA")) {
      in.Pos += 7;
      SkipS(in);
      bool names = false;
      std::unordered_set<WideString> seen;
      while (in.Peek() == u'|') {
        ++in.Pos;
        SkipS(in);
        WideString name(ReadName(in));
        if (!seen.insert(name).second) Fail(in, xeDuplicateMixedName, {MessageArg(name)});
        names = true;
        SkipS(in);
      }
      Expect(in, u")", xeParenthesisMissing);
      if (in.Peek() == u'*') {
        ++in.Pos;
      } else if (names) {
        Fail(in, xeMixedContentNotStarred);
      }
    } else {
      in.Pos = open;
      ParseContentParticle(in, 0);
    }
  } else {
    if (in.Peek() == u'%') Fail(in, xeParameterEntityInMarkup);
    Fail(in, xeBadContentModel);
  }
  SkipS(in);
  if (in.Peek() == u'%') Fail(in, xeParameterEntityInMarkup);
  Expect(in, u">", xeMarkupDeclUnclosed);
}

void TXMLStrictReader::ParseContentParticle(TInput& in, int depth) {
  if (depth > 256) Fail(in, xeBadContentModel);
  if (in.Peek() == u'(') {
    ++in.Pos;
    SkipS(in);
    ParseContentParticle(in, depth + 1);
    SkipS(in);
    char16_t separator = 0;
    while (in.Peek() == u'|' || in.Peek() == u',') {
      if (separator && in.Peek() != separator) Fail(in, xeBadContentModelChar);
      separator = in.Peek();
      ++in.Pos;
      SkipS(in);
      ParseContentParticle(in, depth + 1);
      SkipS(in);
    }
    Expect(in, u")", xeParenthesisMissing);
  } else {
    if (in.Peek() == u'%') Fail(in, xeParameterEntityInMarkup);
    if (in.Looking(u"#PCDATA")) Fail(in, xeMixedContentChar);
    ReadName(in);
  }
  char16_t c = in.Peek();
  if (c == u'?' || c == u'*' || c == u'+') ++in.Pos;
}

void TXMLStrictReader::ParseAttlistDecl(TInput& in) {
  in.Pos += 9;
  NeedS(in);
  ReadName(in);
  for (;;) {
    bool space = SkipS(in);
    if (in.Peek() == u'>') break;
    if (in.Peek() == u'%') Fail(in, xeParameterEntityInMarkup);
    if (!space) Fail(in, xeWhiteSpaceMissing);
    ReadName(in);
    NeedS(in);
    static const u16string_view kTypes[] = {u"CDATA",  u"IDREFS",   u"IDREF",    u"ID",
                                            u"ENTITY", u"ENTITIES", u"NMTOKENS", u"NMTOKEN"};
    bool typed = false;
    for (u16string_view t : kTypes) {
      // The longer names are tried first where one is the start of another.
      if (in.Looking(t) && !IsName5(in.Peek(t.size()))) {
        in.Pos += t.size();
        typed = true;
        break;
      }
    }
    if (!typed) {
      bool notation = in.Looking(u"NOTATION");
      if (notation) {
        in.Pos += 8;
        NeedS(in);
      }
      Expect(in, u"(", xeBadAttlistType);
      for (;;) {
        SkipS(in);
        ReadName(in, !notation);
        SkipS(in);
        if (in.Peek() == u'|') {
          ++in.Pos;
          continue;
        }
        Expect(in, u")", xeBadEnumerationChar);
        break;
      }
    }
    NeedS(in);
    if (in.Looking(u"#REQUIRED")) {
      in.Pos += 9;
    } else if (in.Looking(u"#IMPLIED")) {
      in.Pos += 8;
    } else {
      if (in.Looking(u"#FIXED")) {
        in.Pos += 6;
        NeedS(in);
      } else if (in.Peek() == u'#') {
        Fail(in, xeBadAttDef);
      }
      WideString value;
      ReadAttValue(in, value, 0);  // checked as any attribute value is; not applied
    }
  }
  ++in.Pos;
}

WideString TXMLStrictReader::ReadEntityValue(TInput& in) {
  char16_t q = in.Peek();
  if (q != u'"' && q != u'\'') Fail(in, xeQuoteExpected);
  ++in.Pos;
  WideString text;
  for (;;) {
    if (in.AtEnd()) Fail(in, xeLiteralUnclosed);
    char16_t c = in.Peek();
    if (c == q) break;
    if (c == u'%') Fail(in, xeParameterEntityInMarkup);  // no parameter-entity references inside declarations here
    if (c == u'&') {
      if (in.Peek(1) == u'#') {
        AppendCodePoint(text, ReadCharRef(in));
        continue;
      }
      // A general entity reference stays as written (it is expanded where it is used).
      size_t from = in.Pos++;
      ReadName(in);
      Expect(in, u";", xeSemicolonExpected);
      text.append(in.P + from, in.Pos - from);
      continue;
    }
    size_t from = in.Pos;
    TakeChar(in, xeBadDeclarationChar);
    text.append(in.P + from, in.Pos - from);
  }
  ++in.Pos;
  return text;
}

void TXMLStrictReader::ParseEntityDecl(TInput& in) {
  in.Pos += 8;
  NeedS(in);
  bool parameter = false;
  if (in.Peek() == u'%') {
    ++in.Pos;
    NeedS(in);
    parameter = true;
  }
  WideString name(ReadName(in));
  NeedS(in);
  auto e = std::make_unique<TEntity>();
  e->Name = name;
  if (in.Peek() == u'"' || in.Peek() == u'\'') {
    e->Text = ReadEntityValue(in);
    e->Simple = e->Text.find_first_of(u"<&") == WideString::npos;
  } else {
    if (in.Peek() == u'%') Fail(in, xeParameterEntityInMarkup);
    ParseExternalId(in, false);
    e->External = true;
    bool space = SkipS(in);
    if (space && in.Looking(u"NDATA")) {
      if (parameter) Fail(in, xeNDATAInParameterEntity);
      in.Pos += 5;
      NeedS(in);
      ReadName(in);
      e->Unparsed = true;
    }
  }
  SkipS(in);
  if (in.Peek() == u'%') Fail(in, xeParameterEntityInMarkup);
  Expect(in, u">", xeMarkupDeclUnclosed);
  // The first declaration of a name binds; after an unread parameter entity nothing
  // more is taken in, as it might have declared the same names first.
  if (FUnreadPE && !FStandalone) return;
  auto& table = parameter ? FParameter : FGeneral;
  table.emplace(name, std::move(e));
}

void TXMLStrictReader::ParseNotationDecl(TInput& in) {
  in.Pos += 10;
  NeedS(in);
  ReadName(in);
  NeedS(in);
  ParseExternalId(in, true);
  SkipS(in);
  if (in.Peek() == u'%') Fail(in, xeParameterEntityInMarkup);
  Expect(in, u">", xeMarkupDeclUnclosed);
}

// --- attribute values -----------------------------------------------------------------

void TXMLStrictReader::NormalizeAttText(TInput& in, u16string_view text, WideString& out, int entityDepth) {
  TInput t{text.data(), 0, text.size(), in.Entity};
  while (!t.AtEnd()) {
    char16_t c = t.Peek();
    if (c == u'<') Fail(in, xeLessThanInAttribute);
    if (c == u'&') {
      if (t.Peek(1) == u'#') {
        AppendCodePoint(out, ReadCharRef(t));
        continue;
      }
      ++t.Pos;
      WideString name(ReadName(t));
      Expect(t, u";", xeSemicolonExpected);
      char16_t ch;
      if (name.size() <= 4 && LookupCharEntity(name, ch) && ch < 0x7F) {
        out.push_back(ch);
        continue;
      }
      TEntity* e = LookupGeneral(in, name, true);
      if (!e) continue;
      EnterEntity(in, e);
      NormalizeAttText(in, e->Text, out, entityDepth + 1);
      LeaveEntity(e);
      continue;
    }
    out.push_back(IsS(c) ? u' ' : c);
    ++t.Pos;
  }
}

void TXMLStrictReader::ReadAttValue(TInput& in, WideString& out, int entityDepth, u16string_view* direct) {
  char16_t q = in.Peek();
  if (q != u'"' && q != u'\'') Fail(in, xeQuoteExpected);
  size_t from = ++in.Pos;
  // The common value: characters only, taken in one piece.
  in.Pos = SkipPlainValue(in.P, from, in.End, q);
  if (direct && !in.AtEnd() && in.Peek() == q) {
    *direct = u16string_view(in.P + from, in.Pos - from);
    ++in.Pos;
    return;
  }
  out.assign(in.P + from, in.Pos - from);
  for (;;) {
    if (in.AtEnd()) Fail(in, xeLiteralUnclosed);
    char16_t c = in.Peek();
    if (c == q) break;
    if (c == u'<') Fail(in, xeLessThanInAttribute);
    if (c == u'&') {
      if (in.Peek(1) == u'#') {
        AppendCodePoint(out, ReadCharRef(in));
        continue;
      }
      size_t refAt = in.Pos++;
      WideString name(ReadName(in));
      Expect(in, u";", xeSemicolonExpected);
      char16_t ch;
      if (name.size() <= 4 && LookupCharEntity(name, ch) && ch < 0x7F) {
        out.push_back(ch);
        continue;
      }
      size_t save = in.Pos;
      in.Pos = refAt;
      TEntity* e = LookupGeneral(in, name, true);
      in.Pos = save;
      if (!e) continue;
      EnterEntity(in, e);
      NormalizeAttText(in, e->Text, out, entityDepth + 1);
      LeaveEntity(e);
      continue;
    }
    size_t at = in.Pos;
    TakeChar(in, xeBadTextChar);
    if (IsS(c))
      out.push_back(u' ');
    else
      out.append(in.P + at, in.Pos - at);
  }
  ++in.Pos;
}

// --- content --------------------------------------------------------------------------

void TXMLStrictReader::ParseComment(TInput& in, TXMLNode* parent) {
  in.Pos += 4;
  size_t from = in.Pos;
  for (;;) {
    // Plain characters (not "-", not a control character, below the surrogates) pass at once.
    {
      const char16_t* p = in.P;
      size_t i = in.Pos, end = in.End;
      while (i < end && p[i] >= 0x20 && p[i] < 0xD800 && p[i] != u'-') ++i;
      in.Pos = i;
    }
    if (in.AtEnd()) Fail(in, xeCommentUnclosed);
    if (in.Peek() == u'-' && in.Peek(1) == u'-') {
      if (in.Peek(2) != u'>') Fail(in, xeCommentSyntax);
      break;
    }
    TakeChar(in, xeCommentSyntax);
  }
  if (parent) {
    TXMLNode* comment = FDoc.NewNode(FDoc.FCommentClass, COMMENT_NODE);
    parent->AppendNew(comment);
    comment->SetNodeValue(WideString(in.P + from, in.Pos - from));
  }
  in.Pos += 3;
}

void TXMLStrictReader::ParsePI(TInput& in, TXMLNode* parent) {
  in.Pos += 2;
  WideString target(ReadName(in));
  if (SameName(target, u"xml")) Fail(in, target == u"xml" ? xeBadXMLDecl : xeReservedNameCase);
  size_t from = in.Pos;
  if (!in.Looking(u"?>")) {
    NeedS(in);
    from = in.Pos;
    for (;;) {
      if (in.AtEnd()) Fail(in, xePIUnclosed);
      if (in.Looking(u"?>")) break;
      TakeChar(in, xePISyntax);
    }
  }
  if (parent) {
    TXMLNode* pi = FDoc.NewNode(FDoc.FPIClass, PROCESSING_INSTRUCTION_NODE);
    parent->AppendNew(pi);
    pi->SetName(std::move(target));
    pi->SetNodeValue(WideString(in.P + from, in.Pos - from));
  }
  in.Pos += 2;
}

void TXMLStrictReader::ParseCData(TInput& in, TXMLNode* parent, WideString& pending) {
  FlushText(parent, pending);
  in.Pos += 9;
  size_t from = in.Pos;
  for (;;) {
    if (in.AtEnd()) Fail(in, xeCDATAUnclosed);
    if (in.Peek() == u']' && in.Looking(u"]]>")) break;
    TakeChar(in, xeBadTextChar);
  }
  TXMLNode* cdata = FDoc.NewNode(FDoc.FCDATAClass, CDATA_SECTION_NODE);
  parent->AppendNew(cdata);
  cdata->SetNodeValue(WideString(in.P + from, in.Pos - from));
  in.Pos += 3;
}

void TXMLStrictReader::FlushText(TXMLNode* parent, WideString& pending) {
  if (pending.empty()) return;
  WideString value;
  size_t b = 0, e = pending.size();
  if (!FDoc.GetKeepWhiteSpace()) {
    while (b < e && IsWhiteSpaceChar(pending[b])) ++b;
    while (e > b && IsWhiteSpaceChar(pending[e - 1])) --e;
  }
  // A run with nothing to trim (the usual one) is kept in the buffer it was collected in.
  if (b == 0 && e == pending.size())
    value = std::move(pending);
  else
    value.assign(pending, b, e - b);
  pending.clear();
  if (value.empty()) return;
  TXMLNode* text = FDoc.NewNode(FDoc.FTextClass, TEXT_NODE);
  parent->AppendNew(text);
  text->FValue = std::move(value);  // line breaks were folded when the input was decoded
}

void TXMLStrictReader::ParseElement(TInput& in, TXMLNode* parent) {
  ++in.Pos;  // "<"
  u16string_view name = ReadName(in);
  TXMLNode* element = FDoc.NewNode(FDoc.FElementClass, ELEMENT_NODE);
  parent->AppendNew(element);
  element->FName.assign(name.data(), name.size());
  size_t firstAttr = FAttrNames.size();
  bool empty = false;
  // Values that lie in the input as they are go to the element a batch at a time (each
  // name followed by its value); an error keeps the attributes read before it.
  constexpr size_t kBatch = 16;
  TTextPart parts[2 * kBatch];
  size_t found = 0;
  auto addFound = [&] {
    if (found) element->AddReadAttributes(parts, std::exchange(found, 0));
  };
  try {
    for (;;) {
      bool space = SkipS(in);
      if (in.AtEnd()) Fail(in, xeElementUnclosed);
      char16_t c = in.Peek();
      if (c == u'>') {
        ++in.Pos;
        break;
      }
      if (c == u'/') {
        Expect(in, u"/>", xeGreaterThanExpected);
        empty = true;
        break;
      }
      if (!space) Fail(in, xeWhiteSpaceMissing);
      size_t attrFrom = in.Pos;
      u16string_view attrName = ReadName(in);
      // An attribute name appears once per tag; names compare exactly.
      size_t count = FAttrNames.size() - firstAttr;
      bool repeated = false;
      if (count < 8) {
        for (size_t k = firstAttr; k < FAttrNames.size() && !repeated; ++k)
          repeated = u16string_view(FAttrNames[k].first, FAttrNames[k].second) == attrName;
      } else {
        if (count == 8) {
          FAttrSet.clear();
          for (size_t k = firstAttr; k < FAttrNames.size(); ++k)
            FAttrSet.insert(u16string_view(FAttrNames[k].first, FAttrNames[k].second));
        }
        repeated = !FAttrSet.insert(attrName).second;
      }
      if (repeated) {
        in.Pos = attrFrom;
        Fail(in, xeDuplicateAttribute);
      }
      FAttrNames.emplace_back(in.P + attrFrom, attrName.size());
      SkipS(in);
      Expect(in, u"=", xeMissingEquals);
      SkipS(in);
      // A value that needs no change is taken where it lies; any other goes through
      // ReadAttValue, and cut off by an error, is kept as far as it was read.
      u16string_view direct;
      if (const char16_t q = in.Peek(); q == u'"' || q == u'\'') {
        size_t end = SkipPlainValue(in.P, in.Pos + 1, in.End, q);
        if (end < in.End && in.P[end] == q) {
          direct = u16string_view(in.P + in.Pos + 1, end - in.Pos - 1);
          in.Pos = end + 1;
        }
      }
      if (!direct.data()) {
        FAttrValue.clear();
        try {
          ReadAttValue(in, FAttrValue, 0, &direct);
        } catch (...) {
          addFound();
          element->AddReadAttribute(attrName, FAttrValue);
          throw;
        }
      }
      if (direct.data()) {
        parts[2 * found] = {attrName.data(), attrName.size()};
        parts[2 * found + 1] = {direct.data(), direct.size()};
        if (++found == kBatch) addFound();
      } else {
        addFound();
        element->AddReadAttribute(attrName, FAttrValue);
      }
    }
  } catch (...) {
    addFound();
    throw;
  }
  addFound();
  FAttrNames.resize(firstAttr);
  if (empty) return;
  FDoc.EnterElement();
  WideString pending;
  ParseContent(in, element, pending);
  FlushText(element, pending);
  FDoc.LeaveElement();
  // At "</" of this input (ParseContent returns only there, or at the end of an entity's
  // text, where the element cannot end).
  if (in.AtEnd()) Fail(in, xeElementUnclosed);
  in.Pos += 2;
  // The end tag mostly names the element: compared where it lies, it need not be read as a
  // name first.
  const size_t n = name.size();
  if (in.End - in.Pos > n && SameUnits(in.P + in.Pos, name.data(), n) && !IsNameUnit(in.P[in.Pos + n])) {
    in.Pos += n;
  } else {
    size_t endFrom = in.Pos;
    u16string_view endName = ReadName(in);
    if (endName != name) {
      in.Pos = endFrom;
      Fail(in, xeEndTagMismatch, {MessageArg(endName), MessageArg(name)});
    }
  }
  SkipS(in);
  Expect(in, u">", xeEndTagUnclosed);
}

void TXMLStrictReader::ParseContent(TInput& in, TXMLNode* parent, WideString& pending) {
  for (;;) {
    // Character data up to the next markup or reference.
    size_t from = in.Pos;
    if (pending.empty())
      while (from < in.End && IsS(in.P[from])) ++from;  // a run's leading white space is not kept
    in.Pos = from;
    while (in.Pos < in.End) {
      {
        const char16_t* p = in.P;
        size_t i = in.Pos, end = in.End;
        while (i < end && (p[i] < 0x80 ? !(kAscii.Of[p[i]] & kClassTextStop) : p[i] < 0xD800)) ++i;
        in.Pos = i;
        if (i == end) break;
      }
      char16_t c = in.P[in.Pos];
      if (c == u'<' || c == u'&') break;
      if (c == u']' && in.Looking(u"]]>")) Fail(in, xeCDATAEndInContent);
      if (c == u']') {
        ++in.Pos;
        continue;
      }
      TakeChar(in, xeBadTextChar);
    }
    if (in.Pos > from) pending.append(in.P + from, in.Pos - from);
    if (in.AtEnd()) {
      if (!in.Entity) Fail(in, xeElementUnclosed);
      return;
    }
    if (in.Peek() == u'&') {
      if (in.Peek(1) == u'#') {
        AppendCodePoint(pending, ReadCharRef(in));
        continue;
      }
      size_t refAt = in.Pos++;
      WideString name(ReadName(in));
      Expect(in, u";", xeSemicolonExpected);
      char16_t ch;
      if (name.size() <= 4 && LookupCharEntity(name, ch) && ch < 0x7F) {
        pending.push_back(ch);
        continue;
      }
      size_t save = in.Pos;
      in.Pos = refAt;
      TEntity* e = LookupGeneral(in, name, false);
      if (!e || e->External) {  // not read: skipped
        in.Pos = save;
        continue;
      }
      EnterEntity(in, e);
      in.Pos = save;
      if (e->Simple) {
        pending.append(e->Text);
      } else {
        TInput sub{e->Text.data(), 0, e->Text.size(), e};
        ParseContent(sub, parent, pending);
        // An end tag inside the entity closes nothing of its own.
        if (!sub.AtEnd())
          FailWith(sub, xeEntityError,
                   base::Format("Error while parsing entity %s. %s.", MessageArg(name),
                                "The entity is not well-formed content"));
      }
      LeaveEntity(e);
      continue;
    }
    // "<": the character after it tells which markup follows.
    const char16_t next = in.Peek(1);
    if (next == u'/') return;
    if (next == u'!') {
      if (in.Looking(u"<!--")) {
        FlushText(parent, pending);
        ParseComment(in, parent);
      } else if (in.Looking(u"<![CDATA[")) {
        ParseCData(in, parent, pending);
      } else {
        Fail(in, xeElementInDTD);
      }
    } else if (next == u'?') {
      FlushText(parent, pending);
      ParsePI(in, parent);
    } else {
      FlushText(parent, pending);
      ParseElement(in, parent);
    }
  }
}

void TXMLStrictReader::Run() {
  TInput in{FText, 0, FLength, nullptr};
  ParseProlog(in);
  if (in.AtEnd()) Fail(in, xeNoRoot);
  if (in.Peek() != u'<' || !(IsNameStart5(in.Peek(1)) || IsHighHalf(in.Peek(1)))) Fail(in, xeBadTopLevelChar);
  ParseElement(in, &FDoc);
  ParseMisc(in, true);
}

}  // namespace strictreader

namespace {

using strictreader::IsS;

// --- decoding -------------------------------------------------------------------------

[[noreturn]] void FailDecoding(const std::string& message) {
  throw EXMLException::Formatted(INVALID_CHARACTER_ERR, xeBadEncoding, message);
}

#if XML_HAVE_SSE2
// The ASCII bytes at p widened to o sixteen at a time, while sixteen remain and are all
// ASCII: how many were taken. cr becomes 1 when a CR was among them.
XML_SSE2_TARGET size_t WidenAsciiSse2(const uint8_t* p, size_t n, char16_t* o, uint64_t& cr) {
  const __m128i crs = _mm_set1_epi8('\r'), zero = _mm_setzero_si128();
  __m128i crHits = zero;
  size_t i = 0;
  while (n - i >= 16) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    if (_mm_movemask_epi8(bytes)) break;
    crHits = _mm_or_si128(crHits, _mm_cmpeq_epi8(bytes, crs));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + i), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + i + 8), _mm_unpackhi_epi8(bytes, zero));
    i += 16;
  }
  if (_mm_movemask_epi8(crHits)) cr = 1;
  return i;
}

// Whether units[0, n) has a CR among its first multiple of sixteen units.
XML_SSE2_TARGET bool HasCRSse2(const char16_t* units, size_t n) {
  const __m128i crs = _mm_set1_epi16(static_cast<short>(u'\r'));
  for (size_t i = 0; n - i >= 16; i += 16) {
    __m128i low = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i)), crs);
    __m128i high = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i + 8)), crs);
    if (_mm_movemask_epi8(_mm_or_si128(low, high))) return true;
  }
  return false;
}
#endif

// Into o, which has room for n units (never more units than bytes); the units made.
// sawCR: whether the text has a carriage return.
size_t DecodeUtf8Exact(const uint8_t* p, size_t n, char16_t* o, bool& sawCR) {
  constexpr uint64_t kHigh = 0x8080808080808080ull, kOnes = 0x0101010101010101ull;
  uint64_t cr = 0;
  size_t w = 0;
  for (size_t i = 0; i < n;) {
    uint8_t b = p[i];
    if (b < 0x80) {
      // ASCII runs, the bulk of most documents: eight bytes at a time while they last,
      // noting any CR among them (a zero byte of word ^ CRs).
#if XML_HAVE_SSE2
      // Sixteen at a time where the processor has the wide registers.
      if (HasSse2()) {
        size_t took = WidenAsciiSse2(p + i, n - i, o + w, cr);
        i += took;
        w += took;
      }
#endif
      while (n - i >= 8) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (word & kHigh) break;
        uint64_t x = word ^ (kOnes * '\r');
        cr |= (x - kOnes) & ~x & kHigh;
        if constexpr (std::endian::native == std::endian::little) {
          // Each half of the word spread to four units: byte k to bits 16k.
          auto spread = [](uint64_t h) {
            h = (h | h << 16) & 0x0000FFFF0000FFFFull;
            return (h | h << 8) & 0x00FF00FF00FF00FFull;
          };
          uint64_t units[2] = {spread(word & 0xFFFFFFFFu), spread(word >> 32)};
          std::memcpy(o + w, units, 16);
        } else {
          for (int k = 0; k < 8; ++k) o[w + k] = p[i + k];
        }
        i += 8;
        w += 8;
      }
      // Then up to the first byte that is not ASCII (fewer than eight).
      for (size_t stop = std::min(n, i + 8); i < stop && p[i] < 0x80; ++i) {
        cr |= p[i] == '\r';
        o[w++] = p[i];
      }
      continue;
    }
    size_t need = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    uint32_t v = b & (0x7F >> need);
    bool ok = need && i + need <= n;
    for (size_t k = 1; ok && k < need; ++k) {
      ok = (p[i + k] & 0xC0) == 0x80;
      v = (v << 6) | (p[i + k] & 0x3F);
    }
    ok = ok && !(need == 3 && v < 0x800) && !(need == 4 && (v < 0x10000 || v > 0x10FFFF)) &&
         !(v >= 0xD800 && v <= 0xDFFF);
    if (!ok) FailDecoding(base::Format("Byte offset %d: no UTF-8 character starts here.", static_cast<int>(i)));
    if (v >= 0x10000) {
      v -= 0x10000;
      o[w++] = static_cast<char16_t>(0xD800 + (v >> 10));
      o[w++] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    } else {
      o[w++] = static_cast<char16_t>(v);
    }
    i += need;
  }
  sawCR = cr != 0;
  return w;
}

// Whether units has a CR: four units at a time (a zero unit of word ^ CRs).
bool HasCR(const char16_t* units, size_t n) {
  constexpr uint64_t kHigh = 0x8000800080008000ull, kOnes = 0x0001000100010001ull;
  size_t i = 0;
#if XML_HAVE_SSE2
  if (HasSse2()) {
    if (HasCRSse2(units, n)) return true;
    i = n & ~size_t{15};
  }
#endif
  for (; n - i >= 4; i += 4) {
    uint64_t word;
    std::memcpy(&word, units + i, 8);
    uint64_t x = word ^ (kOnes * u'\r');
    if ((x - kOnes) & ~x & kHigh) return true;
  }
  for (; i < n; ++i)
    if (units[i] == u'\r') return true;
  return false;
}

// The whole input as UTF-16 with line ends folded (CR LF and CR become LF).
// UTF-16LE input without CR is read where it lies.
}  // namespace

namespace {

// The mapped text of a strict load is kept, its contents forgotten, for the next large
// load, which would otherwise take a page fault for every 4 KiB of a text mapped anew
// (a tenth of the time of a 32 MiB document). One is kept, the largest given back up to
// kMaxSpareText (a 32-bit process keeps less of its address space aside).
constexpr size_t kMaxSpareText = sizeof(void*) > 4 ? size_t{512} << 20 : size_t{64} << 20;
std::mutex gSpareTextMutex;
void* gSpareText = nullptr;
size_t gSpareTextBytes = 0;

// A block of at least bytes and its size, or null.
void* TakeSpareText(size_t bytes, size_t& size) {
  std::lock_guard<std::mutex> lock(gSpareTextMutex);
  if (!gSpareText || gSpareTextBytes < bytes) return nullptr;
  size = std::exchange(gSpareTextBytes, 0);
  return std::exchange(gSpareText, nullptr);
}

void KeepSpareText(void* text, size_t size) noexcept {
  {
    std::lock_guard<std::mutex> lock(gSpareTextMutex);
    if (size > gSpareTextBytes && size <= kMaxSpareText) {
      platform::ForgetLargeBlockContents(text, size);
      std::swap(text, gSpareText);
      std::swap(size, gSpareTextBytes);
    }
  }
  if (text) platform::UnmapLargeBlock(text, size);
}

}  // namespace

void TDecodedTextRelease::operator()(char16_t* text) const noexcept {
  if (Mapped)
    KeepSpareText(text, Mapped);
  else
    delete[] text;
}

namespace {

void DecodeStrict(const uint8_t* p, size_t n, uint16_t codePage, TStrictPosition& pos) {
  size_t start = 0;
  int wide = 0;  // 1 UTF-16LE, 2 UTF-16BE, 4 UTF-32LE
  if (n >= 4 && p[0] == 0xFF && p[1] == 0xFE && p[2] == 0 && p[3] == 0) {
    wide = 4;
    start = 4;
  } else if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    wide = 1;
    start = 2;
  } else if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
    wide = 2;
    start = 2;
  } else if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
    codePage = 65001;
    start = 3;
  } else if (n >= 2 && p[0] == '<' && p[1] == 0) {
    wide = 1;
  } else if (n >= 2 && p[0] == 0 && p[1] == '<') {
    wide = 2;
  } else {
    // An ASCII-compatible encoding: the declaration, if any, names it.
    codePage = codePage == 1200 || codePage == 1201 || codePage == 12000 ? 65001 : codePage;
    std::string head(reinterpret_cast<const char*>(p), std::min<size_t>(n, 1024));
    if (head.compare(0, 5, "<?xml") == 0 && head.size() > 5 && IsS(static_cast<char16_t>(head[5]))) {
      size_t end = head.find("?>");
      if (end != std::string::npos) {
        TIntf<TXMLProcessingInstruction> pi(new TXMLProcessingInstruction(nullptr));
        pi->SetName(u"xml");
        pi->SetNodeValue(base::Utf8ToWide(head.substr(6, end - 6)));
        WideString name;
        auto isEncName = [](const WideString& n) {
          bool ok = !n.empty() && ((n[0] >= u'a' && n[0] <= u'z') || (n[0] >= u'A' && n[0] <= u'Z'));
          for (char16_t c : n)
            ok = ok && ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.' ||
                        c == u'_' || c == u'-');
          return ok;
        };
        // A name that is no encoding name at all is the declaration's fault, found there.
        if (DeclaredEncodingName(pi.Get(), name) && isEncName(name)) {
          uint16_t declared = 0;
          if (!LookupCodePage(name, declared) || !CanConvertCodePage(declared))
            throw EXMLException::Formatted(INVALID_CHARACTER_ERR, xeEncodingUnsupported,
                                           "System does not support the specified encoding: " + MessageArg(name) + ".");
          if (declared == 1200 || declared == 1201 || declared == 12000)
            FailDecoding("The encoding " + MessageArg(name) + " is declared in text that is not in it.");
          codePage = declared;
        }
      }
    }
  }
  auto own = [&pos](size_t units) {
    // A large text goes to memory straight from the system, aligned so that a system
    // that backs mappings with large pages can.
    constexpr size_t kMapFrom = 4u << 20;
    size_t bytes = (units + 1) * sizeof(char16_t);
    void* mapped = nullptr;
    if (bytes >= kMapFrom && !(mapped = TakeSpareText(bytes, bytes))) mapped = platform::MapLargeBlock(bytes);
    if (mapped)
      pos.Owned = decltype(pos.Owned)(static_cast<char16_t*>(mapped), TDecodedTextRelease{bytes});
    else
      pos.Owned = decltype(pos.Owned)(new char16_t[units + 1]);
    pos.Text = pos.Owned.get();
    return pos.Owned.get();
  };
  size_t made = 0;
  if (wide == 1 || wide == 2) {
    if ((n - start) % 2) FailDecoding("An odd number of bytes is no UTF-16 text.");
    made = (n - start) / 2;
    const uint8_t* q = p + start;
    if (wide == 1 && reinterpret_cast<uintptr_t>(q) % alignof(char16_t) == 0) {
      pos.Text = reinterpret_cast<const char16_t*>(q);
      if (HasCR(pos.Text, made)) std::memcpy(own(made), q, made * 2);
    } else {
      char16_t* o = own(made);
      for (size_t i = 0; i < made; ++i)
        o[i] = static_cast<char16_t>(wide == 1 ? q[2 * i] | q[2 * i + 1] << 8 : q[2 * i + 1] | q[2 * i] << 8);
    }
  } else if (wide == 4) {
    if ((n - start) % 4) FailDecoding("A cut UTF-32 unit ends the input.");
    char16_t* o = own((n - start) / 2);
    for (size_t i = start; i < n; i += 4) {
      uint32_t v = p[i] | p[i + 1] << 8 | p[i + 2] << 16 | static_cast<uint32_t>(p[i + 3]) << 24;
      if (v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
        FailDecoding(base::Format("Byte offset %d: no UTF-32 character.", static_cast<int>(i)));
      if (v >= 0x10000) {
        v -= 0x10000;
        o[made++] = static_cast<char16_t>(0xD800 + (v >> 10));
        o[made++] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
      } else {
        o[made++] = static_cast<char16_t>(v);
      }
    }
  } else if (codePage == 65001) {
    bool sawCR = false;
    made = DecodeUtf8Exact(p + start, n - start, own(n - start), sawCR);
    if (!sawCR) {
      pos.Length = made;
      return;
    }
  } else {
    platform::TextDecoder decoder(codePage);
    decoder.SetExact(true);
    if (decoder.Error())
      throw EXMLException::Formatted(INVALID_CHARACTER_ERR, xeEncodingUnsupported,
                                     base::Format("System does not support code page %d.", codePage));
    // At most two units a byte (a pair from four bytes is fewer).
    char16_t* o = own(2 * (n - start) + 2);
    size_t used = start;
    while (used < n) {
      platform::CodecStep step = decoder.Convert(p + used, n - used, o + made, 2 * (n - start) + 2 - made, true);
      used += step.InUsed;
      made += step.OutUsed;
      if (step.Invalid || step.Error)
        FailDecoding(base::Format("Byte offset %d: no character of code page %d.", static_cast<int>(used), codePage));
      if (step.InUsed == 0 && step.OutUsed == 0) break;
    }
  }
  pos.Length = made;
  if (!pos.Owned) return;
  // Line ends, as XML folds them before anything else.
  char16_t* o = pos.Owned.get();
  size_t w = 0;
  while (w < made && o[w] != u'\r') ++w;
  for (size_t r = w; r < made; ++r) {
    char16_t c = o[r];
    if (c == u'\r') {
      c = u'\n';
      if (r + 1 < made && o[r + 1] == u'\n') ++r;
    }
    o[w++] = c;
  }
  pos.Length = w;
}

}  // namespace

void ReadStrict(TXMLDocument& doc, base::TStream* stream, uint16_t codePage, TStrictPosition& position) {
  position = TStrictPosition();
  // The bytes where they are when the stream is a block of memory; else read whole.
  std::string bytes;
  const uint8_t* p = nullptr;
  size_t n = 0;
  int64_t at = stream->Position();
  if (auto* memory = dynamic_cast<base::TMemoryStream*>(stream); memory && at <= memory->Size()) {
    p = memory->Memory() + at;
    n = static_cast<size_t>(memory->Size() - at);
  } else if (auto* text = dynamic_cast<base::TStringStream*>(stream);
             text && at <= static_cast<int64_t>(text->DataString().size())) {
    p = reinterpret_cast<const uint8_t*>(text->DataString().data()) + at;
    n = text->DataString().size() - static_cast<size_t>(at);
  } else {
    char chunk[65536];
    for (int32_t got; (got = stream->Read(chunk, sizeof chunk)) > 0;) bytes.append(chunk, static_cast<size_t>(got));
    p = reinterpret_cast<const uint8_t*>(bytes.data());
    n = bytes.size();
  }
  if (!p) p = reinterpret_cast<const uint8_t*>("");
  DecodeStrict(p, n, codePage, position);
  strictreader::TXMLStrictReader reader(doc, position.Text, position.Length);
  try {
    reader.Run();
  } catch (...) {
    position.Offset = reader.ErrorOffset();
    if (!position.Owned) {
      // The error record outlives the input it was read from.
      position.Owned = decltype(position.Owned)(new char16_t[position.Length + 1]);
      std::memcpy(position.Owned.get(), position.Text, position.Length * sizeof(char16_t));
      position.Text = position.Owned.get();
    }
    throw;
  }
  stream->SetPosition(at + static_cast<int64_t>(n));
}

}  // namespace xml
