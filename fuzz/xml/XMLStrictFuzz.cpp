// Loads arbitrary bytes strictly (the first byte picks the code page the caller asks for
// and the white-space setting): no overrun, no stack exhaustion, no leak, entity
// expansion within its caps; and what the writer makes of a well-formed document is
// well-formed again and stable after one round.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/Exceptions.h"
#include "base/Stream.h"
#include "xml/XMLDocument.h"
#include "xml/XMLException.h"
#include "xml/XMLNodes.h"

using namespace xml;

namespace {

std::string Write(TXMLDocument& doc) {
  base::TStringStream out;
  doc.Save(&out, FormatCompact, 65001);
  return out.DataString();
}

bool ReadStrictly(TXMLDocument& doc, const std::string& bytes, uint16_t codePage) {
  doc.SetStrict(true);
  base::TStringStream in(bytes);
  bool ok = doc.Load(&in, codePage);
  if (!ok) {
    TIntf<IXMLParseError> error = doc.GetParseError();
    if (error->GetLineNumber() < 1 || error->GetColumn() < 0 || error->GetCode() <= xeNone) std::abort();
  }
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const uint16_t kCodePages[] = {65001, 1252, 1200, 28591};
  uint16_t codePage = kCodePages[data[0] % 4];
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  TIntf<TXMLDocument> doc(new TXMLDocument);
  doc->SetKeepWhiteSpace((data[0] & 0x80) == 0);
  if (!ReadStrictly(*doc, bytes, codePage)) return 0;
  // A declared 8-bit code page replaces what it cannot hold in names, comments and
  // instructions: no round trip then.
  uint16_t declared = 0;
  TIntf<IXMLProcessingInstruction> decl = Supports<IXMLProcessingInstruction>(doc->GetFirstChild());
  if (DetectDeclaredCodePage(decl.Get(), declared) && declared != 65001 && declared != 1200) {
    (void)Write(*doc);
    return 0;
  }
  std::string first = Write(*doc);
  TIntf<TXMLDocument> again(new TXMLDocument), third(new TXMLDocument);
  again->SetKeepWhiteSpace(doc->GetKeepWhiteSpace());
  third->SetKeepWhiteSpace(doc->GetKeepWhiteSpace());
  if (!ReadStrictly(*again, first, 65001)) std::abort();  // the writer writes well-formed XML
  std::string second = Write(*again);
  if (!ReadStrictly(*third, second, 65001)) std::abort();
  if (Write(*third) != second) std::abort();
  return 0;
}
