#include "xml/XMLTextStream.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "base/Exceptions.h"
#include "platform/TextCodec.h"
#include "text/TextStreams.h"
#include "xml/XMLException.h"
#include "xml/XMLLookupTables.h"

namespace xml {

namespace {

bool IsWideCodePage(uint16_t cp) { return cp == text::kCodePageUtf16 || cp == text::kCodePageUtf32; }

}  // namespace

TXMLTextStream::TXMLTextStream(base::TStream* stream, uint16_t codePage, uint8_t mode) : FMode(mode) {
  uint8_t flags = codePage == text::kCodePageUtf8 ? text::rkfUtf8Mark : 0;
  if (mode == xmRead) {
    int64_t start = stream->Position();
    uint8_t head[2] = {};
    int32_t got = stream->Read(head, 2);
    stream->SetPosition(start);
    FText = std::make_unique<text::TRkTextStream>(stream, codePage, flags, text::rkaRead);
    bool mark = stream->Position() != start;
    // "<" as a UTF-16LE unit without a mark: the bytes are UTF-16 whatever was asked.
    if (!mark && got == 2 && head[0] == '<' && head[1] == 0 && !IsWideCodePage(FText->CodePage()))
      FText->SwitchCodePage(text::kCodePageUtf16);
    FSize = stream->Size();
    FMayDeclare = !mark && !IsWideCodePage(FText->CodePage());
    FExact = FMayDeclare;
    FBuffer = std::make_unique<char16_t[]>(kLineKeep + kChunk + kPadding);
  } else {
    FText = std::make_unique<text::TRkTextStream>(stream, codePage, flags, text::rkaWrite);
    FWideTarget = (FText->Flags() & text::rkfUnicode) != 0;
  }
  for (WideString& buffer : FTokenBuffers) buffer.reserve(256);
}

TXMLTextStream::~TXMLTextStream() = default;

uint16_t TXMLTextStream::GetStreamCodePage() { return FText->CodePage(); }

void TXMLTextStream::SetStreamCodePage(uint16_t codePage) { FText->SwitchCodePage(codePage); }

void TXMLTextStream::IncIndent() {
  if (FIndent == kOuterLevel) FIndent = 0;
  ++FIndent;
}

void TXMLTextStream::DecIndent() {
  if (FIndent == kOuterLevel) return;  // already back at the outer level
  --FIndent;
  if (FIndent == 0) FIndent = kOuterLevel;
}

void TXMLTextStream::WriteLineBreak(bool force) {
  if (FFormat == FormatCompact) return;
  if (force || FIndent > 0) Write(u"\r\n");
  if (FFormat == FormatIndented && FIndent != kOuterLevel && FIndent >= 1)
    for (int32_t i = 0; i < FIndent; ++i) Write(u"  ");
}

bool TXMLTextStream::ReadString(int32_t count, WideString& text) {
  text.clear();
  char16_t c;
  for (int32_t i = 0; i < count; ++i) {
    if (!Next(c)) return false;
    text.push_back(c);
  }
  return true;
}

void TXMLTextStream::UnreadChar() {
  if (FCanUndo) {
    --FPos;
    FCanUndo = false;
    FReread = true;
  } else {
    FUndoRefused = true;
  }
  FLimit = FPos;  // the next read goes through NextSlow
}

bool TXMLTextStream::NextSlow(char16_t& ch) {
  FLimit = FEnd;
  if (FUndoRefused) {
    FUndoRefused = false;
    throw EXMLException(INVALID_CHARACTER_ERR, xeInternal, {"Only one undo level is supported"});
  }
  if (FReread) {
    // The pushed-back character: read again, and not to be pushed back once more.
    FReread = false;
    ch = FBuffer[FPos++];
    FCanUndo = false;
    return true;
  }
  if (FPos == FEnd && !Fill()) return false;
  ch = FBuffer[FPos++];
  FCanUndo = true;
  return true;
}

void TXMLTextStream::KeepPreviousToken() {
  if (!FPrevInBuffer) return;
  FPrevToken->assign(FBuffer.get() + FPrevFrom, FPrevLength);
  FPrevInBuffer = false;
}

const WideString& TXMLTextStream::GetPreviousToken() {
  KeepPreviousToken();
  return *FPrevToken;
}

bool TXMLTextStream::Fill() {
  if (FAtEnd || FMode != xmRead) return false;
  KeepPreviousToken();
  // The lines of what leaves the buffer are counted now.
  CountLines(FEnd, FLine, FColumn);
  // Keep the tail of what was read, so the current line can still be shown after an error.
  size_t keep = std::min(FEnd, kLineKeep);
  if (keep && FEnd != keep) std::memmove(FBuffer.get(), FBuffer.get() + FEnd - keep, keep * sizeof(char16_t));
  FBase += static_cast<int64_t>(FEnd - keep);
  FPos = FEnd = FLimit = FMark = keep;
  size_t want = FExact ? 1 : kChunk;
  int32_t got = FText->Read(FBuffer.get() + keep, static_cast<int32_t>(want * sizeof(char16_t)));
  if (got < 2) {
    FAtEnd = true;
    return false;
  }
  FEnd = FLimit = keep + static_cast<size_t>(got) / sizeof(char16_t);
  return true;
}

#if XML_HAVE_SSE2
namespace {

// The line feeds of buf[i, to) sixteen characters at a time, while sixteen remain: their
// count is added to breaks and the last one's index kept in lastBreak. Returns where it
// stopped.
XML_SSE2_TARGET size_t CountLineFeedsSse2(const char16_t* buf, size_t i, size_t to, int32_t& breaks,
                                          size_t& lastBreak) {
  const __m128i lf = _mm_set1_epi16(static_cast<short>(u'\n'));
  for (; i + 16 <= to; i += 16) {
    __m128i low = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + i)), lf);
    __m128i high = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + i + 8)), lf);
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(low, high)));
    if (mask) {
      lastBreak = i + static_cast<size_t>(31 - __builtin_clz(mask));
      for (; mask; mask &= mask - 1) ++breaks;  // line feeds are rare
    }
  }
  return i;
}

}  // namespace
#endif

