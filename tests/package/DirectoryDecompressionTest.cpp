#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PackageTestSupport.h"
#include "base/Exceptions.h"
#include "base/Stream.h"
#include "base/ZLibStream.h"
#include "package/Decompression.h"
#include "platform/Files.h"
#include "support/TempDir.h"

using namespace package;
using namespace packagetest;
using testsupport::TempDir;

namespace {

const std::string kFile = "[Splash]==================== DirectoryDecompression File:= ";

// A scratch folder with the package at <tmp>pkg.vtzip and the target <tmp>target.
struct TSandbox {
  TempDir Dir;
  std::string PackageFile = Dir / "pkg.vtzip";
  std::string Target = Dir / "target";
  void Write(const std::string& bytes) const { WriteBytes(PackageFile, bytes); }
  std::string In(const std::string& name) const { return Target + "\\" + name; }
};

std::vector<std::string> Subjects(const TExtractReport& r, TExtractIssue::TKind kind) {
  std::vector<std::string> s;
  for (const TExtractIssue& i : r.Issues)
    if (i.Kind == kind) s.push_back(i.Subject + " (" + i.Reason + ")");
  return s;
}

}  // namespace

TEST(DirectoryDecompression, CreatesMissingFoldersAndLogsTheFullTarget) {
  TSandbox s;
  std::string block = Zlib("payload");
  s.Write(Package(Line("Data\\Sub\\a.bin", block) + "\r\n", block));
  TLogCapture log;
  EXPECT_EQ(DirectoryDecompression(s.Target, s.PackageFile), 1);
  EXPECT_EQ(ReadBytes(s.In("Data\\Sub\\a.bin")), "payload");
  EXPECT_EQ(log.Lines, std::vector<std::string>{kFile + s.Target + "\\Data\\Sub\\a.bin"});
  EXPECT_EQ(ListTree(s.Dir.Path()), (std::vector<std::string>{"pkg.vtzip", "target/Data/Sub/a.bin"}));
}

TEST(DirectoryDecompression, ReplacesExistingFilesAndLogsEachBeforeItIsWritten) {
  TSandbox s;
  platform::ForceDirectories(s.Target);
  WriteBytes(s.Dir / "target/old.txt", std::string(50000, 'o'));
  // Mixed line breaks and no final one; a trailing backslash on the target is dropped.
  std::string a = Zlib("new"), b = Zlib(""), c = Zlib(std::string(70000, 'c'), 9);
  s.Write(Package(Line("old.txt", a) + "\r\n" + Line("empty", b) + "\n" + Line("Skin\\c.bin", c), a + b + c));

  TLogCapture log;
  // At the moment of each log line, the file it names must not be written yet.
  struct TCheck {
    std::string Target;
    std::vector<std::string> Seen;
  } check{s.Target, {}};
  log.Context = &check;
  log.OnLine = [](void* context, const std::string& line) {
    auto* c = static_cast<TCheck*>(context);
    std::string path = line.substr(kFile.size());
    c->Seen.push_back(platform::FileExists(path) ? std::to_string(platform::FileSize(path)) : "absent");
  };
  EXPECT_EQ(DirectoryDecompression(s.Target + "\\", s.PackageFile), 3);
  EXPECT_EQ(log.Lines,
            (std::vector<std::string>{kFile + s.In("old.txt"), kFile + s.In("empty"), kFile + s.In("Skin\\c.bin")}));
  EXPECT_EQ(check.Seen, (std::vector<std::string>{"50000", "absent", "absent"}));
  EXPECT_EQ(ReadBytes(s.In("old.txt")), "new");  // truncated, not overwritten in place
  EXPECT_EQ(ReadBytes(s.In("empty")), "");
  EXPECT_EQ(ReadBytes(s.In("Skin\\c.bin")), std::string(70000, 'c'));
}

