// Every tool's command line, in-process: --help prints the usage to standard output and
// exits 0; a wrong command line exits 2 with the reason; work that cannot be done exits
// 1; options take their values either way (--to 1200, --to=1200).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "ToolRegistry.h"
#include "base/Stream.h"
#include "base/Strings.h"
#include "cli/CommandLine.h"
#include "support/TempDir.h"

namespace {

struct TCase {
  const char* Tool;
  std::vector<std::string> Args;  // UTF-8; "@name" is name in the test's folder
  int Exit;
  const char* Out;  // a piece of standard output, or nullptr: nothing written there
  const char* Err;  // a piece of standard error, or nullptr: nothing written there
};

const TCase kCases[] = {
    // Help on standard output, for every tool, and nothing else.
    {"httpget", {"--help"}, cli::kExitOk, "usage: httpget URL FILE", nullptr},
    {"imgconv", {"--help"}, cli::kExitOk, "usage: imgconv IN OUT", nullptr},
    {"skinview", {"-h"}, cli::kExitOk, "usage: skinview SKINFOLDER", nullptr},
    {"textconv", {"@in.txt", "--help"}, cli::kExitOk, "2 wrong command line", nullptr},
    {"vtzip", {"list", "-h"}, cli::kExitOk, "Usage: vtzip <command>", nullptr},
    {"xmltool", {"--help"}, cli::kExitOk, "usage: xmltool check FILE", nullptr},
    // A mistake before --help is reported as the mistake.
    {"textconv", {"--frob", "--help"}, cli::kExitUsage, nullptr, "textconv: unknown option --frob\nusage:"},
    // Wrong command lines: 2, the reason and (where the tool shows it) the usage.
    {"httpget", {}, cli::kExitUsage, nullptr, "usage: httpget"},
    {"httpget", {"a", "b", "c"}, cli::kExitUsage, nullptr, "httpget: too many arguments\nusage:"},
    {"httpget", {"http://127.0.0.1:9/", "@x", "--timeout"}, cli::kExitUsage, nullptr, "--timeout needs a value"},
    {"httpget", {"http://127.0.0.1:9/", "@x", "--timeout=0"}, cli::kExitUsage, nullptr, "usage: httpget"},
    {"httpget", {"http://127.0.0.1:9/", "@x", "--quiet=1"}, cli::kExitUsage, nullptr, "unknown option --quiet=1"},
    {"httpget", {"u", "@x", "--if-modified-since", "today"}, cli::kExitUsage, nullptr, "not an HTTP date: today"},
    {"httpget", {"u", "@x", "--proxy", "ftp://h:1"}, cli::kExitUsage, nullptr, "--proxy takes http://HOST:PORT"},
    {"imgconv", {"@a.png"}, cli::kExitUsage, nullptr, "usage: imgconv"},
    {"imgconv", {"@a.png", "@b.gif", "--colors=300"}, cli::kExitUsage, nullptr, "--colors must be 2..255, not '300'"},
    {"imgconv", {"@a.png", "@b.gif", "--quality"}, cli::kExitUsage, nullptr, "imgconv: --quality needs a number"},
    {"imgconv", {"@a.png", "@b.bmpx"}, cli::kExitUsage, nullptr, "unknown output type '.bmpx'"},
    {"skinview", {"a"}, cli::kExitUsage, nullptr, "skinview: two file names are needed\nusage:"},
    {"skinview", {"a", "b.png", "--size", "0x5"}, cli::kExitUsage, nullptr, "--size must be WxH"},
    {"skinview", {"a", "b.png", "--bogus"}, cli::kExitUsage, nullptr, "skinview: unknown option --bogus"},
    {"textconv", {"@in.txt"}, cli::kExitUsage, nullptr, "usage: textconv"},
    {"textconv", {"@in.txt", "@out.txt", "--to"}, cli::kExitUsage, nullptr, "textconv: --to needs a code page"},
    {"textconv", {"@in.txt", "@out.txt", "--to=x"}, cli::kExitUsage, nullptr, "--to: not a code page number: x"},
    {"textconv", {"@in.txt", "@out.txt", "--bom=1"}, cli::kExitUsage, nullptr, "unknown option --bom=1"},
    {"textconv", {"@in.txt", "@out.txt", "--"}, cli::kExitUsage, nullptr, "unknown option --\n"},
    {"vtzip", {}, cli::kExitUsage, nullptr, "vtzip: no command given\n\nUsage:"},
    {"vtzip", {"list", "-x"}, cli::kExitUsage, nullptr, "vtzip: unknown option -x"},
    {"vtzip", {"pack", "@d", "@p", "--level=x"}, cli::kExitUsage, nullptr, "--level needs a value from 0 to 9, not"},
    {"vtzip", {"sign", "@c", "@p", "--delta", "x"}, cli::kExitUsage, nullptr, "--delta needs BASEVERSION=FILE"},
    {"vtzip", {"list", "@p", "--level", "9"}, cli::kExitUsage, nullptr, "--level belongs to pack and delta"},
    {"xmltool", {}, cli::kExitUsage, nullptr, "usage: xmltool"},
    {"xmltool", {"frob", "@good.xml"}, cli::kExitUsage, nullptr, "usage: xmltool"},
    {"xmltool", {"check", "@good.xml", "--compact"}, cli::kExitUsage, nullptr, "usage: xmltool"},
    {"xmltool", {"query", "@good.xml", "a", "--strict"}, cli::kExitUsage, nullptr, "usage: xmltool"},
    {"xmltool", {"format", "@good.xml", "--encoding=ucs-2"}, cli::kExitUsage, nullptr, "unknown encoding ucs-2"},
    // Work that cannot be done: 1 and the reason.
    {"httpget", {"http://127.0.0.1:9/", "@no-folder/x"}, cli::kExitFailed, nullptr, "httpget: "},
    {"imgconv", {"@missing.png", "@x.png"}, cli::kExitFailed, nullptr, "imgconv: cannot read"},
    {"textconv", {"@missing.txt", "@out.txt"}, cli::kExitFailed, nullptr, "textconv: Cannot open file"},
    {"textconv", {"@in.txt", "@no-folder/x.txt"}, cli::kExitFailed, nullptr, "textconv: Cannot create file"},
    {"textconv", {"@in.txt", "@out.txt", "--from", "12345"}, cli::kExitFailed, nullptr, "code page 12345 cannot be"},
    {"vtzip", {"list", "@missing.vtzip"}, cli::kExitFailed, nullptr, "missing.vtzip: no such file"},
    {"xmltool", {"check", "@missing.xml"}, cli::kExitFailed, nullptr, "xmltool: "},
    {"xmltool", {"query", "@good.xml", "zz"}, cli::kExitFailed, nullptr, nullptr},
    // Done, with values joined to their options, and names outside any 8-bit code page.
    {"textconv", {"@in.txt", "@out.txt", "--from=1252", "--to=1200"}, cli::kExitOk, nullptr, nullptr},
    {"textconv", {"@Größe-日本.txt", "@вывод-한국.txt", "--to", "1201"}, cli::kExitOk, nullptr, nullptr},
    {"xmltool", {"check", "@good.xml", "--strict"}, cli::kExitOk, nullptr, nullptr},
};

std::u16string Arg(const testsupport::TempDir& dir, const std::string& a) {
  return base::Utf8ToWide(a.rfind('@', 0) == 0 ? dir.Path() + a.substr(1) : a);
}

TEST(ToolCommandLines, HelpUsageAndExitCodes) {
  testsupport::TempDir dir;
  testsupport::WriteFile(dir / "in.txt", "caf\xE9\r\n");
  testsupport::WriteFile(dir / "good.xml", "<a x=\"1\"><b/></a>");
  {
    // Made through the wide name: the 8-bit helpers cannot name it on Windows.
    base::TFileStream named(Arg(dir, "@Größe-日本.txt"), base::fmCreate);
    named.WriteBuffer("\xEF\xBB\xBFok", 5);
  }
  int ran = 0;
  for (const TCase& c : kCases) {
    toolstest::TRun run = toolstest::FindTool(c.Tool);
    if (!run) continue;  // a tool this build does not make
    ++ran;
    std::vector<std::u16string> args;
    std::string shown = c.Tool;
    for (const std::string& a : c.Args) {
      args.push_back(Arg(dir, a));
      shown += " " + a;
    }
    SCOPED_TRACE(shown);
    std::ostringstream out, err;
    EXPECT_EQ(run(args, out, err), c.Exit) << err.str();
    EXPECT_TRUE(c.Out ? out.str().find(c.Out) != std::string::npos : out.str().empty()) << out.str();
    EXPECT_TRUE(c.Err ? err.str().find(c.Err) != std::string::npos : err.str().empty()) << err.str();
  }
  EXPECT_GE(ran, 35);
  // The last conversion reached the file its wide name gives.
  base::TFileStream converted(Arg(dir, "@вывод-한국.txt"), platform::fmOpenRead);
  EXPECT_EQ(converted.Size(), 6);  // FE FF 00 6F 00 6B
}

}  // namespace
