#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "PackageTestSupport.h"
#include "base/Stream.h"
#include "base/Strings.h"
#include "platform/Files.h"
#include "support/TempDir.h"
#include "vtzip/Vtzip.h"

using namespace packagetest;
using testsupport::TempDir;

namespace {

struct TRun {
  int Code;
  std::string Out, Err;
};

TRun Vtzip(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int code = vtzip::Run(args, out, err);
  return {code, out.str(), err.str()};
}

// zlib's streams of "hello" and of nothing, at level 6.
const std::string kHello("\x78\x9C\xCB\x48\xCD\xC9\xC9\x07\x00\x06\x2C\x02\x15", 13);
const std::string kNothing("\x78\x9C\x03\x00\x00\x00\x00\x01", 8);

}  // namespace

TEST(Vtzip, PackWritesThePackageByteForByte) {
  TempDir dir;
  platform::ForceDirectories(dir / "src\\Sub");
  WriteBytes(dir / "src\\a.txt", "hello");
  WriteBytes(dir / "src\\Sub\\b.txt", "");
  TRun r = Vtzip({"pack", dir / "src", dir / "p.vtzip"});
  EXPECT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(r.Out, "packed 2 files (5 bytes) into " + dir / "p.vtzip" + " (53 bytes)\n");
  // Names sorted bytewise, backslashes, CR LF after every line, blocks in index order.
  std::string expected = std::string(
                             "\x03"
                             "zsf"
                             "\x01"
                             "\x17\x00\x00\x00",
                             9) +
                         "Sub\\b.txt|8\r\na.txt|13\r\n" + kNothing + kHello;
  EXPECT_EQ(ReadBytes(dir / "p.vtzip"), expected);
  EXPECT_FALSE(platform::FileExists(dir / "p.vtzip.blocks"));  // the scratch file is gone

  // Packing into the packed folder leaves the package itself out, also on a second run.
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Vtzip({"pack", dir / "src", dir / "src\\self.vtzip"}).Code, 0);
  EXPECT_EQ(ReadBytes(dir / "src\\self.vtzip"), expected);
}

TEST(Vtzip, CommandLineErrorsAndHelp) {
  TempDir dir;
  struct {
    std::vector<std::string> args;
    int code;
    std::string firstErrorLine;
  } const cases[] = {
      {{}, 2, "vtzip: no command given"},
      {{"frobnicate"}, 2, "vtzip: unknown command \"frobnicate\""},
      {{"list"}, 2, "vtzip: list takes 1 argument(s)"},
      {{"pack", "a"}, 2, "vtzip: pack takes 2 argument(s)"},
      {{"pack", "a", "b", "--level", "10"}, 2, "vtzip: --level needs a value from 0 to 9, not \"10\""},
      {{"pack", "a", "b", "--level"}, 2, "vtzip: --level needs a value from 0 to 9"},
      {{"list", "x", "--level=3"}, 2, "vtzip: --level belongs to pack and delta"},
      {{"verify", "x", "--verbose"}, 2, "vtzip: --verbose belongs to extract"},
      {{"verify", "x", "--bogus"}, 2, "vtzip: unknown option --bogus"},
      {{"verify", dir / "none.vtzip"}, 1, "vtzip: " + dir / "none.vtzip" + ": no such file"},
      {{"list", dir / "none.vtzip"}, 1, "vtzip: " + dir / "none.vtzip" + ": no such file"},
      {{"extract", dir / "none.vtzip", dir / "out"}, 1, "vtzip: " + dir / "none.vtzip" + ": no such file"},
      {{"pack", dir / "nodir", dir / "p.vtzip"}, 1, "vtzip: " + dir / "nodir" + ": not a folder"},
  };
  for (const auto& c : cases) {
    TRun r = Vtzip(c.args);
    EXPECT_EQ(r.Code, c.code) << c.firstErrorLine;
    EXPECT_EQ(r.Err.substr(0, r.Err.find('\n')), c.firstErrorLine);
    if (c.code == 2) {
      EXPECT_NE(r.Err.find("Usage: vtzip <command>"), std::string::npos);
    }
  }
  TRun help = Vtzip({"--help"});
  EXPECT_EQ(help.Code, 0);
  EXPECT_EQ(help.Out.rfind("Usage: vtzip <command> [arguments]\n", 0), 0u);
  EXPECT_EQ(help.Err, "");
}

