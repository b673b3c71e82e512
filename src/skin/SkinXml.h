// Small helpers for reading description elements through the XML node interfaces:
// names compared case-insensitively, values as narrow strings in the system code page.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "xml/XMLIntf.h"

namespace skin {

// The attribute's value (empty when absent); the name is matched in any case.
std::string Attr(xml::IXMLNode* node, std::string_view name);
bool HasAttr(xml::IXMLNode* node, std::string_view name);
// The element's own name, narrowed.
std::string NodeName(xml::IXMLNode* node);
bool IsNamed(xml::IXMLNode* node, std::string_view name);
// The element children in document order (text, comments and instructions skipped).
std::vector<xml::TIntf<xml::IXMLNode>> ElementChildren(xml::IXMLNode* node);
// The concatenated text of the element's non-element children, narrowed.
std::string NodeText(xml::IXMLNode* node);

}  // namespace skin
