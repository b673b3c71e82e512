#include "xmltool/Xmltool.h"

#include <exception>

#include "base/Exceptions.h"
#include "base/Stream.h"
#include "base/Strings.h"
#include "cli/CommandLine.h"
#include "xml/XMLDocument.h"
#include "xml/XMLException.h"
#include "xml/XMLLookupTables.h"

namespace xmltool {
namespace {

using namespace xml;

const char kUsage[] =
    "usage: xmltool check FILE [--strict]\n"
    "       xmltool format FILE [--compact|--indent|--ugly] [--encoding NAME] [--strict]\n"
    "       xmltool query FILE XPATH\n";

const cli::TOption kOptions[] = {{"--strict"}, {"--compact"}, {"--indent"}, {"--ugly"}, {"--encoding", "a name"}};

// What a command takes: its arguments after the command, and which options.
struct TCommand {
  const char* Name;
  size_t Arguments;
  bool FormatOptions;
  bool Strict;
};
const TCommand kCommands[] = {{"check", 1, false, true}, {"format", 1, true, true}, {"query", 2, false, false}};

bool Fits(const TCommand& c, const cli::TCommandLine<std::u16string>& line) {
  if (line.Positional.size() != c.Arguments + 1) return false;
  for (const auto& given : line.Given)
    if (given.first == "--strict" ? !c.Strict : !c.FormatOptions) return false;
  return true;
}

// Loads FILE; writes the first error and answers false when it does not parse.
bool Load(TXMLDocument& doc, const std::u16string& file, std::ostream& err) {
  try {
    if (doc.LoadFromFile(file)) return true;
    TIntf<IXMLParseError> error = doc.GetParseError();
    err << error->GetLineNumber() << ":" << error->GetColumn() << ": " << doc.ParseError().Message() << "\n";
  } catch (const EXMLInvalidNode& e) {
    err << e.what() << "\n";
  }
  return false;
}

void WriteOut(std::ostream& out, const std::string& bytes) {
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int Format(TXMLDocument& doc, const cli::TCommandLine<std::u16string>& line, std::ostream& out) {
  uint8_t format = FormatIndented;
  for (const auto& [name, value] : line.Given) {
    if (name == "--compact") format = FormatCompact;
    if (name == "--indent") format = FormatIndented;
    if (name == "--ugly") format = FormatLineBreaks;
    if (name == "--encoding") doc.SetEncoding(value);
  }
  base::TStringStream text;
  doc.Save(&text, format, 65001);
  WriteOut(out, text.DataString());
  return cli::kExitOk;
}

int Query(TXMLDocument& doc, const std::u16string& expression, std::ostream& out) {
  TIntf<IXMLNodeList> nodes = doc.GetDocumentElement()->SelectNodeList(expression);
  for (int32_t i = 0; i < nodes->GetLength(); ++i) {
    TIntf<IXMLNode> node = nodes->GetItem(i);
    std::u16string text = node->GetNodeType() == ELEMENT_NODE ? node->GetMarkup() : node->GetNodeValue();
    WriteOut(out, base::WideToUtf8(text) + "\n");
  }
  return nodes->GetLength() > 0 ? cli::kExitOk : cli::kExitFailed;
}

}  // namespace

int Run(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err) {
  cli::TCommandLine<std::u16string> line = cli::ParseCommandLine(args, kOptions);
  if (cli::ShowHelp(line, kUsage, out)) return cli::kExitOk;
  const TCommand* command = nullptr;
  for (const TCommand& c : kCommands)
    if (!line.Positional.empty() && cli::Utf8(line.Positional[0]) == c.Name) command = &c;
  if (!line.Error.empty() || !command || !Fits(*command, line)) return cli::UsageError(err, "xmltool", "", kUsage);
  // An encoding the writer cannot write is a wrong command line, found before the load.
  for (const std::u16string& name : line.All("--encoding")) {
    uint16_t codePage = 0;
    if (!LookupCodePage(name, codePage) || !CanConvertCodePage(codePage)) {
      err << "xmltool: unknown encoding " << cli::Utf8(name) << "\n";
      return cli::kExitUsage;
    }
  }
  try {
    TIntf<TXMLDocument> doc(new TXMLDocument);
    doc->SetStrict(line.Has("--strict"));
    if (!Load(*doc, line.Positional[1], err)) return cli::kExitFailed;
    if (command->Name == std::string_view("format")) return Format(*doc, line, out);
    if (command->Name == std::string_view("query")) return Query(*doc, line.Positional[2], out);
    return cli::kExitOk;
  } catch (const std::exception& e) {
    err << "xmltool: " << e.what() << "\n";
    return cli::kExitFailed;
  }
}

}  // namespace xmltool