void TXMLTextStream::CountLines(size_t to, int32_t& line, int32_t& column) const {
  const char16_t* buf = FBuffer.get();
  size_t i = FMark;
  size_t lastBreak = 0;
  int32_t breaks = 0;
#if XML_HAVE_SSE2
  if (HasSse2()) i = CountLineFeedsSse2(buf, i, to, breaks, lastBreak);
#endif
  for (; i < to; ++i)
    if (buf[i] == u'\n') {
      ++breaks;
      lastBreak = i;
    }
  if (breaks) {
    line += breaks;
    column = static_cast<int32_t>(to - lastBreak - 1);
  } else if (to > FMark) {
    column += static_cast<int32_t>(to - FMark);
  }
}

int32_t TXMLTextStream::GetLine() const {
  int32_t line = FLine, column = FColumn;
  if (FBuffer) CountLines(FPos, line, column);
  return line;
}

int32_t TXMLTextStream::GetColumn() const {
  int32_t line = FLine, column = FColumn;
  if (FBuffer) CountLines(FPos, line, column);
  return column;
}

char16_t TXMLTextStream::GetPreviousChar() const {
  if (!FBuffer) return 0;
  if (FReread) return FBuffer[FPos];  // pushed back
  return FPos > 0 ? FBuffer[FPos - 1] : 0;
}

WideString TXMLTextStream::CurrentLineText() const {
  int32_t column = GetColumn();
  if (column <= 0 || !FBuffer) return WideString();
  size_t end = FPos;
  size_t n = std::min<size_t>(static_cast<size_t>(column), end);
  return WideString(FBuffer.get() + end - n, n);
}

void TXMLTextStream::Flush() {
  if (FOut.empty()) return;
  bool ok = FText->WriteString(FOut);
  FOut.clear();
  if (!ok) throw base::EWriteError("Stream write error");
}

