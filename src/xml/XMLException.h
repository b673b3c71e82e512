// EXMLException: every error of the XML subsystem. It carries a DOM code (the W3C DOM
// Level 1 exception codes: 3 hierarchy request, 5 invalid character, used for every
// syntax error, 7 no modification allowed, 8 not found) and an XML code that indexes the
// message table below; plain-message errors have both codes 0.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "base/Exceptions.h"
#include "base/Strings.h"

namespace xml {

constexpr int32_t kXMLMessageCount = 131;

// The message template of an XML code ("%s" placeholders), empty outside 0..130.
const char* XMLMessageTemplate(int32_t xmlCode);
// The text of a DOM code 1..10, empty otherwise.
const char* DOMCodeText(int32_t domCode);
// "ELEMENT", "ATTRIBUTE", ... for node types 1..12, empty otherwise.
const char* NodeTypeName(int32_t nodeType);

class EXMLException : public base::Exception {
 public:
  // The XML code's template filled with args (8-bit texts in the system code page).
  EXMLException(int32_t domCode, int32_t xmlCode, std::initializer_list<std::string> args = {});
  // A plain message; both codes 0.
  explicit EXMLException(std::string message) : Exception(std::move(message)) {}

  // The codes with a message of the caller's (one that names what the template cannot).
  static EXMLException Formatted(int32_t domCode, int32_t xmlCode, std::string message) {
    EXMLException e(std::move(message));
    e.FDOMCode = domCode;
    e.FXMLCode = xmlCode;
    return e;
  }

  int32_t DOMCode() const { return FDOMCode; }
  int32_t XMLCode() const { return FXMLCode; }

 private:
  int32_t FDOMCode = 0;
  int32_t FXMLCode = 0;
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