TEST(DirectoryDecompression, HeaderResultsAndPackagesThatHoldNothing) {
  std::string block = Zlib("x");
  std::string rest = std::string("\x05\0\0\0", 4) + "a|9\r\n" + block;
  struct {
    std::string bytes;
    int32_t result;
  } const cases[] = {
      {std::string("\x03zsf\x02", 5) + rest, -2},
      {std::string("\x04zsf\x01", 5) + rest, -1},
      {std::string("\x03zsx\x01", 5) + rest, -1},
      {std::string("\x04zsf\x02", 5) + rest, -2},  // both wrong: the version wins
      {"", 0},
      {"\x03zsf", 0},                      // shorter than 5 bytes
      {std::string("\x03zsf\x01", 5), 0},  // no index length
      {std::string("\x03zsf\x01\x00\x00", 7), 0},
      {Package("\r\n", ""), 0},  // an index of only a line break
      {Package("\n", ""), 0},
      {Package("", ""), 0},
      {std::string("\x03zsf\x01\xFF\xFF\xFF\xFF", 9) + "a|1", 0},  // negative index length
      {std::string("\x03zsf\x01\x10\x00\x00\x00", 9) + "a|1", 0},  // index past the end
  };
  for (const auto& c : cases) {
    TSandbox s;
    s.Write(c.bytes);
    TLogCapture log;
    EXPECT_EQ(DirectoryDecompression(s.Target, s.PackageFile), c.result) << testing::PrintToString(c.bytes);
    EXPECT_EQ(ListTree(s.Dir.Path()), std::vector<std::string>{"pkg.vtzip"});
    for (const std::string& line : log.Lines) EXPECT_EQ(line.find(kFile), std::string::npos) << line;
  }
  TSandbox s;
  TExtractReport r;
  EXPECT_EQ(DirectoryDecompression(s.Target, s.PackageFile, &r), 0);  // no package at all
  EXPECT_TRUE(r.PackageRefused);
  platform::CreateDir(s.PackageFile);  // a folder is not a package either
  EXPECT_EQ(DirectoryDecompression(s.Target, s.PackageFile), 0);
}

TEST(DirectoryDecompression, TruncatedPackageWritesNothing) {
  TSandbox s;
  std::string a = Zlib("first"), b = Zlib(std::string(5000, 'b'));
  std::string whole = Package(Line("a.txt", a) + "\r\n" + Line("b.txt", b) + "\r\n", a + b);
  s.Write(whole.substr(0, whole.size() - 1));
  TLogCapture log;
  TExtractReport r;
  EXPECT_EQ(DirectoryDecompression(s.Target, s.PackageFile, &r), 0);
  EXPECT_TRUE(r.PackageRefused);
  EXPECT_EQ(ListTree(s.Dir.Path()), std::vector<std::string>{"pkg.vtzip"});
  EXPECT_EQ(log.Lines,
            std::vector<std::string>{"[Splash]==================== DirectoryDecompression Refused:= " + s.PackageFile +
                                     " (the block of \"b.txt\" (index line 2) runs past the end of the "
                                     "package)"});

  // An index over the limit is refused before it is read (a sparse file of 64 MiB + 10).
  {
    base::TFileStream f(s.PackageFile, base::fmCreate);
    f.WriteBuffer("\x03zsf\x01\x01\x00\x00\x04", 9);  // 0x04000001 bytes
    f.SetSize(9 + 0x04000001);
  }
  EXPECT_EQ(DirectoryDecompression(s.Target, s.PackageFile, &r), 0);
  EXPECT_EQ(r.Issues.at(0).Reason, "index length 67108865 is over the limit of 67108864 bytes");
}