TEST(Vtzip, ListVerifyAndExtract) {
  TempDir dir;
  std::string pkg = dir / "p.vtzip";
  std::string a = Zlib("hello"), b = Zlib(std::string(1000, 'b'));
  WriteBytes(pkg, Package(Line("a.txt", a) + "\r\n" + Line(Ansi("Sub\\\u00e9t\u00e9.bin"), b) + "\r\n", a + b));

  TRun list = Vtzip({"list", pkg});
  EXPECT_EQ(list.Code, 0);
  EXPECT_EQ(list.Out,
            "  Original  Compressed  Name\n"
            "         5          13  a.txt\n"
            "      1000          17  Sub\\\u00e9t\u00e9.bin\n"
            "      1005          30  2 files\n");
  TRun verify = Vtzip({"verify", pkg});
  EXPECT_EQ(verify.Code, 0);
  EXPECT_EQ(verify.Out, pkg + ": OK, 2 files, 1005 bytes\n");

  TRun extract = Vtzip({"extract", pkg, dir / "out", "--verbose"});
  EXPECT_EQ(extract.Code, 0) << extract.Err;
  EXPECT_EQ(extract.Out, "[Splash]==================== DirectoryDecompression File:= " + dir / "out\\a.txt\n" +
                             "[Splash]==================== DirectoryDecompression File:= " +
                             base::WideToUtf8(base::AnsiToWide(dir / "out")) + "\\Sub\\\u00e9t\u00e9.bin\n" +
                             "extracted 2 of 2 files (1005 bytes) into " + dir / "out" + "\n");
  EXPECT_EQ(ReadBytes(dir / "out\\a.txt"), "hello");
  EXPECT_EQ(ReadBytes(dir / ("out\\" + Ansi("Sub\\\u00e9t\u00e9.bin"))), std::string(1000, 'b'));
}

TEST(Vtzip, VerifyAndExtractReportEveryProblem) {
  TempDir dir;
  std::string pkg = dir / "bad.vtzip";
  std::string good = Zlib("good"), corrupt = Zlib("corrupt"), cut = Zlib(std::string(5000, 'c'));
  corrupt[1] ^= 1;
  cut.resize(cut.size() - 3);
  std::string index = Line("..\\up.txt", good) + "\r\n" + Line("corrupt.bin", corrupt) + "\r\n" + Line("cut.bin", cut) +
                      "\r\n" + Line("extra.bin", good + "XY") + "\r\nnothing\r\n" + Line("A.TXT", good) + "\r\n" +
                      Line("a.txt", good) + "\r\n";
  WriteBytes(pkg, Package(index, good + corrupt + cut + good + "XY" + good + good + "tail"));

  TRun verify = Vtzip({"verify", pkg});
  EXPECT_EQ(verify.Code, 1);
  EXPECT_EQ(verify.Out,
            "line 1: ..\\up.txt: parent-directory part\n"
            "line 2: corrupt.bin: corrupt compressed data\n"
            "line 3: cut.bin: compressed data ends early\n"
            "line 4: extra.bin: 2 bytes after the end of the compressed data\n"
            "line 5: nothing: index line without '|'\n"
            "line 7: a.txt: named before; this file replaces the earlier one\n"
            "4 bytes after the last block\n" +
                pkg + ": 7 problem(s)\n");

  TRun extract = Vtzip({"extract", pkg, dir / "out"});
  EXPECT_EQ(extract.Code, 1);
  std::string out = dir / "out\\";
  EXPECT_EQ(extract.Err,
            "vtzip: refused: ..\\up.txt: parent-directory part\n"
            "vtzip: failed: " +
                out +
                "corrupt.bin: corrupt compressed data\n"
                "vtzip: failed: " +
                out +
                "cut.bin: compressed data ends early; the file is incomplete\n"
                "vtzip: warning: " +
                out +
                "extra.bin: 2 bytes after the end of the compressed data ignored\n"
                "vtzip: refused: nothing: index line without '|'\n");
  EXPECT_EQ(extract.Out, "extracted 3 of 7 files (5012 bytes) into " + dir / "out" + "\n");

  WriteBytes(pkg, "PK\x03\x04 not a package");
  TRun zip = Vtzip({"extract", pkg, dir / "out"});
  EXPECT_EQ(zip.Code, 1);
  EXPECT_EQ(zip.Err, "vtzip: " + pkg + ": not an update package (no \"zsf\" magic)\n");
  EXPECT_EQ(Vtzip({"list", pkg}).Code, 1);
}

