// EXMLException: every error of the XML subsystem. It carries a DOM code (the W3C DOM
// Level 1 exception codes; the reader uses INVALID_CHARACTER_ERR for every syntax error)
// and an XML code that indexes the message table below; plain-message errors have both
// codes 0. Both codes are part of what callers see (a parse error reports the XML
// code), so the numbers of the names below never change.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "base/Exceptions.h"
#include "base/Strings.h"

namespace xml {

constexpr int32_t kXMLMessageCount = 131;

// The DOM codes (DOMCodeText gives their texts).
enum TDOMErrorCode : int32_t {
  NO_DOM_ERR = 0,  // a plain-message error
  INDEX_SIZE_ERR = 1,
  DOMSTRING_SIZE_ERR = 2,
  HIERARCHY_REQUEST_ERR = 3,
  WRONG_DOCUMENT_ERR = 4,
  INVALID_CHARACTER_ERR = 5,
  NO_DATA_ALLOWED_ERR = 6,
  NO_MODIFICATION_ALLOWED_ERR = 7,
  NOT_FOUND_ERR = 8,
  NOT_SUPPORTED_ERR = 9,
  INUSE_ATTRIBUTE_ERR = 10,
};

// The XML codes the subsystem raises, each at its index in the message table (the
// table holds more templates than are named here; only these are ever raised).
enum TXMLErrorCode : int32_t {
  xeNone = 0,  // "%s": the message is the argument, nothing more specific
  xeMissingEquals = 4,
  xeQuoteExpected = 7,
  xeCommentSyntax = 8,
  xeBadNameStart = 9,
  xeBadNameChar = 10,
  xeLessThanInAttribute = 11,
  xeXMLDeclSyntax = 12,
  xeBadTextChar = 13,
  xeWhiteSpaceMissing = 14,
  xeGreaterThanExpected = 15,
  xeBadDTDChar = 16,
  xeBadDeclarationChar = 17,
  xeSemicolonExpected = 18,
  xeBadEntityRefChar = 19,
  xeInternal = 23,
  xeWhiteSpaceNotAllowed = 24,
  xeBadEncoding = 25,
  xeMixedContentChar = 26,
  xeMixedContentNotStarred = 27,
  xeBadContentModelChar = 28,
  xeParenthesisMissing = 29,
  xeBadEnumerationChar = 30,
  xePISyntax = 31,
  xeBadDecimalDigit = 34,
  xeBadHexDigit = 35,
  xeBadCharValue = 36,
  xeDuplicateAttribute = 42,
  xeMultipleRoots = 43,
  xeBadTopLevelChar = 44,
  xeBadXMLDecl = 45,
  xeNoRoot = 46,
  xeParameterEntityInMarkup = 48,
  xeCDATAEndInContent = 50,
  xePIUnclosed = 51,
  xeElementUnclosed = 52,
  xeEndTagUnclosed = 53,
  xeLiteralUnclosed = 54,
  xeCommentUnclosed = 55,
  xeDeclarationUnclosed = 56,
  xeMarkupDeclUnclosed = 57,
  xeCDATAUnclosed = 58,
  xeBadExternalID = 60,
  xeElementInDTD = 61,
  xeVersionRequired = 63,
  xeEndTagMismatch = 67,
  xeEncodingUnsupported = 68,
  xeBadContentModel = 71,
  xeBadAttlistType = 72,
  xeBadAttDef = 75,
  xeReservedNameCase = 76,
  xeConditionalInSubset = 77,
  xeBadStandalone = 79,
  xeBadVersion = 85,
  xeMultipleDoctypes = 87,
  xeWrongNodeType = 89,
  xeUndefinedEntity = 91,
  xeEntityLoop = 92,
  xeNDATAInParameterEntity = 93,
  xeUnparsedEntityReference = 95,
  xeExternalEntityInAttribute = 96,
  xeEntityError = 98,
  xeDuplicateMixedName = 100,
  xeBadPublicID = 126,
};

// The message template of an XML code ("%s" placeholders), empty outside 0..130.
const char* XMLMessageTemplate(int32_t xmlCode);
// The text of a DOM code 1..10, empty otherwise.
const char* DOMCodeText(int32_t domCode);
// "ELEMENT", "ATTRIBUTE", ... for node types 1..12, empty otherwise.
const char* NodeTypeName(int32_t nodeType);

class EXMLException : public base::Exception {
 public:
  // The XML code's template filled with args (8-bit texts in the system code page).
  EXMLException(TDOMErrorCode domCode, TXMLErrorCode xmlCode, std::initializer_list<std::string> args = {});
  // A plain message; both codes 0.
  explicit EXMLException(std::string message) : Exception(std::move(message)) {}

  // The codes with a message of the caller's (one that names what the template cannot).
  static EXMLException Formatted(TDOMErrorCode domCode, TXMLErrorCode xmlCode, std::string message) {
    EXMLException e(std::move(message));
    e.FDOMCode = domCode;
    e.FXMLCode = xmlCode;
    return e;
  }

  TDOMErrorCode DOMCode() const { return FDOMCode; }
  TXMLErrorCode XMLCode() const { return FXMLCode; }

 private:
  TDOMErrorCode FDOMCode = NO_DOM_ERR;
  TXMLErrorCode FXMLCode = xeNone;
};

// An operation of the node model that is not provided ("NYI - <operation>").
using base::Exception;
BASE_DECLARE_EXCEPTION(EXMLAssertionFailed, Exception);
// A construct after "<!" that the reader does not know ("Invalid node %s"); it is not an
// EXMLException, so Load lets it pass to the caller.
BASE_DECLARE_EXCEPTION(EXMLInvalidNode, Exception);

[[noreturn]] void RaiseNotImplemented(const char* operation);
// An argument for a message: UTF-16 text in the system code page.
std::string MessageArg(std::u16string_view text);

}  // namespace xml
