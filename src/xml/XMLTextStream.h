// TXMLTextStream: the character-level reader and writer under the XML parser and writer.
// It owns an encoded text stream (text::TRkTextStream) over the caller's byte stream and
// exchanges UTF-16 code units with it: reading counts lines and columns, allows one
// character to be pushed back and collects tokens; writing keeps the indentation level
// and output format of the writer.
//
// Reading goes through a buffer. Until the parser says the prolog is over (EndProlog), it
// takes one character at a time from the encoded stream, so that an encoding named by the
// XML declaration applies exactly from the character after it. Input that starts with a
// byte order mark, or that is UTF-16, never changes its code page (CanSwitchCodePage).
// Reading a character only moves the buffer position: lines and columns are counted
// when they are asked for and when the buffer is refilled, and a pushed-back character
// is read again from the buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/Stream.h"
#include "xml/XMLInterfacedObject.h"
#include "xml/XMLLookupTables.h"

namespace text {
class TRkTextStream;
}
namespace platform {
class TextDecoder;
class TextEncoder;
}  // namespace platform

namespace xml {

enum : uint8_t { xmRead = 0, xmWrite = 1 };

class TXMLTextStream final : public TXMLInterfacedObject<IXMLTextStream> {
 public:
  // stream is not owned. Write mode truncates it and writes the byte order mark of a
  // Unicode code page (EF BB BF for 65001).
  TXMLTextStream(base::TStream* stream, uint16_t codePage, uint8_t mode);
  ~TXMLTextStream() override;

  uint16_t GetStreamCodePage() override;
  void SetStreamCodePage(uint16_t codePage) override;
  uint8_t GetOutputFormat() override { return FFormat; }
  void SetOutputFormat(uint8_t format) override { FFormat = format; }
  void IncIndent() override;
  void DecIndent() override;
  void WriteLineBreak(bool force) override;
  void UnreadChar() override;
  bool NextChar(char16_t& ch) override { return Next(ch); }
  bool ReadString(int32_t count, WideString& text) override;
  void AppendToken(char16_t ch) override { FToken->push_back(ch); }
  WideString TakeToken() override {
    // The caller gets a copy of exactly the token's size (a short name needs no heap at
    // all); the token itself becomes the one kept for error reports, and the buffer of
    // the previous one collects the next token. So both buffers keep their room, and
    // reading allocates once for a long name or value and never while collecting it.
    WideString token(*FToken);
    std::swap(FToken, FPrevToken);
    FToken->clear();
    FPrevInBuffer = false;
    return token;
  }
  // Ends the token without handing it out (the caller only looks at it): it becomes the
  // previous token, which is returned.
  const WideString& RetireToken() {
    std::swap(FToken, FPrevToken);
    FToken->clear();
    FPrevInBuffer = false;
    return *FPrevToken;
  }
  int32_t TokenLength() override { return static_cast<int32_t>(FToken->size()); }
  void ClearToken() override { FToken->clear(); }
  void WriteString(const WideString& text) override { Write(text); }

