// The parser: a character-driven reader in which every node class reads its own syntax
// from the text stream. The document's ReadNode is the content reader.
#include <algorithm>

#include "base/Format.h"
#include "xml/XMLDocument.h"
#include "xml/XMLException.h"
#include "xml/XMLLookupTables.h"
#include "xml/XMLNodeList.h"
#include "xml/XMLTextStream.h"

namespace xml {

namespace {

bool ReadGroup(TXMLTextStream& s, std::u16string_view expected) {
  char16_t c;
  bool same = true;
  for (char16_t e : expected) {
    if (!s.Next(c)) return false;
    same = same && c == e;
  }
  return same;
}

// Stop conditions of the readers' bulk runs (TXMLTextStream::AppendRun, SkipRun).
bool NotNameChar(char16_t c) { return !IsNameChar(c); }
bool NotWhiteSpace(char16_t c) { return !IsWhiteSpaceChar(c); }

// Literal line breaks of s[from, end) as XML folds them before anything else: CR LF and a
// lone CR become LF. In an attribute value (attribute true) every literal white-space
// character then becomes a space, so CR LF is one space. Characters that references
// stand for are appended after this has run over the literal part before them, so they
// are kept exactly ("&#13;", "&#9;").
void FoldLiteral(WideString& s, size_t from, bool attribute) {
  size_t i = from;
  const size_t n = s.size();
  const char16_t* p = s.data();
  // Tab, LF and CR are all at most CR: one comparison a character finds the candidates.
  for (;; ++i) {
    while (i < n && p[i] > u'\r') ++i;
    if (i == n) return;
    if (p[i] == u'\r' || (attribute && (p[i] == u'\n' || p[i] == u'\t'))) break;
  }
  size_t out = i;
  for (; i < n; ++i) {
    char16_t c = s[i];
    if (c == u'\r') {
      if (i + 1 < n && s[i + 1] == u'\n') ++i;
      c = attribute ? u' ' : u'\n';
    } else if (attribute && (c == u'\n' || c == u'\t')) {
      c = u' ';
    }
    s[out++] = c;
  }
  s.resize(out);
}

// The rest of an attribute whose first name character the token holds: its name and its
// value (literal white space folded, references kept exactly). The input may end inside
// it, leaving what was read. With direct, a value that needs no change is shown in
// *direct where it lies in the stream's buffer (valid until the next read) instead.
void ReadAttribute(TXMLTextStream& s, WideString& name, WideString& value, std::u16string_view* direct = nullptr) {
  enum { Name, BeforeEquals, BeforeValue, Value } state = Name;
  char16_t quote = 0;
  size_t literalFrom = 0;  // where the value's literal characters not yet folded begin
  // A name or value in one piece is taken straight from the buffer; else it is collected.
  bool named = s.TakeNameDirect(name, [](char16_t d) { return IsWhiteSpaceChar(d) || d == u'='; });
  if (!named) s.AppendRun(s.Token(), NotNameChar);
  char16_t c;
  while (s.Next(c)) {
    switch (state) {
      case Name:
        if (IsWhiteSpaceChar(c)) {
          if (!named) name = s.TakeToken();
          state = BeforeEquals;
        } else if (c == u'=') {
          if (!named) name = s.TakeToken();
          state = BeforeValue;
        } else {
          if (!IsNameChar(c)) throw EXMLException(INVALID_CHARACTER_ERR, xeBadNameChar);
          s.AppendToken(c);
          s.AppendRun(s.Token(), NotNameChar);
        }
        break;
      case BeforeEquals:
        if (IsWhiteSpaceChar(c)) break;
        if (c != u'=') throw EXMLException(INVALID_CHARACTER_ERR, xeMissingEquals);
        state = BeforeValue;
        break;
      case BeforeValue:
        if (IsWhiteSpaceChar(c)) break;
        if (c != u'"' && c != u'\'') throw EXMLException(INVALID_CHARACTER_ERR, xeQuoteExpected);
        quote = c;
        if (std::u16string_view lying; s.TakeValueDirect(lying, quote)) {
          // Tab, LF and CR (all at most CR) are the characters folding would change.
          if (direct && std::none_of(lying.begin(), lying.end(), [](char16_t d) { return d <= u'\r'; })) {
            *direct = lying;
            return;
          }
          value = WideString(lying);
          FoldLiteral(value, 0, true);
          return;
        }
        state = Value;
        s.AppendUntil(s.Token(), quote, u'&', u'<');
        break;
      case Value:
        if (c == quote) {
          FoldLiteral(s.Token(), literalFrom, true);
          value = s.TakeToken();
          return;
        }
        if (c == u'&') {
          FoldLiteral(s.Token(), literalFrom, true);
          AppendCodePoint(s.Token(), ReadCharReference(s));
          literalFrom = s.Token().size();
        } else if (c == u'<')
          throw EXMLException(INVALID_CHARACTER_ERR, xeLessThanInAttribute);
        else
          s.AppendToken(c);
        s.AppendUntil(s.Token(), quote, u'&', u'<');
        break;
    }
  }
  if (state == Name && !named) name = s.TakeToken();
}

// Leaves `parent`'s child list; the node itself is kept alive by the caller.
void RemoveFromParent(TXMLNode* node, TXMLNode* parent) {
  if (parent) parent->Children().Remove(node);
}

}  // namespace

void TXMLDocument::ReadNode(TXMLNode* parent, TXMLTextStream& s) {
  enum { Text, AfterLt, EndTag, AfterBang } state = Text;
  char16_t c;
  while (s.Next(c)) {
    switch (state) {
      case Text:
        if (IsWhiteSpaceChar(c)) {
          s.SkipRun(NotWhiteSpace);
          break;
        }
        if (c == u'<') {
          state = AfterLt;
          break;
        }
        s.UnreadChar();
        if (TXMLNode* text = NewNode(FTextClass, TEXT_NODE)) {
          parent->AppendNew(text);
          text->ReadNode(parent, s);
        }
        break;
      case AfterLt:
        if (IsWhiteSpaceChar(c)) break;
        if (c == u'!') {
          s.ClearToken();
          state = AfterBang;
        } else if (c == u'?') {
          s.ClearToken();
          TXMLNode* pi = NewNode(FPIClass, PROCESSING_INSTRUCTION_NODE);
          parent->AppendNew(pi);
          pi->ReadNode(parent, s);
          state = Text;
        } else if (c == u'/') {
          s.ClearToken();
          if (!parent->Wrapped() && s.TakeEndTagDirect(parent->Name())) return;
          state = EndTag;
        } else {
          if (!IsLetterChar(c) && c != u'_') throw EXMLException(INVALID_CHARACTER_ERR, xeBadNameStart);
          s.EndProlog();
          s.ClearToken();
          s.AppendToken(c);
          TXMLNode* element = NewNode(FElementClass, ELEMENT_NODE);
          parent->AppendNew(element);
          element->ReadNode(parent, s);
          state = Text;
        }
        break;
      case EndTag:
        if (c == u'>') {
          // White space may follow the name of an end tag.
          WideString& token = s.Token();
          while (!token.empty() && IsWhiteSpaceChar(token.back())) token.pop_back();
          const WideString& name = s.RetireToken();
          if (parent->Wrapped() ? name == parent->GetNodeName() : name == parent->Name()) return;
          throw EXMLException(HIERARCHY_REQUEST_ERR, xeEndTagMismatch,
                              {MessageArg(name), MessageArg(parent->GetNodeName())});
        }
        s.AppendToken(c);
        s.AppendUntil(s.Token(), u'>', u'>', u'>');
        break;
      case AfterBang:
        if (c == u'-') {
          char16_t d;
          if (!s.Next(d) || d != u'-') throw EXMLInvalidNode(base::Format("Invalid node %s", MessageArg(s.Token())));
          TXMLNode* comment = NewNode(FCommentClass, COMMENT_NODE);
          parent->AppendNew(comment);
          comment->ReadNode(parent, s);
          state = Text;
        } else if (c == u'D') {
          if (ReadGroup(s, u"OCTYPE")) {
            s.ClearToken();
            TXMLNode* docType = NewNode(FDocTypeClass, DOCUMENT_TYPE_NODE);
            parent->AppendNew(docType);
            TIntf<IXMLNode> keep(docType);
            docType->ReadNode(parent, s);
            if (docType->Parent() == parent) FDocType = Supports<IXMLDocumentType>(keep);
            state = Text;
          }
        } else if (c == u'[') {
          if (ReadGroup(s, u"CDATA[")) {
            s.ClearToken();
            TXMLNode* cdata = NewNode(FCDATAClass, CDATA_SECTION_NODE);
            parent->AppendNew(cdata);
            cdata->ReadNode(parent, s);
            state = Text;
          }
        }
        break;
    }
  }
}

void TXMLDocumentFragment::ReadNode(TXMLNode*, TXMLTextStream& stream) {
  if (TXMLDocument* doc = OwnerDocument()) doc->ReadNode(this, stream);
}

// Inside a start tag, where the character-driven reader below would expect white space or
// an attribute: the attributes that follow written the plain way (name, "=", a quoted value
// without references, "<" or characters up to CR, all inside the buffer), the white space
// around them included, are read straight from the buffer as that reader would read
// them. It stops before anything else (the end of the tag, a value it would have to
// change, an error), where that reader goes on.
void TXMLElement::ReadPlainAttributes(TXMLTextStream& s) {
  const std::u16string_view window = s.DirectWindow();
  const char16_t* const end = window.data() + window.size();
  const char16_t* at = window.data();  // after the last attribute read
  auto skipWhiteSpace = [end](const char16_t* p) {
    while (p < end && IsWhiteSpaceChar(*p)) ++p;
    return p;
  };
  // The attributes found so far, added a batch at a time (each name followed by its value).
  constexpr size_t kBatch = 16;
  TTextPart parts[2 * kBatch];
  size_t found = 0;
  const char16_t* read = at;  // where the stream is
  auto addFound = [&] {
    if (!found) return;
    AddReadAttributes(parts, found);
    s.SkipDirect(static_cast<size_t>(at - read));
    s.RememberDirectAt(parts[2 * found - 1].Data, parts[2 * found - 1].Size);
    read = at;
    found = 0;
  };
  for (;;) {
    const char16_t* p = skipWhiteSpace(at);
    if (p == end || !(IsLetterChar(*p) || *p == u'_')) break;
    const char16_t* name = p++;
    while (p < end && IsNameChar(*p)) ++p;
    const size_t nameLength = static_cast<size_t>(p - name);
    p = skipWhiteSpace(p);
    if (p == end || *p != u'=') break;
    p = skipWhiteSpace(p + 1);
    if (p == end || (*p != u'"' && *p != u'\'')) break;
    const char16_t quote = *p++;
    const size_t n = PlainValueLength(p, static_cast<size_t>(end - p), quote);
    if (p + n == end || p[n] != quote) break;
    parts[2 * found] = {name, nameLength};
    parts[2 * found + 1] = {p, n};
    ++found;
    at = p + n + 1;
    if (found == kBatch) addFound();
  }
  addFound();
}

void TXMLElement::ReadNode(TXMLNode*, TXMLTextStream& s) {
  enum { Name, Attributes, AfterSlash } state = Name;
  TXMLDocument* doc = OwnerDocument();
  WideString attrName, attrValue;
  auto readContent = [&] {
    if (!doc) return;
    doc->EnterElement();
    doc->ReadNode(this, s);
    doc->LeaveElement();
  };
  // A name in one piece is taken straight from the buffer (named); else it is collected.
  bool named = s.TakeNameDirect(FName, [](char16_t d) { return IsWhiteSpaceChar(d) || d == u'/' || d == u'>'; });
  if (!named) s.AppendRun(s.Token(), NotNameChar);
  char16_t c;
  while (s.Next(c)) {
    switch (state) {
      case Name:
        if (IsWhiteSpaceChar(c)) {
          if (!named) FName = s.TakeToken();
          state = Attributes;
          if (doc) ReadPlainAttributes(s);
        } else if (c == u'/') {
          if (!named) FName = s.TakeToken();
          state = AfterSlash;
        } else if (c == u'>') {
          if (!named) FName = s.TakeToken();
          readContent();
          return;
        } else {
          if (!IsNameChar(c)) throw EXMLException(INVALID_CHARACTER_ERR, xeBadNameChar);
          s.AppendToken(c);
          s.AppendRun(s.Token(), NotNameChar);
        }
        break;
      case Attributes:
        if (IsWhiteSpaceChar(c)) {
          s.SkipRun(NotWhiteSpace);
          break;
        }
        if (c == u'/') {
          state = AfterSlash;
        } else if (c == u'>') {
          readContent();
          return;
        } else {
          if (!IsLetterChar(c) && c != u'_') throw EXMLException(INVALID_CHARACTER_ERR, xeBadNameStart);
          s.ClearToken();
          s.AppendToken(c);
          // Appended as read: an attribute of the same name is not looked for. Cut off by
          // an error, the attribute is kept as far as it was read.
          std::u16string_view direct;
          try {
            ReadAttribute(s, attrName, attrValue, &direct);
          } catch (...) {
            AddReadAttribute(attrName, attrValue);
            throw;
          }
          AddReadAttribute(attrName, direct.data() ? direct : attrValue);
          attrName.clear();
          attrValue.clear();
          if (doc) ReadPlainAttributes(s);
        }
        break;
      case AfterSlash:
        if (c == u'>') return;
        if (IsWhiteSpaceChar(c)) throw EXMLException(INVALID_CHARACTER_ERR, xeWhiteSpaceNotAllowed);
        throw EXMLException(INVALID_CHARACTER_ERR, xeGreaterThanExpected);
    }
  }
  if (state == Name && !named) FName = s.TakeToken();
}

void TXMLAttr::ReadNode(TXMLNode*, TXMLTextStream& s) { ReadAttribute(s, FName, FValue); }

void TXMLText::ReadNode(TXMLNode* parent, TXMLTextStream& s) {
  TIntf<IXMLNode> keep(this);  // may leave the parent's list below
  WideString& token = s.Token();
  WideString direct;  // the text, when it is in the buffer in one piece
  // Text with markup references comes collected, the rest whole as it lies.
  bool collected = false;
  bool whole = s.TakeTextDirect(direct, collected) && !collected;
  size_t literalFrom = 0;  // where the literal characters not yet folded begin
  char16_t c;
  while (!whole && !collected && s.Next(c)) {
    if (c == u'<') {
      s.UnreadChar();
      break;
    }
    if (c == u'&') {
      FoldLiteral(token, literalFrom, false);
      AppendCodePoint(token, ReadCharReference(s));
      literalFrom = token.size();
    } else {
      token.push_back(c);
    }
    s.AppendUntil(token, u'<', u'&', u'<');
  }
  if (!whole && !collected) FoldLiteral(token, literalFrom, false);
  // Text cut off by the end of the input is kept like any other.
  if (!whole && token.empty()) {
    RemoveFromParent(this, parent);
    return;
  }
  WideString value = whole ? std::move(direct) : s.TakeToken();
  if (!FValue.empty()) value.insert(0, FValue);
  if (TXMLDocument* doc = OwnerDocument(); doc && !doc->GetKeepWhiteSpace()) value = TrimWhiteSpace(value);
  if (value.empty()) {
    RemoveFromParent(this, parent);
    return;
  }
  // Collected text has its line breaks folded already, and a CR a reference gave must stay
  // one; text taken whole from the buffer has not been folded.
  if (!whole && !Wrapped())
    FValue = std::move(value);
  else
    StoreReadValue(std::move(value));
}

void TXMLProcessingInstruction::ReadNode(TXMLNode* parent, TXMLTextStream& s) {
  enum { TargetStart, Target, BeforeData, Data, AfterQuestion, Done } state = TargetStart;
  char16_t c;
  while (state != Done && s.Next(c)) {
    switch (state) {
      case TargetStart:
        if (!IsNameStartChar(c)) throw EXMLException(INVALID_CHARACTER_ERR, xeBadNameStart);
        s.AppendToken(c);
        state = Target;
        break;
      case Target:
        if (IsWhiteSpaceChar(c)) {
          FName = s.TakeToken();
          state = BeforeData;
        } else if (c == u'?' && !SameName(s.Token(), u"xml")) {
          // "<?pi?>": an instruction without data. The declaration needs its version, so
          // "<?xml?>" stays refused below.
          FName = s.TakeToken();
          state = AfterQuestion;
        } else {
          if (!IsNameChar(c)) throw EXMLException(INVALID_CHARACTER_ERR, xeBadNameChar);
          s.AppendToken(c);
        }
        break;
      case BeforeData:
        if (IsWhiteSpaceChar(c)) break;
        if (c == u'?') {
          state = AfterQuestion;
          break;
        }
        state = Data;
        [[fallthrough]];
      case Data:
        if (c == u'?') {
          state = AfterQuestion;
        } else {
          if (!IsXmlChar(c)) throw EXMLException(INVALID_CHARACTER_ERR, xeBadNameChar);
          s.AppendToken(c);
        }
        break;
      case AfterQuestion:
        if (c == u'>') {
          state = Done;
        } else if (c == u'?') {
          s.AppendToken(c);  // "??>" ends the instruction after one "?" of data
        } else {
          if (!IsXmlChar(c)) throw EXMLException(INVALID_CHARACTER_ERR, xeBadNameChar);
          s.AppendToken(u'?');
          s.AppendToken(c);
          state = Data;
        }
        break;
      case Done: break;
    }
  }
  if (state == TargetStart || state == Target)
    FName = s.TakeToken();
  else
    FData = s.TakeToken();
  if (FName.empty()) {
    // Cut off before its target: nothing that could be written back.
    TIntf<IXMLNode> keep(this);
    RemoveFromParent(this, parent);
    return;
  }
  // Only the declaration at the start of a document without byte order mark, and not in
  // UTF-16, chooses the code page of what follows.
  if (parent && parent->NodeType() == DOCUMENT_NODE && s.CanSwitchCodePage() && parent->ChildCount() == 1) {
    WideString name;
    if (!DeclaredEncodingName(this, name)) return;
    uint16_t codePage = 0;
    // Text in an encoding this host cannot read is refused rather than read as garbage.
    if (!LookupCodePage(name, codePage) || !CanConvertCodePage(codePage))
      throw EXMLException::Formatted(INVALID_CHARACTER_ERR, xeEncodingUnsupported,
                                     "System does not support the specified encoding: " + MessageArg(name) + ".");
    s.SetStreamCodePage(codePage);
  }
}

bool DeclaredEncodingName(IXMLProcessingInstruction* pi, WideString& name) {
  if (!pi || !SameName(pi->GetTarget(), u"xml")) return false;
  WideString data = pi->GetData();
  WideString lower = LowerCaseName(data);
  size_t at = lower.find(u"encoding");
  if (at == WideString::npos) return false;
  // encoding, optional white space, "=", optional white space, a quoted name.
  size_t i = at + 8;
  while (i < data.size() && IsWhiteSpaceChar(data[i])) ++i;
  if (i >= data.size() || data[i] != u'=') return false;
  ++i;
  while (i < data.size() && IsWhiteSpaceChar(data[i])) ++i;
  if (i >= data.size() || (data[i] != u'"' && data[i] != u'\'')) return false;
  size_t close = data.find(data[i], i + 1);
  if (close == WideString::npos) return false;
  name = data.substr(i + 1, close - i - 1);
  return true;
}

bool DetectDeclaredCodePage(IXMLProcessingInstruction* pi, uint16_t& codePage) {
  WideString name;
  return DeclaredEncodingName(pi, name) && LookupCodePage(name, codePage);
}

void TXMLComment::ReadNode(TXMLNode*, TXMLTextStream& s) {
  enum { Collect, Dash, Skip } state = Collect;
  char16_t c;
  while (s.Next(c)) {
    switch (state) {
      case Collect:
        if (c == u'-') {
          state = Dash;
        } else {
          s.AppendToken(c);
          s.AppendUntil(s.Token(), u'-', u'-', u'-');
        }
        break;
      case Dash:
        if (c == u'-') {
          state = Skip;
        } else {
          s.AppendToken(u'-');
          s.AppendToken(c);
          state = Collect;
        }
        break;
      case Skip:
        if (c == u'>') {
          SetNodeValue(s.TakeToken());
          return;
        }
        break;
    }
  }
  if (state == Dash) s.AppendToken(u'-');
  SetNodeValue(s.TakeToken());
}

void TXMLCDATASection::ReadNode(TXMLNode*, TXMLTextStream& s) {
  WideString& token = s.Token();
  size_t brackets = 0;  // "]" seen in a row and not yet stored
  char16_t c;
  while (s.Next(c)) {
    if (c == u']') {
      ++brackets;
      continue;
    }
    if (c == u'>' && brackets >= 2) {
      // "]]>" ends the section; any "]" before those two belong to the data ("]]]>").
      token.append(brackets - 2, u']');
      SetNodeValue(s.TakeToken());
      return;
    }
    token.append(brackets, u']');
    brackets = 0;
    token.push_back(c);
    s.AppendUntil(token, u']', u']', u']');
  }
  token.append(brackets, u']');
  SetNodeValue(s.TakeToken());
}

void TXMLDocumentType::ReadNode(TXMLNode* parent, TXMLTextStream& s) {
  int32_t depth = 0;
  char16_t quote = 0;
  // Inside the internal subset, comments and processing instructions are skipped over
  // whole: a quote or bracket in them opens nothing.
  enum { Markup, Comment, Instruction } inside = Markup;
  bool started = false;
  char16_t c;
  auto endsWith = [&s](std::u16string_view tail) {
    const WideString& token = s.Token();
    return token.size() >= tail.size() && std::u16string_view(token).substr(token.size() - tail.size()) == tail;
  };
  while (s.Next(c)) {
    if (!started) {
      if (IsWhiteSpaceChar(c)) continue;
      started = true;
    }
    if (inside != Markup) {
      s.AppendToken(c);
      if (c == u'>' && endsWith(inside == Comment ? u"-->" : u"?>")) inside = Markup;
      continue;
    }
    if (quote) {
      if (c == quote) quote = 0;
    } else if (depth > 0 && c == u'-' && endsWith(u"<!-")) {
      inside = Comment;
    } else if (depth > 0 && c == u'?' && endsWith(u"<")) {
      inside = Instruction;
    } else if (c == u'"' || c == u'\'') {
      quote = c;
    } else if (c == u'[') {
      ++depth;
    } else if (c == u']') {
      if (depth > 0) --depth;
    } else if (c == u'>' && depth == 0) {
      FValue = s.TakeToken();
      return;
    }
    s.AppendToken(c);
  }
  // Cut off by the end of the input: what was read cannot be written back as one
  // declaration, so it is dropped.
  s.ClearToken();
  TIntf<IXMLNode> keep(this);
  RemoveFromParent(this, parent);
}

}  // namespace xml