TEST(DirectoryDecompression, RefusesEveryPathThatLeavesTheTarget) {
  // The target sits three folders down so that escapes of one to three levels land in
  // folders this test can see; nothing may appear anywhere but target\good.txt.
  TempDir dir;
  std::string target = dir / "one\\two\\target";
  std::string packageFile = dir / "one\\two\\pkg.vtzip";
  platform::ForceDirectories(target);
  const std::vector<std::string> escaping = {
      "..\\evil1.txt",
      "..\\..\\evil2.txt",
      "..\\..\\..\\evil3.txt",
      "sub\\..\\..\\evil4.txt",
      "../evil5.txt",
      "sub/../../evil6.txt",
      "\\evil7.txt",
      "/evil8.txt",
      "\\\\localhost\\c$\\evil9.txt",
      "\\\\?\\C:\\evil10.txt",
      "\\\\.\\C:\\evil11.txt",
      "C:\\evil12.txt",
      "C:evil13.txt",
      "Z:\\tmp\\evil14.txt",
      "good.txt:evil15",
      "good.txt::$DATA",
      "CON",
      "nul.txt",
      "sub\\aux",
      "COM1.log",
      "LPT1",
      "..",
      ".",
      "sub\\",
      "evil16.txt.",
      "evil17.txt ",
      std::string("evil18.txt\0.exe", 15),
      "a*",
      "a?",
      "pkg.vtzip\\..\\..\\pkg.vtzip",
  };
  std::string index, blocks;
  for (const std::string& name : escaping) {
    std::string block = Zlib("escaped " + name);
    index += Line(name, block) + "\r\n";
    blocks += block;
  }
  std::string good = Zlib("good");
  index += Line("good.txt", good) + "\r\n";
  blocks += good;
  WriteBytes(packageFile, Package(index, blocks));

  TLogCapture log;
  TExtractReport r;
  EXPECT_EQ(DirectoryDecompression(target, packageFile, &r), static_cast<int32_t>(escaping.size() + 1));
  EXPECT_EQ(r.Refused, static_cast<int32_t>(escaping.size()));
  EXPECT_EQ(r.Written, 1);
  EXPECT_EQ(ListTree(dir.Path()), (std::vector<std::string>{"one/two/pkg.vtzip", "one/two/target/good.txt"}));
  EXPECT_FALSE(platform::FileExists("C:\\evil10.txt"));
  EXPECT_FALSE(platform::FileExists("C:\\evil12.txt"));
  EXPECT_EQ(log.Lines.front(),
            "[Splash]==================== DirectoryDecompression Refused:= ..\\evil1.txt (parent-directory part)");
  EXPECT_EQ(log.Lines.back(), kFile + target + "\\good.txt");
  // The refused name is logged printable: the NUL shows as '?'.
  EXPECT_EQ(Subjects(r, TExtractIssue::TKind::ikRefused)[26], "evil18.txt?.exe (control character)");
}