  // The parser's fast path (not virtual).
  bool Next(char16_t& ch) {
    if (FPos < FLimit) [[likely]] {
      ch = FBuffer[FPos++];
      FCanUndo = true;
      return true;
    }
    return NextSlow(ch);
  }
  // The readers' bulk paths: the characters from here up to the first one for which
  // stop(c) is true, or to the end of what is buffered, are appended to `to` (AppendRun)
  // or passed over (SkipRun), with the same position, line, column and push-back state as
  // reading them one by one with Next. The stopping character stays unread. Nothing is
  // taken while a pushed-back character is pending, so Next always comes first then.
  template <class Stop>
  void AppendRun(WideString& to, Stop stop) {
    size_t from = FPos;
    if (TakeRun(stop)) to.append(FBuffer.get() + from, FPos - from);
  }
  template <class Stop>
  void SkipRun(Stop stop) {
    TakeRun(stop);
  }
  // AppendRun up to the first of the characters a, b or c: the long runs of text,
  // values and comments, taken several characters at a time.
  void AppendUntil(WideString& to, char16_t a, char16_t b, char16_t c) {
    size_t from = FPos;
    size_t n = FindFirstOfPadded(FBuffer.get() + from, FLimit - from, a, b, c);
    if (n == 0) return;
    FPos = from + n;
    FCanUndo = true;
    to.append(FBuffer.get() + from, n);
  }
  // The readers' direct paths, for a name or value written in one piece inside the
  // buffer: it goes straight into the node's string, as if it had been collected as the
  // token and taken (it becomes the previous token).
  //
  // TakeNameDirect: the name whose first character was just read and is the token's only
  // one, when the character after it is in the buffer and accept(that character) holds.
  // The name is read; the character after it is not. False, and nothing read, otherwise.
  template <class Accept>
  bool TakeNameDirect(WideString& to, Accept accept) {
    if (FToken->size() != 1 || FPos == 0 || FReread || FUndoRefused) return false;
    const char16_t* buf = FBuffer.get();
    size_t start = FPos - 1;
    if (buf[start] != (*FToken)[0]) return false;
    size_t i = FPos;
    while (i < FEnd && IsNameChar(buf[i])) ++i;
    if (i == FEnd || !accept(buf[i])) return false;
    to = WideString(buf + start, i - start);  // cheaper than assign, which allows for overlap
    FToken->clear();
    RememberDirect(start, i - start);
    if (i > FPos) FCanUndo = true;
    FPos = i;
    return true;
  }
  // TakeValueDirect: a quoted value up to its closing quote, when that comes before any
  // "&" or "<" and inside the buffer; the closing quote is read too. False, and nothing
  // read, otherwise.
  bool TakeValueDirect(WideString& to, char16_t quote) {
    std::u16string_view value;
    if (!TakeValueDirect(value, quote)) return false;
    to = WideString(value);
    return true;
  }
  // The same, the value shown where it lies in the buffer: valid until the next read.
  bool TakeValueDirect(std::u16string_view& to, char16_t quote) {
    if (!FToken->empty() || FReread || FUndoRefused) return false;
    const char16_t* buf = FBuffer.get();
    size_t n = FindFirstOfPadded(buf + FPos, FEnd - FPos, quote, u'&', u'<');
    if (FPos + n == FEnd || buf[FPos + n] != quote) return false;
    to = std::u16string_view(buf + FPos, n);
    FinishDirect(n, n + 1);
    return true;
  }