TEST(Vtzip, PackRefusesNamesTheCodePageCannotHold) {
  TempDir dir;
  platform::ForceDirectories(dir / "src");
  WriteBytes(dir / "src\\fine.txt", "x");
  std::u16string wide = base::AnsiToWide(dir / "src") + u"/\u65e5\u672c.txt";  // Japanese: not in Windows-1252
  { base::TFileStream f(wide, base::fmCreate); }
  TRun r = Vtzip({"pack", dir / "src", dir / "p.vtzip"});
  EXPECT_EQ(r.Code, 1);
  EXPECT_EQ(r.Err,
            "vtzip: cannot pack \u65e5\u672c.txt: the name has characters that the 8-bit code page cannot hold\n"
            "vtzip: nothing written, 1 file(s) cannot be packed\n");
  EXPECT_FALSE(platform::FileExists(dir / "p.vtzip"));
}

TEST(Vtzip, KeygenSignAndVerifyConfigMakeAndCheckASignedOffer) {
  TempDir dir;
  TRun r = Vtzip({"keygen", dir / "vendor.key", dir / "vendor.pub"});
  ASSERT_EQ(r.Code, 0) << r.Err;
  std::string publicKey = base::Trim(ReadBytes(dir / "vendor.pub"));
  EXPECT_EQ(publicKey.size(), 44u);
  EXPECT_NE(r.Out.find("UpdatePublicKey=" + publicKey + "\n"), std::string::npos) << r.Out;
  // A key pair is never overwritten.
  r = Vtzip({"keygen", dir / "vendor.key", dir / "other.pub"});
  EXPECT_EQ(r.Code, 1);
  EXPECT_EQ(r.Err, "vtzip: " + dir / "vendor.key" + ": exists; not overwritten\n");
  ASSERT_EQ(Vtzip({"keygen", dir / "other.key", dir / "other.pub"}).Code, 0);

  WriteBytes(dir / "p.vtzip", "package bytes");
  WriteBytes(dir / "offer.ini", "[System]\r\nPackageVision=2.1.0.12\r\nPackagePath=http://h/p.vtzip\r\n");
  r = Vtzip({"sign", dir / "offer.ini", dir / "p.vtzip", "--key", dir / "vendor.key", "--serial", "41"});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(r.Out.substr(0, r.Out.find(", Expires")), "signed " + dir / "offer.ini" + ": Serial 41");
  std::string text = ReadBytes(dir / "offer.ini");
  EXPECT_NE(text.find("\r\nPackageSize=13\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nSerial=41\r\n"), std::string::npos);
  EXPECT_EQ(text.rfind("\r\nSignature=") + 12 + 88 + 2, text.size());

  r = Vtzip({"verify-config", dir / "offer.ini", dir / "vendor.pub", dir / "p.vtzip"});
  EXPECT_EQ(r.Code, 0) << r.Out << r.Err;
  EXPECT_NE(r.Out.find(dir / "p.vtzip" + ": size and SHA-256 OK\n"), std::string::npos);
  // Another key, another package, an expired offer: each is refused with its cause.
  r = Vtzip({"verify-config", dir / "offer.ini", dir / "other.pub"});
  EXPECT_EQ(r.Code, 1);
  EXPECT_EQ(r.Out,
            dir / "offer.ini" + ": refused: the signature does not match the configuration and a configured key\n");
  WriteBytes(dir / "q.vtzip", "package byteS");
  r = Vtzip({"verify-config", dir / "offer.ini", dir / "vendor.pub", dir / "q.vtzip"});
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Out.find(dir / "q.vtzip" + ": refused: the package's SHA-256 "), std::string::npos) << r.Out;
  ASSERT_EQ(Vtzip({"sign", dir / "offer.ini", dir / "p.vtzip", "--key", dir / "vendor.key", "--serial", "42",
                   "--expires-days", "-1"})
                .Code,
            0);
  r = Vtzip({"verify-config", dir / "offer.ini", dir / "vendor.pub"});
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Out.find(": refused: the offer expired on "), std::string::npos) << r.Out;
  // Either key of a rotation list verifies.
  WriteBytes(dir / "both.pub", ReadBytes(dir / "other.pub") + ReadBytes(dir / "vendor.pub"));
  ASSERT_EQ(Vtzip({"sign", dir / "offer.ini", dir / "p.vtzip", "--key", dir / "vendor.key", "--serial", "43"}).Code, 0);
  EXPECT_EQ(Vtzip({"verify-config", dir / "offer.ini", dir / "both.pub"}).Code, 0);
  // A staged offer: its share and health time are signed with it.
  r = Vtzip({"sign", dir / "offer.ini", dir / "p.vtzip", "--key", dir / "vendor.key", "--serial", "43", "--rollout",
             "30", "--healthy-seconds", "20"});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(r.Out.find(", rollout 30%, healthy after 20 s\n"), std::string::npos) << r.Out;
  EXPECT_NE(ReadBytes(dir / "offer.ini").find("\r\nRolloutPercent=30\r\nHealthySeconds=20\r\n"), std::string::npos);
  EXPECT_EQ(Vtzip({"verify-config", dir / "offer.ini", dir / "vendor.pub"}).Code, 0);
  for (const char* bad : {"101", "-1", "x"})
    EXPECT_EQ(Vtzip({"sign", dir / "offer.ini", dir / "p.vtzip", "--key", dir / "vendor.key", "--serial", "43",
                     "--rollout", bad})
                  .Code,
              2)
        << bad;
  EXPECT_EQ(Vtzip({"list", dir / "p.vtzip", "--rollout", "5"}).Code, 2);
  // A delta without its base version or its file is a usage error.
  for (const char* bad : {"2.1.0.10", "=d.vtdelta", "2.1.0.10="}) {
    r = Vtzip(
        {"sign", dir / "offer.ini", dir / "p.vtzip", "--key", dir / "vendor.key", "--serial", "43", "--delta", bad});
    EXPECT_EQ(r.Code, 2) << bad;
    EXPECT_EQ(r.Err.rfind("vtzip: --delta needs BASEVERSION=FILE", 0), 0u) << r.Err;
  }

  // The public key does not sign; a wrong command line is a usage error.
  r = Vtzip({"sign", dir / "offer.ini", dir / "p.vtzip", "--key", dir / "vendor.pub", "--serial", "44"});
  EXPECT_EQ(r.Code, 1);
  EXPECT_EQ(r.Err, "vtzip: " + dir / "vendor.pub" + ": not a private key made by vtzip keygen\n");
  EXPECT_EQ(Vtzip({"sign", dir / "offer.ini", dir / "p.vtzip", "--serial", "44"}).Code, 2);
  EXPECT_EQ(Vtzip({"sign", dir / "offer.ini", dir / "p.vtzip", "--key", dir / "vendor.key", "--serial", "-4"}).Code, 2);
  EXPECT_EQ(Vtzip({"pack", dir / "a", dir / "b", "--serial", "4"}).Code, 2);
  EXPECT_EQ(ReadBytes(dir / "offer.ini").find("Serial=44"), std::string::npos);
}
