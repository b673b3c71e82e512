#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "TextTestSupport.h"
#include "support/TempDir.h"
#include "textconv/TextConv.h"

namespace {

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
      {{in1251, out, "--from", "1251"}, textconv::kOk, "D0 9F D1 80 D0 B8 D0 B2 D0 B5 D1 82 0D 0A", ""},
      {{in1251, out, "--from", "1251", "--bom"},
       textconv::kOk,
       "EF BB BF D0 9F D1 80 D0 B8 D0 B2 D0 B5 D1 82 0D 0A",
       ""},
      {{in1251, out, "--from", "1251", "--to", "1200"},
       textconv::kOk,
       "FF FE 1F 04 40 04 38 04 32 04 35 04 42 04 0D 00 0A 00",
       ""},
      {{inMarked, out, "--to", "1251"}, textconv::kOk, "CF F0", ""},
      {{inMarked, out, "--from", "auto", "--to", "12000"}, textconv::kOk, "FF FE 00 00 1F 04 00 00 40 04 00 00", ""},
      {{in1251, out, "--from", "1251", "--to", "932"}, textconv::kOk, "84 50 84 82 84 79 84 72 84 75 84 84 0D 0A", ""},
      {{in1251}, textconv::kUsage, nullptr, "usage: textconv"},
      {{in1251, out, "--to", "x"}, textconv::kUsage, nullptr, "not a code page number: x"},
      {{in1251, out, "--frob"}, textconv::kUsage, nullptr, "unknown option --frob"},
      {{in1251, out, "--from", "12345"}, textconv::kCannotConvert, nullptr, "code page 12345 cannot be converted"},
      {{dir / "missing.txt", out}, textconv::kCannotRead, nullptr, "Cannot open file"},
      {{in1251, dir / "no-folder/x.txt"}, textconv::kCannotWrite, nullptr, "Cannot create file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Args.size() > 2 ? c.Args[2] + " " + c.Args.back() : "short");
    std::ostringstream o, e;
    EXPECT_EQ(textconv::Run(c.Args, o, e), c.Exit) << e.str();
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
       textconv::kInvalidInput,
       nullptr,
       "byte offset 4: high surrogate without a low one after it"},
      {"FE FF 00 41 D8 00 00 42",
       {},
       textconv::kInvalidInput,
       nullptr,
       "byte offset 4: high surrogate without a low one after it"},
      {"FF FE 41 00 00 DC", {}, textconv::kInvalidInput, nullptr, "byte offset 4: low surrogate without a high one"},
      {"FE FF 00 41 DC 00", {}, textconv::kInvalidInput, nullptr, "byte offset 4: low surrogate without a high one"},
      {"FF FE 41 00 42", {}, textconv::kInvalidInput, nullptr, "byte offset 4: odd trailing byte"},
      {"FE FF 00 41 42", {}, textconv::kInvalidInput, nullptr, "byte offset 4: odd trailing byte"},
      {"FF FE 41 00 42", {"--replace"}, textconv::kOk, "41 EF BF BD", "1 replacement characters written"},
      {"FE FF 00 41 42", {"--replace"}, textconv::kOk, "41 EF BF BD", "1 replacement characters written"},
      {"FE FF D8 3D DE 00", {}, textconv::kOk, "F0 9F 98 80", ""},
      // UTF-8 faults by kind.
      {"EF BB BF 61 FF 62", {}, textconv::kInvalidInput, nullptr, "byte offset 4: byte that starts no UTF-8 sequence"},
      {"EF BB BF 61 80", {}, textconv::kInvalidInput, nullptr, "byte offset 4: continuation byte without a lead"},
      {"EF BB BF 61 E2 82", {}, textconv::kInvalidInput, nullptr, "byte offset 4: UTF-8 sequence cut off by the end"},
      {"EF BB BF E2 82 61", {}, textconv::kInvalidInput, nullptr, "byte offset 3: UTF-8 sequence cut off by a byte"},
      {"EF BB BF C0 AF", {}, textconv::kInvalidInput, nullptr, "byte offset 3: byte that starts no UTF-8 sequence"},
      {"EF BB BF E0 80 AF", {}, textconv::kInvalidInput, nullptr, "byte offset 3: overlong UTF-8 sequence"},
      {"EF BB BF ED A0 80", {}, textconv::kInvalidInput, nullptr, "byte offset 3: surrogate code point encoded"},
      {"EF BB BF 61 E2 82 62 FF",
       {"--replace", "--to", "1200"},
       textconv::kOk,
       "FF FE 61 00 FD FF 62 00 FD FF",
       "2 replacement characters written"},
      // UTF-32 values that are no characters.
      {"FF FE 00 00 00 00 11 00", {}, textconv::kInvalidInput, nullptr, "byte offset 4: UTF-32 value beyond U+10FFFF"},
      // A character the target lacks, at the input offset it came from.
      {"EF BB BF 61 E4 B8 AD",
       {"--to", "1251"},
       textconv::kInvalidInput,
       nullptr,
       "byte offset 4: character U+4E2D that code page 1251 cannot hold"},
      {"EF BB BF 61 E4 B8 AD", {"--to", "1251", "--replace"}, textconv::kOk, "61 3F", "1 replacement characters"},
      // A double-byte character cut by the end of the input.
      {"82 A0 82", {"--from", "932"}, textconv::kInvalidInput, nullptr, "byte offset 2: byte 82 that is no character"},
      // UTF-16BE both ways.
      {"EF BB BF 61 D0 AF", {"--to", "1201"}, textconv::kOk, "FE FF 00 61 04 2F", ""},
      {"61 00 62 00", {"--from", "1201", "--to", "1200"}, textconv::kOk, "FF FE 00 61 00 62", ""},
      // Without a mark: valid UTF-8 first, UTF-16 by its zero bytes, else the ANSI code page.
      {"61 C3 A9", {}, textconv::kOk, "61 C3 A9", ""},
      {"61 00 E9 00 0D 00 0A 00", {}, textconv::kOk, "61 C3 A9 0D 0A", ""},
      {"00 61 00 E9", {}, textconv::kOk, "61 C3 A9", ""},
      {"61 E9 80", {}, textconv::kOk, "61 C3 A9 E2 82 AC", ""},
      // Windows-1252's unassigned bytes read and write as Windows does.
      {"81 8D 8F 90 9D", {"--from", "1252"}, textconv::kOk, "C2 81 C2 8D C2 8F C2 90 C2 9D", ""},
      {"EF BB BF C2 81 C2 9D", {"--to", "1252"}, textconv::kOk, "81 9D", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Input);
    testsupport::WriteFile(in, texttest::Bytes(c.Input));
    testsupport::WriteFile(out, "before");
    std::vector<std::string> args = {in, out};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    std::ostringstream o, e;
    EXPECT_EQ(textconv::Run(args, o, e), c.Exit) << e.str();
    EXPECT_EQ(texttest::Hex(testsupport::ReadFile(out)),
              c.Output ? texttest::Hex(texttest::Bytes(c.Output)) : texttest::Hex("before"));
    EXPECT_NE(e.str().find(c.Error), std::string::npos) << e.str();
  }
  // The exit codes are in the help text.
  std::ostringstream help, none;
  EXPECT_EQ(textconv::Run({"--help"}, help, none), textconv::kOk);
  for (const char* piece : {"1 input not convertible exactly", "2 IN unreadable", "3 OUT not writable", "--replace"})
    EXPECT_NE(help.str().find(piece), std::string::npos) << piece;
}

}  // namespace