  // TakeMarkupEntity: the rest of one of the five markup references ("amp;", "lt;",
  // "gt;", "quot;", "apos;") after its "&", when it is in the buffer; ch is its character.
  bool TakeMarkupEntity(char16_t& ch) {
    if (FReread || FUndoRefused) return false;
    size_t length = MarkupEntityAt(FBuffer.get() + FPos, FEnd - FPos, ch);
    if (!length) return false;
    FPos += length;
    FCanUndo = true;
    return true;
  }
  // TakeEndTagDirect: an end tag's name and the ">" after it, when they are in the buffer
  // and the name (without the white space that may follow it) is `expected`.
  bool TakeEndTagDirect(std::u16string_view expected) {
    if (!FToken->empty() || FReread || FUndoRefused) return false;
    // The usual end tag, the name and ">" at once, is compared where it lies.
    const size_t length = expected.size();
    if (FEnd - FPos > length && FBuffer[FPos + length] == u'>' &&
        SameUnits(FBuffer.get() + FPos, expected.data(), length)) {
      FinishDirect(length, length + 1);
      return true;
    }
    const char16_t* buf = FBuffer.get();
    size_t n = FindFirstOfPadded(buf + FPos, FEnd - FPos, u'>', u'>', u'>');
    if (FPos + n == FEnd) return false;
    size_t named = n;
    while (named && IsWhiteSpaceChar(buf[FPos + named - 1])) --named;
    if (std::u16string_view(buf + FPos, named) != expected) return false;
    FinishDirect(named, n + 1);
    return true;
  }
  // TakeTextDirect: text from the read position (a pushed-back character included) up to
  // the "<" after it, when that is inside the buffer and every "&" before it starts one of
  // the five markup references; the "<" stays unread. Text without references goes to
  // `to` as it lies (collected false); text with them is collected into the token, which
  // must be empty, with the references replaced and the line breaks folded (collected
  // true), as reading it character by character would have left it. False, and nothing
  // read, otherwise.
  bool TakeTextDirect(WideString& to, bool& collected) {
    if (!FToken->empty() || FUndoRefused) return false;
    const char16_t* const from = FBuffer.get() + FPos;
    const char16_t* const limit = FBuffer.get() + FEnd;
    size_t n = FindFirstOfPadded(from, static_cast<size_t>(limit - from), u'<', u'&', u'<');
    if (from + n == limit || (n == 0 && from[n] == u'<')) return false;
    if (from[n] == u'&') {
      const char16_t* amp = from + n;
      const char16_t* const end = amp + FindFirstOfPadded(amp, static_cast<size_t>(limit - amp), u'<', u'<', u'<');
      if (end == limit) return false;
      n = static_cast<size_t>(end - from);
      WideString& token = *FToken;
      token.reserve(n);
      for (const char16_t* p = from;;) {
        token.append(p, static_cast<size_t>(amp - p));
        if (amp == end) break;
        char16_t ch;
        size_t length = MarkupEntityAt(amp + 1, static_cast<size_t>(end - amp - 1), ch);
        if (!length) {
          token.clear();
          return false;
        }
        token.push_back(ch);
        p = amp + 1 + length;
        amp = p + FindFirstOfPadded(p, static_cast<size_t>(end - p), u'&', u'&', u'&');
      }
      // No markup reference stands for a line break, so folding them all now folds just
      // the literal ones.
      if (FindFirstOfPadded(from, n, u'\r', u'\r', u'\r') != n) token = NormalizeLineBreaks(std::move(token));
      collected = true;
    } else {
      to = WideString(from, n);
      collected = false;
    }
    FLimit = FEnd;  // the pushed-back character is part of the text
    FReread = false;
    FinishDirect(n, n);
    return true;
  }
  // The readers' window for reading several tokens at once: the unread characters from
  // the read position to the end of what is buffered (readable for kPadding units past
  // its end, as FindFirstOfPadded needs), or an empty one while a pushed-back character
  // is pending or a token is being collected. SkipDirect moves the read position over n
  // of them as Next would; RememberDirectAt makes length units of the window at from the
  // previous token, as a direct path's take does.
  std::u16string_view DirectWindow() const {
    if (!FToken->empty() || FReread || FUndoRefused) return {};
    return {FBuffer.get() + FPos, FEnd - FPos};
  }
  void SkipDirect(size_t n) {
    if (n == 0) return;
    FPos += n;
    FCanUndo = true;
  }
  void RememberDirectAt(const char16_t* from, size_t length) {
    RememberDirect(static_cast<size_t>(from - FBuffer.get()), length);
  }
  void Write(std::u16string_view text) {
    FOut.append(text);
    if (FOut.size() >= kFlushSize) Flush();
  }
  void Write(char16_t ch) {
    FOut.push_back(ch);
    if (FOut.size() >= kFlushSize) Flush();
  }
  // Writes text that is already escaped for markup; characters the target code page
  // cannot hold are written as character references instead of being replaced.
  void WriteEscaped(std::u16string_view text);
  WideString& Token() { return *FToken; }
  // Hands everything written so far to the encoded stream; EWriteError "Stream write
  // error" when the stream takes less.
  void Flush();

  // Characters read so far, one less while a pushed-back character is pending.
  int64_t StreamPosition() const { return FBase + static_cast<int64_t>(FPos); }
  // The line (from 0) and column (characters since its start) of the read position.
  int32_t GetLine() const;
  int32_t GetColumn() const;
  // The current line up to the last character read (at most its last kLineKeep units).
  WideString CurrentLineText() const;
  const WideString& GetPreviousToken();
  // The last character given out (the pushed-back one while it is pending), or 0.
  char16_t GetPreviousChar() const;
  int32_t IndentLevel() const { return FIndent; }

  // True while an encoding named by the document may still change the code page: the
  // input had no byte order mark, is not UTF-16 or UTF-32, and the prolog is not over.
  bool CanSwitchCodePage() const { return FMayDeclare; }
  // The first element has started: from here on the stream reads ahead.
  void EndProlog() {
    FMayDeclare = false;
    FExact = false;
  }

  static constexpr int32_t kOuterLevel = 2147483647;

