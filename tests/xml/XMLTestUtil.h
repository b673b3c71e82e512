// Helpers for the XML tests: UTF-8 <-> UTF-16 shorthands and a one-line dump of a tree.
#pragma once

#include <string>

#include "base/Strings.h"
#include "xml/XMLDocument.h"

namespace xmltest {

inline std::u16string W(const std::string& utf8) { return base::Utf8ToWide(utf8); }
inline std::string U(const std::u16string& wide) { return base::WideToUtf8(wide); }

// Elements as name[attr=value ...](children), text as "text", CDATA as <![text]>,
// comments as <!--text-->, instructions as <?target data?>, document types as
// <!DOCTYPE value>; children separated by commas.
std::string Dump(xml::IXMLNode* node);
inline std::string Dump(const xml::TIntf<xml::IXMLNode>& node) { return Dump(node.Get()); }

// A counted document loaded from UTF-8 text (through the byte loader, code page 65001).
xml::TIntf<xml::TXMLDocument> LoadUtf8(const std::string& text, bool* ok = nullptr);

}  // namespace xmltest
