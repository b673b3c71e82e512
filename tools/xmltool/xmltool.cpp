// xmltool: the product's XML parser, writer and path subset on the command line.
//   xmltool check FILE [--strict]      exit 0, or 1 with "line:column: message"
//   xmltool format FILE [--compact|--indent|--ugly] [--encoding NAME] [--strict]
//                                      the document as the writer writes it, to stdout
//   xmltool query FILE XPATH           one matched node a line: an element as XML, an
//                                      attribute or text as its value (UTF-8)
// --strict reads with XML 1.0 well-formedness (internal DTD subset and entities included);
// without it the product's lenient reader takes what it can. FILE may be a pipe.
// Exit codes: 0 success, 1 a parse error (or no match for query), 2 usage or file errors.
#include <cstdio>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "base/Stream.h"
#include "base/Strings.h"
#include "platform/Process.h"
#include "xml/XMLDocument.h"
#include "xml/XMLException.h"
#include "xml/XMLLookupTables.h"

using namespace xml;

namespace {

const char kUsage[] =
    "usage: xmltool check FILE [--strict]\n"
    "       xmltool format FILE [--compact|--indent|--ugly] [--encoding NAME] [--strict]\n"
    "       xmltool query FILE XPATH\n";

// Arguments arrive as UTF-8 (natively) or in the system code page (Windows).
std::u16string Arg(const char* s) {
  std::string a(s);
  std::u16string wide = base::Utf8ToWide(a);
  if (base::WideToUtf8(wide) == a) return wide;
  return base::AnsiToWide(a);
}

void WriteOut(const std::string& bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stdout); }

// Loads FILE; prints the first error and answers false when it does not parse.
bool Load(TXMLDocument& doc, const char* file) {
  try {
    if (doc.LoadFromFile(Arg(file))) return true;
    TIntf<IXMLParseError> error = doc.GetParseError();
    std::fprintf(stderr, "%d:%d: %s\n", error->GetLineNumber(), error->GetColumn(), doc.ParseError().Message().c_str());
  } catch (const EXMLInvalidNode& e) {
    std::fprintf(stderr, "%s\n", e.what());
  }
  return false;
}

int Format(TXMLDocument& doc, const std::vector<std::string>& options) {
  uint8_t format = FormatIndented;
  for (size_t i = 0; i < options.size(); ++i) {
    const std::string& o = options[i];
    if (o == "--compact") {
      format = FormatCompact;
    } else if (o == "--indent") {
      format = FormatIndented;
    } else if (o == "--ugly") {
      format = FormatLineBreaks;
    } else if (o == "--strict") {
      // taken before the load
    } else if (o == "--encoding" && i + 1 < options.size()) {
      std::u16string name = Arg(options[++i].c_str());
      uint16_t codePage = 0;
      if (!LookupCodePage(name, codePage) || !CanConvertCodePage(codePage)) {
        std::fprintf(stderr, "xmltool: unknown encoding %s\n", options[i].c_str());
        return 2;
      }
      doc.SetEncoding(name);
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  base::TStringStream out;
  doc.Save(&out, format, 65001);
  WriteOut(out.DataString());
  return 0;
}

int Query(TXMLDocument& doc, const char* expression) {
  TIntf<IXMLNodeList> nodes = doc.GetDocumentElement()->SelectNodeList(Arg(expression));
  for (int32_t i = 0; i < nodes->GetLength(); ++i) {
    TIntf<IXMLNode> node = nodes->GetItem(i);
    std::u16string text = node->GetNodeType() == ELEMENT_NODE ? node->GetMarkup() : node->GetNodeValue();
    WriteOut(base::WideToUtf8(text) + "\n");
  }
  return nodes->GetLength() > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  platform::SetStdOutBinary();
  std::vector<std::string> args(argv + 1, argv + argc);
  bool strict = false;
  if (!args.empty() && args[0] != "query") {
    for (size_t i = 2; i < args.size(); ++i)
      if (args[i] == "--strict") strict = true;
  }
  if (args.size() < 2 || (args[0] == "check" && args.size() != (strict ? 3u : 2u)) ||
      (args[0] == "query" && args.size() != 3) || (args[0] != "check" && args[0] != "format" && args[0] != "query")) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  try {
    TIntf<TXMLDocument> doc(new TXMLDocument);
    doc->SetStrict(strict);
    if (!Load(*doc, args[1].c_str())) return 1;
    if (args[0] == "check") return 0;
    if (args[0] == "format") return Format(*doc, std::vector<std::string>(args.begin() + 2, args.end()));
    return Query(*doc, args[2].c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "xmltool: %s\n", e.what());
    return 2;
  }
}
