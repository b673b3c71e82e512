#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "TextTestSupport.h"
#include "base/Strings.h"
#include "cli/CommandLine.h"
#include "support/TempDir.h"
#include "textconv/TextConv.h"

namespace {

// The temporary folders' names are ASCII, the same in UTF-8 and in the system code page.
int Textconv(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::u16string> wide;
  for (const std::string& a : args) wide.push_back(base::Utf8ToWide(a));
  return textconv::Run(wide, out, err);
}

TEST(TextConv, ConvertsAndReportsErrors) {
  testsupport::TempDir dir;
  const std::string in1251 = dir / "in1251.txt", inMarked = dir / "marked.txt", out = dir / "out.txt";
  testsupport::WriteFile(in1251, texttest::Bytes("CF F0 E8 E2 E5 F2 0D 0A"));
  testsupport::WriteFile(inMarked, texttest::Bytes("FF FE 1F 04 40 04"));
  const struct {
    std::vector<std::string> Args;
    int Exit;
    const char* Output;  // expected bytes of out.txt when the run succeeds
    const char* Error;   // a piece of the error text
  } cases[] = {
      {{in1251, out, "--from", "1251"}, cli::kExitOk, "D0 9F D1 80 D0 B8 D0 B2 D0 B5 D1 82 0D 0A", ""},
      {{in1251, out, "--from", "1251", "--bom"},
       cli::kExitOk,
       "EF BB BF D0 9F D1 80 D0 B8 D0 B2 D0 B5 D1 82 0D 0A",
       ""},
      {{in1251, out, "--from", "1251", "--to", "1200"},
       cli::kExitOk,
       "FF FE 1F 04 40 04 38 04 32 04 35 04 42 04 0D 00 0A 00",
       ""},
      {{inMarked, out, "--to", "1251"}, cli::kExitOk, "CF F0", ""},
      {{inMarked, out, "--from", "auto", "--to", "12000"}, cli::kExitOk, "FF FE 00 00 1F 04 00 00 40 04 00 00", ""},
      {{in1251, out, "--from", "1251", "--to", "932"}, cli::kExitOk, "84 50 84 82 84 79 84 72 84 75 84 84 0D 0A", ""},
      {{in1251}, cli::kExitUsage, nullptr, "usage: textconv"},
      {{in1251, out, "--to", "x"}, cli::kExitUsage, nullptr, "not a code page number: x"},
      {{in1251, out, "--frob"}, cli::kExitUsage, nullptr, "unknown option --frob"},
      {{in1251, out, "--from", "12345"}, cli::kExitFailed, nullptr, "code page 12345 cannot be converted"},
      {{dir / "missing.txt", out}, cli::kExitFailed, nullptr, "Cannot open file"},
      {{in1251, dir / "no-folder/x.txt"}, cli::kExitFailed, nullptr, "Cannot create file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Args.size() > 2 ? c.Args[2] + " " + c.Args.back() : "short");
    std::ostringstream o, e;
    EXPECT_EQ(Textconv(c.Args, o, e), c.Exit) << e.str();
    if (c.Output) {
      EXPECT_EQ(texttest::Hex(testsupport::ReadFile(out)), texttest::Hex(texttest::Bytes(c.Output)));
    }
    EXPECT_NE(e.str().find(c.Error), std::string::npos) << e.str();
  }
}

TEST(TextConv, ConvertsExactlyOrSaysWhereAndWhy) {
  testsupport::TempDir dir;
  const std::string in = dir / "in.txt", out = dir / "out.txt";
  const struct {
    const char* Input;  // hex
    std::vector<std::string> Options;
    int Exit;
    const char* Output;  // expected bytes of out.txt, or nullptr: left as it was
    const char* Error;   // a piece of the error text
  } cases[] = {
      // Both byte orders alike: lone halves and an odd trailing byte.
      {"FF FE 41 00 00 D8 42 00",
       {},
       cli::kExitFailed,
       nullptr,
       "byte offset 4: high surrogate without a low one after it"},
      {"FE FF 00 41 D8 00 00 42",
       {},
       cli::kExitFailed,
       nullptr,
       "byte offset 4: high surrogate without a low one after it"},
      {"FF FE 41 00 00 DC", {}, cli::kExitFailed, nullptr, "byte offset 4: low surrogate without a high one"},
      {"FE FF 00 41 DC 00", {}, cli::kExitFailed, nullptr, "byte offset 4: low surrogate without a high one"},
      {"FF FE 41 00 42", {}, cli::kExitFailed, nullptr, "byte offset 4: odd trailing byte"},
      {"FE FF 00 41 42", {}, cli::kExitFailed, nullptr, "byte offset 4: odd trailing byte"},
      {"FF FE 41 00 42", {"--replace"}, cli::kExitOk, "41 EF BF BD", "1 replacement characters written"},
      {"FE FF 00 41 42", {"--replace"}, cli::kExitOk, "41 EF BF BD", "1 replacement characters written"},
      {"FE FF D8 3D DE 00", {}, cli::kExitOk, "F0 9F 98 80", ""},
      // UTF-8 faults by kind.
      {"EF BB BF 61 FF 62", {}, cli::kExitFailed, nullptr, "byte offset 4: byte that starts no UTF-8 sequence"},
      {"EF BB BF 61 80", {}, cli::kExitFailed, nullptr, "byte offset 4: continuation byte without a lead"},
      {"EF BB BF 61 E2 82", {}, cli::kExitFailed, nullptr, "byte offset 4: UTF-8 sequence cut off by the end"},
      {"EF BB BF E2 82 61", {}, cli::kExitFailed, nullptr, "byte offset 3: UTF-8 sequence cut off by a byte"},
      {"EF BB BF C0 AF", {}, cli::kExitFailed, nullptr, "byte offset 3: byte that starts no UTF-8 sequence"},
      {"EF BB BF E0 80 AF", {}, cli::kExitFailed, nullptr, "byte offset 3: overlong UTF-8 sequence"},
      {"EF BB BF ED A0 80", {}, cli::kExitFailed, nullptr, "byte offset 3: surrogate code point encoded"},
      {"EF BB BF 61 E2 82 62 FF",
       {"--replace", "--to", "1200"},
       cli::kExitOk,
       "FF FE 61 00 FD FF 62 00 FD FF",
       "2 replacement characters written"},
      // UTF-32 values that are no characters.
      {"FF FE 00 00 00 00 11 00", {}, cli::kExitFailed, nullptr, "byte offset 4: UTF-32 value beyond U+10FFFF"},
      // A character the target lacks, at the input offset it came from.
      {"EF BB BF 61 E4 B8 AD",
       {"--to", "1251"},
       cli::kExitFailed,
       nullptr,
       "byte offset 4: character U+4E2D that code page 1251 cannot hold"},
      {"EF BB BF 61 E4 B8 AD", {"--to", "1251", "--replace"}, cli::kExitOk, "61 3F", "1 replacement characters"},
      // A double-byte character cut by the end of the input.
      {"82 A0 82", {"--from", "932"}, cli::kExitFailed, nullptr, "byte offset 2: byte 82 that is no character"},
      // UTF-16BE both ways.
      {"EF BB BF 61 D0 AF", {"--to", "1201"}, cli::kExitOk, "FE FF 00 61 04 2F", ""},
      {"61 00 62 00", {"--from", "1201", "--to", "1200"}, cli::kExitOk, "FF FE 00 61 00 62", ""},
      // Without a mark: valid UTF-8 first, UTF-16 by its zero bytes, else the ANSI code page.
      {"61 C3 A9", {}, cli::kExitOk, "61 C3 A9", ""},
      {"61 00 E9 00 0D 00 0A 00", {}, cli::kExitOk, "61 C3 A9 0D 0A", ""},
      {"00 61 00 E9", {}, cli::kExitOk, "61 C3 A9", ""},
      {"61 E9 80", {}, cli::kExitOk, "61 C3 A9 E2 82 AC", ""},
      // Windows-1252's unassigned bytes read and write as Windows does.
      {"81 8D 8F 90 9D", {"--from", "1252"}, cli::kExitOk, "C2 81 C2 8D C2 8F C2 90 C2 9D", ""},
      {"EF BB BF C2 81 C2 9D", {"--to", "1252"}, cli::kExitOk, "81 9D", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Input);
    testsupport::WriteFile(in, texttest::Bytes(c.Input));
    testsupport::WriteFile(out, "before");
    std::vector<std::string> args = {in, out};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    std::ostringstream o, e;
    EXPECT_EQ(Textconv(args, o, e), c.Exit) << e.str();
    EXPECT_EQ(texttest::Hex(testsupport::ReadFile(out)),
              c.Output ? texttest::Hex(texttest::Bytes(c.Output)) : texttest::Hex("before"));
    EXPECT_NE(e.str().find(c.Error), std::string::npos) << e.str();
  }
  // The exit codes and the messages are in the help text.
  std::ostringstream help, none;
  EXPECT_EQ(Textconv({"--help"}, help, none), cli::kExitOk);
  for (const char* piece : {"1 not converted", "byte offset N: KIND\" input not convertible exactly",
                            "Cannot open file ...\" IN unreadable", "Cannot create file ...\" OUT not writable",
                            "2 wrong command line", "--replace"})
    EXPECT_NE(help.str().find(piece), std::string::npos) << piece;
}

}  // namespace
