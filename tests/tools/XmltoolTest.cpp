// xmltool's three commands in-process: the bytes they write and their exit codes.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/Strings.h"
#include "cli/CommandLine.h"
#include "support/TempDir.h"
#include "xmltool/Xmltool.h"

namespace {

const std::string kDecl = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

TEST(Xmltool, CommandsWriteTheseBytes) {
  testsupport::TempDir dir;
  const struct {
    const char* Name;
    std::string Content;
  } files[] = {
      {"good.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a x=\"1\"><b>t&amp;</b><c/></a>\n"},
      {"bad.xml", "<a>\n  <b x=1/>\n</a>\n"},
      {"mismatch.xml", "<a><b></c></a>"},
      {"invalid.xml", "<!x-y>"},
      {"sjis.xml", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r>\x93\xfa</r>"},
      {"unknown.xml", "<?xml version=\"1.0\" encoding=\"x-frob\"?><r/>"},
      {"dtd.xml", "<!DOCTYPE r [<!ENTITY e 'x<b>y</b>'>]><r a='1&#9;'>&e;</r>"},
      {"unclosed.xml", "<a><b/>"},
  };
  for (const auto& f : files) testsupport::WriteFile(dir / f.Name, f.Content);

  const struct {
    std::vector<std::string> Args;  // the file first after the command is in the test's folder
    int Exit;
    std::string Out;
    std::string Err;
  } cases[] = {
      {{"check", "good.xml"}, cli::kExitOk, "", ""},
      {{"check", "bad.xml"},
       cli::kExitFailed,
       "",
       "2:8: A string literal was expected, but no opening quote character was found.\n"},
      {{"check", "mismatch.xml"}, cli::kExitFailed, "", "1:10: End tag c does not match the start tag b.\n"},
      {{"check", "invalid.xml"}, cli::kExitFailed, "", "Invalid node \n"},
      {{"check", "unknown.xml"},
       cli::kExitFailed,
       "",
       "1:39: System does not support the specified encoding: x-frob.\n"},
      {{"format", "good.xml"}, cli::kExitOk, kDecl + "\r\n<a x=\"1\">\r\n  <b>t&amp;</b>\r\n  <c />\r\n</a>", ""},
      {{"format", "good.xml", "--compact", "--indent"},
       cli::kExitOk,
       kDecl + "\r\n<a x=\"1\">\r\n  <b>t&amp;</b>\r\n  <c />\r\n</a>",
       ""},
      {{"format", "good.xml", "--ugly"}, cli::kExitOk, kDecl + "\r\n<a x=\"1\">\r\n<b>t&amp;</b>\r\n<c/>\r\n</a>", ""},
      {{"format", "good.xml", "--compact"}, cli::kExitOk, kDecl + "<a x=\"1\"><b>t&amp;</b><c/></a>", ""},
      {{"format", "good.xml", "--compact", "--encoding", "windows-1252"},
       cli::kExitOk,
       "<?xml version=\"1.0\" encoding=\"windows-1252\"?><a x=\"1\"><b>t&amp;</b><c/></a>",
       ""},
      {{"format", "bad.xml"},
       cli::kExitFailed,
       "",
       "2:8: A string literal was expected, but no opening quote character was found.\n"},
      {{"format", "bad.xml", "--pretty"}, cli::kExitUsage, "", ""},  // the command line first
      {{"format", "sjis.xml", "--compact"},
       cli::kExitOk,
       "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><r>\x93\xfa</r>",
       ""},
      // Strict reading: what the lenient reader takes, refused with the reason; entities
      // of the internal subset expanded.
      {{"check", "dtd.xml", "--strict"}, cli::kExitOk, "", ""},
      {{"format", "dtd.xml", "--compact", "--strict"},
       cli::kExitOk,
       "\xEF\xBB\xBF<!DOCTYPE r [<!ENTITY e 'x<b>y</b>'>]><r a=\"1&#9;\">x<b>y</b></r>",
       ""},
      {{"check", "mismatch.xml", "--strict"}, cli::kExitFailed, "", "1:9: End tag c does not match the start tag b.\n"},
      {{"check", "unclosed.xml"}, cli::kExitOk, "", ""},
      {{"check", "--strict", "unclosed.xml"}, cli::kExitFailed, "", "1:7: Element was not closed.\n"},
      {{"query", "good.xml", "b"}, cli::kExitOk, "<b>t&amp;</b>\n", ""},
      {{"query", "good.xml", "/b"}, cli::kExitOk, "<b>t&amp;</b>\n", ""},
      {{"query", "good.xml", "*"}, cli::kExitOk, "<b>t&amp;</b>\n<c/>\n", ""},
      {{"query", "good.xml", "b/*"}, cli::kExitOk, "t&\n", ""},
      {{"query", "good.xml", "//a@x"}, cli::kExitFailed, "", ""},
  };
  for (const auto& c : cases) {
    std::vector<std::u16string> args;
    std::string shown;
    for (const std::string& a : c.Args) {
      bool isFile = a.size() > 4 && a.substr(a.size() - 4) == ".xml";
      args.push_back(base::Utf8ToWide(isFile ? dir / a : a));
      shown += a + " ";
    }
    SCOPED_TRACE(shown);
    std::ostringstream out, err;
    EXPECT_EQ(xmltool::Run(args, out, err), c.Exit);
    EXPECT_EQ(out.str(), c.Out);
    if (c.Exit != cli::kExitUsage) {
      EXPECT_EQ(err.str(), c.Err);
    }
  }
}

}  // namespace
