#include "xml/XMLException.h"

#include <vector>

#include "base/Format.h"

namespace xml {

namespace {

constexpr const char* kMessages[kXMLMessageCount] = {
    "%s",
    "The value passed in to formatIndex needs to be greater than zero.",
    "Invalid format string.",
    "System error: %s.",
    "Missing equals sign between attribute and attribute value.",
    "Expected token %s found %s.",
    "Unexpected token %s.",
    "A string literal was expected, but no opening quote character was found.",
    "Incorrect syntax was used in a comment.",
    "A name started with an invalid character.",
    "A name contained an invalid character.",
    "The character \"<\" cannot be used in an attribute value.",
    "Invalid syntax for an xml declaration.",
    "An invalid character was found in text content.",
    "Required white space was missing.",
    "The character \">\" was expected.",
    "Invalid character found in DTD.",
    "An invalid character was found inside a DTD declaration.",
    "A semi colon character was expected.",
    "An invalid character was found inside an entity reference.",
    "Unbalanced parentheses.",
    "An opening \"[\" character was expected.",
    "Invalid syntax in a conditional section.",
    "Internal error: %s",
    "Whitespace is not allowed at this location.",
    "End of file reached in invalid state for current encoding.",
    "Mixed content model cannot contain this character.",
    "Mixed content model must be defined as zero or more(\"*\").",
    "Invalid character in content model.",
    "Missing parenthesis.",
    "Invalid character found in ATTLIST enumeration.",
    "Invalid syntax in processing instruction declaration.",
    "A single or double closing quote character (' or \") is missing.",
    "Multiple colons are not allowed in a name.",
    "Invalid character for decimal digit.",
    "Invalid character for hexadecimal digit.",
    "Invalid Unicode character value for this platform.",
    "Expecting white space or \"?\".",
    "The parser is suspended.",
    "The parser is stopped.",
    "End tag was not expected at this location.",
    "The following tags were not closed: %s.",
    "Duplicate attribute.",
    "Only one top level element is allowed in an XML document.",
    "Invalid character at the top level of the document.",
    "Invalid XML declaration.",
    "XML document must have a top level element.",
    "Unexpected end of file.",
    "Parameter entities cannot be used inside markup declarations in an internal subset.",
    "The replacement text for a parameter entity must be properly nested with parenthesized groups.",
    "The literal string \"]]>\" is not allowed in element content.",
    "Processing instruction was not closed.",
    "Element was not closed.",
    "End element was missing the character \">\".",
    "A string literal was not closed.",
    "A comment was not closed.",
    "A declaration was not closed.",
    "A markup declaration was not closed.",
    "A CDATA section was not closed.",
    "Declaration has an invalid name.",
    "External ID is invalid.",
    "An XML element is not allowed inside a DTD.",
    "The namespace prefix is not allowed to start with the reserved string \"xml\".",
    "The version attribute is required at this location.",
    "The encoding attribute is required at this location.",
    "At least one name is required at this location.",
    "The specified attribute was not expected at this location. The attribute may be case-sensitive.",
    "End tag %s does not match the start tag %s.",
    "System does not support the specified encoding.",
    "Switch from current encoding to specified encoding not supported.",
    "NDATA keyword is missing.",
    "Content model is invalid.",
    "Invalid type defined in ATTLIST.",
    "XML space attribute has invalid value. Must specify \"default\" or \"preserve\".",
    "Multiple names found in attribute value when only one was expected.",
    "Invalid ATTDEF declaration. Expected #REQUIRED, #IMPLIED, or #FIXED.",
    "The name \"xml\" is reserved and must be lowercase.",
    "Conditional sections are not allowed in an internal subset.",
    "CDATA is not allowed in a DTD.",
    "The standalone attribute must have the value \"yes\" or \"no\".",
    "The standalone attribute cannot be used in external entities.",
    "Cannot have a DOCTYPE declaration in a DTD.",
    "Reference to an undefined entity.",
    "Entity reference is resolved to an invalid name character.",
    "Cannot have a DOCTYPE declaration outside of a prolog.",
    "Invalid version number.",
    "Cannot have a DTD declaration outside of a DTD.",
    "Cannot have multiple DOCTYPE declarations.",
    "Error processing resource %s.",
    "This operation can not be performed with a Node of type %s.",
    "Error opening input file: '%s'.",
    "Reference to undefined entity %s.",
    "Entity %s contains an infinite entity reference loop.",
    "Cannot use the NDATA keyword in a parameter entity declaration.",
    "Cannot use a general parsed entity '%s' as the value for attribute '%s'.",
    "Cannot use unparsed entity %s in an entity reference.",
    "Cannot reference an external general parsed entity %s in an attribute value.",
    "XML parser stopped by user.",
    "Error while parsing entity %s. %s.",
    "Parameter entity must be defined before it is used.",
    "The same name must not appear more than once in a single mixed-content declaration: %s.",
    "Entity, EntityRef, PI, Notation names, or NMToken cannot contain a colon.",
    "The element %s is used but not declared in the DTD/Schema.",
    "The attribute %s references the ID %s, which is not defined anywhere in the document.",
    "Error in the default attribute value defined in DTD/Schema.",
    "Reserved namespace \"%s\" cannot be redeclared.",
    "Element cannot be empty according to the DTD/Schema.",
    "Element content is incomplete according to the DTD/Schema.",
    "The name of the top-most element must match the name of the DOCTYPE declaration.",
    "Element content is invalid according to the DTD/Schema.",
    "The attribute %s on this element is not defined in the DTD/Schema.",
    "Attribute %s has a value which does not match the fixed value defined in the DTD/Schema.",
    "Attribute %s has an invalid value according to the DTD/Schema.",
    "Text is not allowed in this element according to the DTD/Schema.",
    "An attribute declaration cannot contain multiple fixed values: \"%s\".",
    "The notation %s is already declared.",
    "The element %s is already declared.",
    "Reference to undeclared element: %s.",
    "Reference to undeclared namespace prefix: %s.",
    "Attribute %s must be a #FIXED attribute.",
    "Unknown error: %s.",
    "Required attribute %s is missing.",
    "Declaration %s contains a reference to undefined notation %s.",
    "Cannot define multiple ID attributes on the same element.",
    "An attribute of type ID must have a declared default of #IMPLIED or #REQUIRED.",
    "The language ID %s is invalid.",
    "The public ID %s is invalid.",
    "Expecting: %s.",
    "Only a default namespace can have an empty URI.",
    "Could not load %s.",
    "Unable to save character to %s encoding.",
};

constexpr const char* kDOMTexts[10] = {
    "Index or size is negative, or greater than the allowed value",
    "The specified range of text does not fit into a WideString",
    "Any node is inserted somewhere it doesn't belong",
    "A node is used in a different document than the one that created it (that doesn't support it)",
    "An invalid character is specified, such as in a name",
    "Data is specified for a node which does not support data",
    "An attempt is made to modify an object where modifications are not allowed",
    "An attempt was made to reference a node in a context where it does not exist",
    "The implementation does not support the type of object requested",
    "An attempt is made to add an attribute that is already inuse elsewhere",
};

constexpr const char* kNodeTypeNames[12] = {"ELEMENT",
                                            "ATTRIBUTE",
                                            "TEXT",
                                            "CDATA_SECTION",
                                            "ENTITY_REFERENCE",
                                            "ENTITY_NODE",
                                            "PROCESSING_INSTRUCTION",
                                            "COMMENT",
                                            "DOCUMENT",
                                            "DOCUMENT_TYPE",
                                            "DOCUMENT_FRAGMENT",
                                            "NOTATION"};

std::string FormatMessage(TXMLErrorCode xmlCode, std::initializer_list<std::string> args) {
  const char* tmpl = XMLMessageTemplate(xmlCode);
  std::vector<base::TFormatArg> list;
  for (const std::string& a : args) list.emplace_back(a);
  try {
    return base::FormatArgs(tmpl, list);
  } catch (const base::EConvertError&) {
    return tmpl;  // fewer arguments than the template names: the template itself
  }
}

}  // namespace

const char* XMLMessageTemplate(int32_t xmlCode) {
  return xmlCode >= 0 && xmlCode < kXMLMessageCount ? kMessages[xmlCode] : "";
}

const char* DOMCodeText(int32_t domCode) { return domCode >= 1 && domCode <= 10 ? kDOMTexts[domCode - 1] : ""; }

const char* NodeTypeName(int32_t nodeType) {
  return nodeType >= 1 && nodeType <= 12 ? kNodeTypeNames[nodeType - 1] : "";
}

EXMLException::EXMLException(TDOMErrorCode domCode, TXMLErrorCode xmlCode, std::initializer_list<std::string> args)
    : Exception(FormatMessage(xmlCode, args)), FDOMCode(domCode), FXMLCode(xmlCode) {}

void RaiseNotImplemented(const char* operation) { throw EXMLAssertionFailed(std::string("NYI - ") + operation); }

std::string MessageArg(std::u16string_view text) { return base::WideToAnsi(text); }

}  // namespace xml