 private:
  // The length of one of the five markup references after its "&" at p (room units
  // readable there), with its character in ch; 0 for anything else.
  static size_t MarkupEntityAt(const char16_t* p, size_t room, char16_t& ch) {
    if (room >= 3 && p[1] == u't' && p[2] == u';' && (p[0] == u'l' || p[0] == u'g')) {
      ch = p[0] == u'l' ? u'<' : u'>';
      return 3;
    }
    if (room >= 4 && p[0] == u'a' && p[1] == u'm' && p[2] == u'p' && p[3] == u';') {
      ch = u'&';
      return 4;
    }
    if (room >= 5 && p[4] == u';' &&
        ((p[0] == u'q' && p[1] == u'u' && p[2] == u'o' && p[3] == u't') ||
         (p[0] == u'a' && p[1] == u'p' && p[2] == u'o' && p[3] == u's'))) {
      ch = p[0] == u'q' ? u'"' : u'\'';
      return 5;
    }
    return 0;
  }
  // Moves FPos over the run as Next would; false for an empty run.
  template <class Stop>
  bool TakeRun(Stop stop) {
    const char16_t* buf = FBuffer.get();
    size_t i = FPos;
    while (i < FLimit && !stop(buf[i])) ++i;
    if (i == FPos) return false;
    FPos = i;
    FCanUndo = true;
    return true;
  }
  // Next beyond FLimit: a pushed-back character, or the end of the buffer.
  bool NextSlow(char16_t& ch);
  void RememberDirect(size_t from, size_t length) {
    FPrevInBuffer = true;
    FPrevFrom = from;
    FPrevLength = length;
  }
  // The end of a direct path that took the token of `length` units at the read position
  // and reads `read` units in all.
  void FinishDirect(size_t length, size_t read) {
    RememberDirect(FPos, length);
    FPos += read;
    FCanUndo = true;
  }
  // Copies a previous token that is still in the buffer into *FPrevToken.
  void KeepPreviousToken();
  bool Fill();
  // Lines and columns from FMark up to `to` (a buffer index), added to line and column.
  void CountLines(size_t to, int32_t& line, int32_t& column) const;
  bool CanEncode(char16_t ch);

  static constexpr size_t kChunk = 16384;
  static constexpr size_t kPadding = 8;  // readable units behind the buffer's end
  static constexpr size_t kLineKeep = 256;
  static constexpr size_t kFlushSize = 16384;

  uint8_t FMode;
  std::unique_ptr<text::TRkTextStream> FText;
  int64_t FSize = 0;
  int32_t FIndent = -1;
  uint8_t FFormat = FormatCompact;
  // The token being collected and the last one taken: the two buffers change roles at
  // each take, so that neither is copied.
  WideString FTokenBuffers[2];
  WideString* FToken = &FTokenBuffers[0];
  WideString* FPrevToken = &FTokenBuffers[1];
  // Taken by a direct path, the previous token is FBuffer[FPrevFrom, + FPrevLength) until
  // the buffer moves on.
  bool FPrevInBuffer = false;
  size_t FPrevFrom = 0;
  size_t FPrevLength = 0;

  // Reading: FBuffer[0, FEnd) holds kept line text followed by decoded characters;
  // FBuffer[FPos] is the next one to give out. Next takes characters below FLimit
  // directly; FLimit is FEnd except while a pushed-back character (or a push-back that
  // was refused) waits for NextSlow.
  std::unique_ptr<char16_t[]> FBuffer;
  size_t FPos = 0;
  size_t FEnd = 0;
  size_t FLimit = 0;
  int64_t FBase = 0;  // characters that were read before FBuffer[0]
  // The line and column at FBuffer[FMark]; the characters after it are counted when asked.
  int32_t FLine = 0;
  int32_t FColumn = 0;
  size_t FMark = 0;
  bool FCanUndo = false;      // the last character read may be pushed back
  bool FReread = false;       // FBuffer[FPos] was pushed back
  bool FUndoRefused = false;  // a push-back with nothing to give back: xeInternal on the next read
  bool FExact = false;
  bool FMayDeclare = false;
  bool FAtEnd = false;
  // Writing.
  WideString FOut;
  bool FWideTarget = true;
  std::vector<uint8_t> FEncodable;  // per code unit: 0 not known yet, 1 yes, 2 no
  std::unique_ptr<platform::TextEncoder> FEncoder;
  std::unique_ptr<platform::TextDecoder> FDecoder;
};

// The rest of a reference after "&", through ";": the character it stands for. Named
// references come from LookupCharEntity; numeric ones must name a character XML allows
// (U+10000..U+10FFFF included) and are bounded while they are read. Errors are
// EXMLException with INVALID_CHARACTER_ERR: xeWhiteSpaceNotAllowed, xeBadNameStart,
// xeSemicolonExpected (bad name character), xeBadEntityRefChar (bad character after "#"),
// xeBadDecimalDigit/xeBadHexDigit, xeBadCharValue (not a character), xeUndefinedEntity.
// The end of the input inside a reference answers a space.
char32_t ReadCharReference(TXMLTextStream& stream);
// Appends a code point as one or two UTF-16 code units.
inline void AppendCodePoint(WideString& s, char32_t c) {
  if (c < 0x10000) {
    s.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    s.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    s.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

}  // namespace xml