bool TXMLTextStream::CanEncode(char16_t ch) {
  if (ch < 0x80) return true;
  if (FEncodable.empty()) FEncodable.assign(0x10000, 0);
  uint8_t& known = FEncodable[ch];
  if (!known) {
    // Whatever the code page cannot give back unchanged is not written as itself.
    if (!FEncoder) {
      FEncoder = std::make_unique<platform::TextEncoder>(FText->CodePage());
      FDecoder = std::make_unique<platform::TextDecoder>(FText->CodePage());
    }
    platform::TextEncoder& encoder = *FEncoder;
    platform::TextDecoder& decoder = *FDecoder;
    uint8_t bytes[16];
    char16_t back[4];
    platform::CodecStep e = encoder.Convert(&ch, 1, bytes, sizeof bytes, true);
    platform::CodecStep d = decoder.Convert(bytes, e.OutUsed, back, 4, true);
    known =
        !encoder.Error() && !decoder.Error() && !e.Error && !d.Error && e.InUsed == 1 && d.OutUsed == 1 && back[0] == ch
            ? 1
            : 2;
  }
  return known == 1;
}

void TXMLTextStream::WriteEscaped(std::u16string_view text) {
  if (FWideTarget) {
    Write(text);
    return;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (CanEncode(c) && (c < 0xD800 || c > 0xDFFF)) {
      Write(c);
      continue;
    }
    uint32_t value = c;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
      value = 0x10000 + ((c - 0xD800u) << 10) + (text[++i] - 0xDC00u);
    Write(base::Utf8ToWide("&#x" + base::IntToHex(value, 1) + ";"));
  }
}

// --- character references ------------------------------------------------------------

char32_t ReadCharReference(TXMLTextStream& stream) {
  if (char16_t ch; stream.TakeMarkupEntity(ch)) return ch;
  enum { First, Name, Numeric, Decimal, Hex } state = First;
  char16_t name[64];  // no entity name is longer
  size_t length = 0;
  uint32_t value = 0;
  char16_t c;
  while (stream.Next(c)) {
    switch (state) {
      case First:
        if (IsWhiteSpaceChar(c)) throw EXMLException(INVALID_CHARACTER_ERR, xeWhiteSpaceNotAllowed);
        if (c == u'#') {
          state = Numeric;
        } else {
          if (!IsNameStartChar(c)) throw EXMLException(INVALID_CHARACTER_ERR, xeBadNameStart);
          name[length++] = c;
          state = Name;
        }
        break;
      case Name:
        if (c == u';') {
          char16_t ch;
          std::u16string_view read(name, length);
          if (!LookupCharEntity(read, ch))
            throw EXMLException(INVALID_CHARACTER_ERR, xeUndefinedEntity, {MessageArg(read)});
          return ch;
        }
        if (!IsNameChar(c)) throw EXMLException(INVALID_CHARACTER_ERR, xeSemicolonExpected);
        if (length < std::size(name)) name[length++] = c;
        break;
      case Numeric:
        if (IsWhiteSpaceChar(c)) throw EXMLException(INVALID_CHARACTER_ERR, xeWhiteSpaceNotAllowed);
        if (c >= u'0' && c <= u'9') {
          value = c - u'0';
          state = Decimal;
        } else if (c == u'x') {
          state = Hex;
        } else {
          throw EXMLException(INVALID_CHARACTER_ERR, xeBadEntityRefChar);
        }
        break;
      case Decimal:
      case Hex: {
        if (IsWhiteSpaceChar(c)) throw EXMLException(INVALID_CHARACTER_ERR, xeWhiteSpaceNotAllowed);
        if (c == u';') {
          // A character XML allows: no surrogate halves, nothing past U+10FFFF.
          if (value > 0x10FFFF || (value < 0x10000 && !IsXmlChar(static_cast<char16_t>(value))))
            throw EXMLException(INVALID_CHARACTER_ERR, xeBadCharValue);
          return value;
        }
        uint32_t digit;
        if (c >= u'0' && c <= u'9')
          digit = c - u'0';
        else if (state == Hex && c >= u'a' && c <= u'f')
          digit = c - u'a' + 10;
        else if (state == Hex && c >= u'A' && c <= u'F')
          digit = c - u'A' + 10;
        else
          throw EXMLException(INVALID_CHARACTER_ERR, state == Hex ? xeBadHexDigit : xeBadDecimalDigit);
        value = value * (state == Hex ? 16 : 10) + digit;
        if (value > 0x10FFFF)
          throw EXMLException(INVALID_CHARACTER_ERR, xeBadCharValue);  // bounded before it can overflow
        break;
      }
    }
  }
  return 0x20;
}

}  // namespace xml
