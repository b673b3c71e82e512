#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/EntryName.h"
#include "package/PackageIndex.h"

using namespace package;

namespace {
// "line:name:size:problem" for each parsed line, problem as a letter (- none, B no bar,
// S bad size, Z zero size), so a table row reads like the index it came from.
std::string Show(const std::vector<TIndexLine>& lines) {
  std::string s;
  for (const TIndexLine& l : lines) {
    const char* p = l.Problem == TLineProblem::lpNone      ? "-"
                    : l.Problem == TLineProblem::lpNoBar   ? "B"
                    : l.Problem == TLineProblem::lpBadSize ? "S"
                                                           : "Z";
    s += std::to_string(l.Line) + ":" + l.Name + ":" + std::to_string(l.Size) + ":" + p + " ";
  }
  return s;
}
}  // namespace

TEST(PackageIndex, LinesBreakAtCrLfLfAndCr) {
  struct {
    const char* index;
    const char* parsed;
  } const cases[] = {
      {"", ""},
      {"\r\n", ""},
      {"\n", ""},
      {"\r", ""},
      {"\r\n\r\n\n\r", ""},
      {"a|1", "1:a:1:- "},
      {"a|1\r\n", "1:a:1:- "},
      {"a|1\r\nb|2\nc|3\rd|4", "1:a:1:- 2:b:2:- 3:c:3:- 4:d:4:- "},
      {"a|1\n\rb|2", "1:a:1:- 3:b:2:- "},    // LF then CR: two breaks, the empty line between is skipped
      {"a|1\r\r\nb|2", "1:a:1:- 3:b:2:- "},  // CR, then CR LF
      {"\r\na|1", "2:a:1:- "},
      {"Data\\Sub\\a.bin|512\r\n", "1:Data\\Sub\\a.bin:512:- "},
      {"a|b|5", "1:a:0:S "},  // the size is everything after the first bar
      {"|5", "1::5:- "},      // (the name is refused later, the line keeps its bytes)
      {"noBar\r\nx|0\r\ny|abc\r\nz|-5\r\nw| 7 \r\nv|007", "1:noBar:0:B 2:x:0:Z 3:y:0:S 4:z:0:S 5:w:7:- 6:v:7:- "},
  };
  for (const auto& c : cases) EXPECT_EQ(Show(ParseIndex(c.index)), c.parsed) << c.index;
}

TEST(PackageIndex, BlockSizesAreDecimalWithinSigned32Bits) {
  struct {
    const char* text;
    bool ok;
    int64_t size;
  } const cases[] = {
      {"0", true, 0},
      {"512", true, 512},
      {"  512\t", true, 512},
      {"0000000512", true, 512},
      {"2147483647", true, 2147483647},
      {"2147483648", false, 0},
      {"99999999999999999999", false, 0},
      {"-1", false, 0},
      {"+1", false, 0},
      {"0x10", false, 0},
      {"$10", false, 0},
      {"", false, 0},
      {"   ", false, 0},
      {"1 2", false, 0},
      {"12a", false, 0},
  };
  for (const auto& c : cases) {
    int64_t size = -7;
    EXPECT_EQ(ParseBlockSize(c.text, size), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(size, c.size) << c.text;
    }
  }
  EXPECT_EQ(FormatIndexLine("Data\\a.bin", 512), "Data\\a.bin|512\r\n");
}

TEST(EntryName, SafeRelativePathsOnly) {
  const char* accepted[] = {"a.txt",
                            "Data\\Sub\\a.bin",
                            "Data/Sub/a.bin",
                            "my file.txt",
                            " lead.txt",
                            ".hidden",
                            "...a",
                            "a..b",
                            "console.txt",
                            "com10.txt",
                            "lpt.txt",
                            "nul_",
                            "\xE9t\xE9 \xA9.txt",
                            "Skin\\splash.png",
                            "con_\\x"};
  for (const char* n : accepted) EXPECT_EQ(CheckEntryName(n), "") << n;

  struct {
    std::string name;
    const char* why;
  } const refused[] = {
      {"", "empty name"},
      {"..", "parent-directory part"},
      {"..\\evil.txt", "parent-directory part"},
      {"a\\..\\..\\evil.txt", "parent-directory part"},
      {"a/../../evil.txt", "parent-directory part"},
      {"a\\..", "parent-directory part"},
      {".", "'.' path part"},
      {"a\\.\\b", "'.' path part"},
      {"\\evil.txt", "absolute path"},
      {"/etc/evil", "absolute path"},
      {"\\\\server\\share\\evil.txt", "absolute path"},
      {"\\\\?\\C:\\evil.txt", "absolute path"},
      {"\\\\.\\C:\\evil.txt", "absolute path"},
      {"C:\\evil.txt", "drive letter or stream name"},
      {"C:evil.txt", "drive letter or stream name"},
      {"a.txt:stream", "drive letter or stream name"},
      {"a.txt::$DATA", "drive letter or stream name"},
      {"a\\\\b", "empty path part"},
      {"dir\\", "empty path part"},
      {"evil.txt.", "path part ends in a dot or space"},
      {"evil.txt ", "path part ends in a dot or space"},
      {"dir.\\a", "path part ends in a dot or space"},
      {"...", "path part ends in a dot or space"},
      {"CON", "device name"},
      {"con", "device name"},
      {"nul.txt", "device name"},
      {"Aux .txt", "device name"},
      {"sub\\PRN.tar.gz", "device name"},
      {"COM1", "device name"},
      {"lpt9.log", "device name"},
      {"COM\xB9", "device name"},
      {"conin$", "device name"},
      {"CONOUT$.x", "device name"},
      {std::string("ok.txt\0.exe", 11), "control character"},
      {"a\tb", "control character"},
      {"a*b", "character not allowed in file names"},
      {"a?b", "character not allowed in file names"},
      {"a\"b", "character not allowed in file names"},
      {"a<b", "character not allowed in file names"},
      {"a>b", "character not allowed in file names"},
      {"a|b", "character not allowed in file names"},
      {std::string(256, 'x'), "path part longer than 255 characters"},
      {std::string(1025, 'x'), "name longer than 1024 bytes"},
  };
  for (const auto& c : refused) EXPECT_EQ(CheckEntryName(c.name), c.why) << PrintableName(c.name);

  EXPECT_EQ(PrintableName(std::string("a\0b\r", 4)), "a?b?");
  EXPECT_EQ(PrintableName(std::string(3000, 'x')), std::string(2048, 'x') + "...");
}
