#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "PackageTestSupport.h"
#include "base/Stream.h"
#include "crypto/Sha256.h"
#include "package/DeltaPackage.h"
#include "package/PackageWriter.h"
#include "platform/Files.h"
#include "support/TempDir.h"
#include "vtzip/Vtzip.h"

using namespace packagetest;
using testsupport::TempDir;
using TTree = std::map<std::string, std::string>;

namespace {

std::string Random(uint32_t seed, size_t n) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (char& c : s) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

void WriteTree(const std::string& dir, const TTree& tree) {
  platform::ForceDirectories(dir);
  for (const auto& [name, data] : tree) {
    platform::ForceDirectories(base::ExtractFilePath(dir + "\\" + name));
    WriteBytes(dir + "\\" + name, data);
  }
}

TTree ReadTree(const std::string& dir) {
  TTree tree;
  for (const std::string& name : ListTree(dir)) {
    std::string backslashed = name;
    for (char& c : backslashed) c = c == '/' ? '\\' : c;
    tree[backslashed] = ReadBytes(dir + "\\" + name);
  }
  return tree;
}

int Vtzip(const std::vector<std::string>& args, std::string* out = nullptr) {
  std::ostringstream o, e;
  int code = vtzip::Run(args, o, e);
  if (out) *out = o.str() + e.str();
  return code;
}

std::string Hex(const std::string& data) { return crypto::ToHex(crypto::Sha256(data)); }

}  // namespace

// vtzip delta, then vtzip delta-apply (the launcher's installer and its checks) rebuild
// the new release byte for byte, from folders and from packages.
TEST(DeltaPackage, RoundTripsReleaseChanges) {
  const std::string program = Random(1, 3 << 20);
  std::string moved = program.substr(2 << 20) + program.substr(0, 2 << 20);
  std::string patched = program;
  patched.insert(100000, Random(2, 5000));
  patched.erase(1500000, 7000);
  for (size_t at = 4096; at < patched.size(); at += 65536) patched[at] ^= 0x20;
  struct TCase {
    const char* Name;
    TTree Base, Target;
  };
  const TCase cases[] = {
      {"files added", {{"a.txt", "a"}}, {{"a.txt", "a"}, {"Sub\\b.txt", "b"}, {"c.bin", Random(3, 1000)}}},
      {"files removed", {{"a.txt", "a"}, {"Sub\\b.txt", "b"}, {"c.txt", "c"}}, {{"a.txt", "a"}}},
      {"a rename (a removal and an addition)", {{"old.dll", program}}, {{"new.dll", program}}},
      {"empty files made, emptied and filled",
       {{"e1", ""}, {"e2", "was full"}, {"e3", ""}},
       {{"e1", ""}, {"e2", ""}, {"e3", "now full"}, {"e4", ""}}},
      {"large binaries with inserted, deleted, moved and changed blocks",
       {{"Bin\\Engine.dll", program}, {"Bin\\Moved.dll", program}, {"Readme.txt", "old"}},
       {{"Bin\\Engine.dll", patched}, {"Bin\\Moved.dll", moved}, {"Readme.txt", "new"}}},
      {"nothing changed", {{"a.txt", "same"}}, {{"a.txt", "same"}}},
      {"from an empty release", {}, {{"a.txt", "first"}}},
  };
  for (const TCase& c : cases) {
    for (bool packages : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (packages ? " (packages)" : " (folders)"));
      TempDir dir;
      WriteTree(dir / "base", c.Base);
      WriteTree(dir / "new", c.Target);
      std::string base = dir / "base", target = dir / "new", text;
      if (packages) {
        ASSERT_EQ(Vtzip({"pack", dir / "base", dir / "base.vtzip"}), 0);
        ASSERT_EQ(Vtzip({"pack", dir / "new", dir / "new.vtzip"}), 0);
        base = dir / "base.vtzip", target = dir / "new.vtzip";
      }
      ASSERT_EQ(Vtzip({"delta", base, target, dir / "d.vtdelta", "--level", "9"}, &text), 0) << text;
      ASSERT_EQ(Vtzip({"delta-apply", base, dir / "d.vtdelta", dir / "out"}, &text), 0) << text;
      EXPECT_TRUE(ReadTree(dir / "out") == c.Target);
      EXPECT_FALSE(platform::FileExists(dir / "out\\~OrbelleUpdate.journal"));
      if (std::string(c.Name).rfind("large", 0) == 0) {
        EXPECT_LT(platform::FileSize(dir / "d.vtdelta"), 40000);
      }
    }
  }
}

