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

}  // namespace