TEST(DirectoryDecompression, MalformedLinesAreRefusedAndLaterBlocksKeepTheirPlaces) {
  TSandbox s;
  std::string a = Zlib("AAA"), b = Zlib("BBB"), c = Zlib("CCC");
  // Lines without a size take no bytes; "d.txt|0" takes none either.
  std::string index = Line("a.txt", a) + "\r\nno bar here\r\nx.txt|abc\r\ny.txt|-5\r\nz.txt|0x10\r\n" +
                      Line("b.txt", b) + "\r\nd.txt|0\r\nw.txt|99999999999\r\n" + Line("c.txt", c);
  s.Write(Package(index, a + b + c));
  TLogCapture log;
  TExtractReport r;
  EXPECT_EQ(DirectoryDecompression(s.Target, s.PackageFile, &r), 9);
  EXPECT_EQ(r.Written, 3);
  EXPECT_EQ(r.Refused, 6);
  EXPECT_EQ(ReadBytes(s.In("a.txt")) + ReadBytes(s.In("b.txt")) + ReadBytes(s.In("c.txt")), "AAABBBCCC");
  EXPECT_EQ(ListTree(s.Target), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(
      Subjects(r, TExtractIssue::TKind::ikRefused),
      (std::vector<std::string>{
          "no bar here (index line without '|')", "x.txt (block size is not a decimal number from 0 to 2147483647)",
          "y.txt (block size is not a decimal number from 0 to 2147483647)",
          "z.txt (block size is not a decimal number from 0 to 2147483647)", "d.txt (block size 0)",
          "w.txt (block size is not a decimal number from 0 to 2147483647)"}));
  EXPECT_EQ(log.Lines.at(1),
            "[Splash]==================== DirectoryDecompression Refused:= no bar here (index line "
            "without '|')");
}

TEST(DirectoryDecompression, CorruptEntriesFailAloneWithoutHanging) {
  TSandbox s;
  std::string data(40000, 'd');
  for (size_t i = 0; i < data.size(); i += 7) data[i] = static_cast<char>(i);
  std::string good = Zlib(data);
  std::string corrupt = good;
  corrupt[1] ^= 0x01;                                        // the header check fails
  std::string shortBlock = good.substr(0, good.size() / 2);  // the zlib stream runs on past its block
  std::string trailing = good + "JUNK";                      // the zlib stream ends before its block
  std::string dictionary("\x78\xBB\x00\x00\x00\x01\x03\x00\x00\x00\x00\x01", 12);
  std::string index = Line("corrupt.bin", corrupt) + "\r\n" + Line("short.bin", shortBlock) + "\r\n" +
                      Line("trailing.bin", trailing) + "\r\n" + Line("dict.bin", dictionary) + "\r\n" +
                      Line("Skin", good) + "\r\n" + Line("Skin\\x.bin", good) + "\r\n" + Line("good.bin", good);
  s.Write(Package(index, corrupt + shortBlock + trailing + dictionary + good + good + good));
  // "Skin" is a folder already: the file cannot be created there.
  platform::ForceDirectories(s.Target + "\\Skin");

  TLogCapture log;
  TExtractReport r;
  EXPECT_EQ(DirectoryDecompression(s.Target, s.PackageFile, &r), 7);
  EXPECT_EQ(r.Written, 3);
  EXPECT_EQ(r.Failed, 4);
  EXPECT_EQ(ReadBytes(s.In("trailing.bin")), data);
  EXPECT_EQ(ReadBytes(s.In("good.bin")), data);
  EXPECT_EQ(ReadBytes(s.In("Skin\\x.bin")), data);
  std::string partial = ReadBytes(s.In("short.bin"));  // what inflated before the block ended
  EXPECT_LT(partial.size(), data.size());
  EXPECT_EQ(partial, data.substr(0, partial.size()));
  std::vector<std::string> failed = Subjects(r, TExtractIssue::TKind::ikFailed);
  ASSERT_EQ(failed.size(), 4u);
  EXPECT_EQ(failed[0], s.In("corrupt.bin") + " (corrupt compressed data)");
  EXPECT_EQ(failed[1], s.In("short.bin") + " (compressed data ends early; the file is incomplete)");
  EXPECT_EQ(failed[2], s.In("dict.bin") + " (corrupt compressed data)");
  EXPECT_EQ(failed[3].rfind(s.In("Skin") + " (Cannot create file \"" + s.In("Skin") + "\". ", 0), 0u) << failed[3];
  EXPECT_EQ(Subjects(r, TExtractIssue::TKind::ikWarning),
            std::vector<std::string>{s.In("trailing.bin") + " (4 bytes after the end of the compressed data ignored)"});
  EXPECT_EQ(log.Lines.at(1), "[Splash]==================== DirectoryDecompression Failed:= " + s.In("corrupt.bin") +
                                 " (corrupt compressed data)");
}

TEST(DirectoryDecompression, NeverOverwritesThePackageItReads) {
  TempDir dir;
  std::string target = dir / "prog";
  std::string packageFile = target + "\\NVOrbelle_UpdateConfig.vtzip";
  std::string a = Zlib("a"), b = Zlib("b");
  std::string bytes = Package(Line("nvorbelle_updateconfig.VTZIP", a) + "\r\n" + Line("b.txt", b), a + b);
  platform::ForceDirectories(target);
  WriteBytes(packageFile, bytes);
  TExtractReport r;
  EXPECT_EQ(DirectoryDecompression(target, packageFile, &r), 2);
  EXPECT_EQ(Subjects(r, TExtractIssue::TKind::ikRefused),
            std::vector<std::string>{"nvorbelle_updateconfig.VTZIP (names the package itself)"});
  EXPECT_EQ(ReadBytes(packageFile), bytes);
  EXPECT_EQ(ReadBytes(target + "\\b.txt"), "b");
  EXPECT_EQ(DirectoryDecompression("", packageFile, &r), 0);  // no target: nothing, not the drive root
  EXPECT_TRUE(r.PackageRefused);
}

TEST(DecompressFile, WritesTheFileOrRaises) {
  TempDir dir;
  EXPECT_EQ(DecompressFile(dir / "x.bin", nullptr), -1);
  EXPECT_FALSE(platform::FileExists(dir / "x.bin"));

  base::TStringStream block(Zlib(std::string(100000, 'z')));
  EXPECT_EQ(DecompressFile(dir / "a\\b\\x.bin", &block), 100000);
  EXPECT_EQ(ReadBytes(dir / "a\\b\\x.bin"), std::string(100000, 'z'));

  base::TStringStream corrupt(std::string("\x78\x9C\xFF\xFF\xFF\xFF", 6));
  EXPECT_THROW(DecompressFile(dir / "c.bin", &corrupt), base::EDecompressionError);
  base::TStringStream again(Zlib("x"));
  EXPECT_THROW(DecompressFile(dir / "a", &again), base::EFCreateError);  // a folder
}