// The manifest is untrusted: each line and the lines together are checked.
TEST(DeltaPackage, ManifestParserRefusesWhatCannotBeApplied) {
  const std::string h = "0000000000000000000000000000000000000000000000000000000000000000";
  const std::string head = "OrbelleDelta|1\r\n";
  struct TCase {
    std::string Text;
    std::string Problem;  // empty: accepted
  };
  const TCase cases[] = {
      {head + "Base|5|" + h + "|Bin\\a.dll\r\nFile|diff|7|" + h + "|Bin\\A.DLL\r\nFile|keep|0|" + h +
           "|b\nFile|whole|3|" + h + "|c\rRemove|d\r\n",
       ""},
      {head, ""},
      {"", "line 0: the manifest is empty"},
      {"OrbelleDelta|2\r\n", "line 1: not a delta manifest of a known version"},
      {head + "Copy|a\r\n", "line 2: not a Base, File or Remove line"},
      {head + "File|patch|1|" + h + "|a\r\n", "line 2: the kind is not keep, whole or diff"},
      {head + "File|keep|-1|" + h + "|a\r\n", "line 2: the size is not a byte count"},
      {head + "File|keep|1234567890123456789|" + h + "|a\r\n", "line 2: the size is not a byte count"},
      {head + "File|keep|1|" + h.substr(1) + "|a\r\n", "line 2: the SHA-256 is not 64 hex digits"},
      {head + "File|keep|1|" + h + "\r\n", "line 2: a File line needs kind, size, SHA-256 and name"},
      {head + "File|keep|1|" + h + "|..\\x\r\n", "line 2: ..\\x: parent-directory part"},
      {head + "File|keep|1|" + h + "|C:\\x\r\n", "line 2: C:\\x: drive letter or stream name"},
      {head + "File|keep|1|" + h + "|a\r\nFile|whole|1|" + h + "|A\r\n", "line 3: the file is named twice"},
      {head + "Remove|a\r\nRemove|a\r\n", "line 3: the removal is named twice"},
      {head + "File|keep|1|" + h + "|a\r\nRemove|a\r\n", "a is both a file of the result and removed"},
      {head + "File|diff|1|" + h + "|a\r\n", "a is a diff without its Base line"},
      {head + "Base|1|" + h + "|a\r\nFile|whole|1|" + h + "|a\r\n", "a is a Base no diff reads"},
      {head + "File|whole|1|" + h + "|~OrbelleDelta.manifest\r\n", "line 2: a file takes the manifest's name"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    package::TDeltaManifest m;
    std::string problem;
    EXPECT_EQ(package::TDeltaManifest::Parse(c.Text, m, problem), c.Problem.empty());
    EXPECT_EQ(problem, c.Problem);
  }
}

// Deltas that do not fit the installation, or whose bytes disagree with their manifest,
// change nothing installed and leave no journal or staging folder.
TEST(DeltaPackage, InstallChangesNothingWhenAnythingDisagrees) {
  const std::string program = Random(5, 200000);
  std::string next = program;
  next.replace(1000, 4, "EDIT");
  const TTree installed = {{"prog.dll", program}, {"keep.txt", "kept"}, {"gone.txt", "x"}};
  const std::string manifestOk = "OrbelleDelta|1\r\nFile|whole|3|" + Hex("new") + "|n.txt\r\n";
  struct TCase {
    const char* Name;
    TTree Changes;         // to the installation before the delta
    std::string Manifest;  // empty: the delta vtzip makes
    std::string Problem;   // a part of the first problem
  };
  const TCase cases[] = {
      {"a base file the user changed", {{"prog.dll", next}}, "", "prog.dll is not the file the delta was made for"},
      {"a base file of another size", {{"prog.dll", "short"}}, "", "prog.dll has 5 bytes, the delta expects 200000"},
      {"a kept file missing", {{"keep.txt", ""}}, "", "keep.txt has 0 bytes, the delta expects 4"},
      {"a whole file whose digest differs",
       {},
       "OrbelleDelta|1\r\nFile|whole|3|" + Hex("old") + "|n.txt\r\n",
       "n.txt (its SHA-256 is not the manifest's)"},
      {"a whole file longer than its manifest size",
       {},
       "OrbelleDelta|1\r\nFile|whole|2|" + Hex("ne") + "|n.txt\r\n",
       "n.txt (it has 3 bytes, the manifest says 2)"},
      {"entries the manifest does not list", {}, manifestOk + "\r\n", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir dir;
    TTree now = installed;
    for (const auto& [name, data] : c.Changes) now[name] = data;
    WriteTree(dir / "inst", now);
    std::string delta = dir / "d.vtdelta";
    if (c.Manifest.empty()) {
      WriteTree(dir / "old", installed);
      WriteTree(dir / "new", {{"prog.dll", next}, {"keep.txt", "kept"}, {"n.txt", "new"}});
      ASSERT_EQ(Vtzip({"delta", dir / "old", dir / "new", delta}), 0);
    } else {
      package::TPackageWriter w(delta, 6, package::kDeltaMagic);
      w.AddBlock(package::kDeltaManifestName, Zlib(c.Manifest), 0);
      w.AddBlock("n.txt", Zlib("new"), 3);
      if (std::string(c.Name).rfind("entries", 0) == 0) w.AddBlock("extra.txt", Zlib("x"), 1);
      w.Finish();
    }
    package::TInstallReport r = package::InstallDelta(dir / "inst", delta, dir / "journal.txt", "2");
    EXPECT_FALSE(r.Installed);
    ASSERT_FALSE(r.Problems.empty());
    EXPECT_NE(r.Problems.front().find(c.Problem.empty() ? "entries the manifest does not list" : c.Problem),
              std::string::npos)
        << r.Problems.front();
    EXPECT_TRUE(ReadTree(dir / "inst") == now);
    EXPECT_FALSE(platform::FileExists(dir / "journal.txt"));
  }
}

// A start that dies in the middle of a delta's commit leaves a journal whose removals the
// next start reads like its other moves: every file goes back as it was.
TEST(DeltaPackage, AnInstallCutShortIsUndoneByTheNextStart) {
  TempDir dir;
  const TTree installed = {{"a.txt", "old a"}, {"b.txt", "old b"}, {"gone.txt", "gone"}};
  WriteTree(dir / "old", installed);
  WriteTree(dir / "new", {{"a.txt", "new a"}, {"b.txt", "new b"}});
  ASSERT_EQ(Vtzip({"delta", dir / "old", dir / "new", dir / "d.vtdelta"}), 0);
  WriteTree(dir / "inst", installed);
  std::string journal = dir / "inst\\~OrbelleUpdate.journal";
  package::TInstallOptions options;
  options.BeforeMove = [](int32_t index) {
    if (index == 2) throw std::runtime_error("killed before the removal");
  };
  package::TInstallReport r = package::InstallDelta(dir / "inst", dir / "d.vtdelta", journal, "2.0.0.1", options);
  EXPECT_FALSE(r.Installed);
  ASSERT_TRUE(platform::FileExists(journal));
  EXPECT_EQ(ReadBytes(dir / "inst\\a.txt"), "new a");
  package::TRecoveryReport rec = package::RecoverInstall(dir / "inst", journal);
  EXPECT_EQ(rec.Outcome, package::TRecoveryOutcome::roOld);
  EXPECT_FALSE(platform::FileExists(journal));
  EXPECT_TRUE(ReadTree(dir / "inst") == installed);
}
