// vtzip pack, then the product's extractor, reproduce a tree of over a thousand files
// byte for byte: nested folders, empty files, names with spaces and 8-bit characters,
// and one file over 100 MB. The data is generated at test time from a seed and streamed,
// so no file is ever held whole in memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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

constexpr int kFiles = 1050;
constexpr int64_t kBigSize = (100 << 20) + 54321;
constexpr int32_t kChunk = 1 << 20;

// Deterministic content: runs of text, of noise and of a repeated byte, chosen per 4 KiB,
// so the package holds stored, fixed and dynamic deflate blocks.
class TContent {
 public:
  explicit TContent(uint64_t seed) : FState(seed * 0x9E3779B97F4A7C15ull + 1) {}
  void Fill(char* p, size_t n) {
    while (n > 0) {
      if (FRun == 0) {
        FKind = Next() % 3;
        FRun = 4096;
      }
      size_t k = std::min(n, FRun);
      for (size_t i = 0; i < k; ++i, ++FOffset) {
        switch (FKind) {
          case 0: p[i] = kText[FOffset % (sizeof kText - 1)]; break;
          case 1: p[i] = static_cast<char>(Next() >> 24); break;
          default: p[i] = static_cast<char>(FOffset >> 12); break;
        }
      }
      p += k;
      n -= k;
      FRun -= k;
    }
  }

 private:
  uint64_t Next() {
    FState ^= FState << 13;
    FState ^= FState >> 7;
    FState ^= FState << 17;
    return FState;
  }
  static constexpr char kText[] = "Norvale Orbelle update package round trip, line after line. ";
  uint64_t FState;
  uint64_t FOffset = 0;
  size_t FRun = 0;
  uint64_t FKind = 0;
};

struct TFileSpec {
  std::string Name;  // 8-bit, backslashes
  int64_t Size;
  uint64_t Seed;
};

std::vector<TFileSpec> Tree() {
  // Names with spaces and with 8-bit characters of the system code page (those that it
  // holds: Wine's code page follows the locale it runs in).
  std::vector<std::string> accents;
  for (const char* utf8 : {"\u00e9t\u00e9", "M\u00fcnchen", "Stra\u00dfe", "\u00a9 caf\u00e9"})
    if (base::AnsiToWide(Ansi(utf8)) == base::Utf8ToWide(utf8)) accents.push_back(Ansi(utf8));
  EXPECT_FALSE(accents.empty()) << "no 8-bit names in this code page";
  while (accents.size() < 5) accents.push_back("plain");
  std::vector<TFileSpec> files;
  uint64_t x = 7;
  for (int i = 0; i < kFiles; ++i) {
    x = x * 6364136223846793005ull + 1442695040888963407ull;
    std::string name = "Folder " + std::to_string(i % 9);
    for (int depth = 0; depth < i % 4; ++depth) name += "\\" + accents[(i + depth) % 5] + " " + std::to_string(depth);
    name += "\\file " + accents[i % 5] + " " + std::to_string(i) + (i % 3 ? ".bin" : ".txt");
    int64_t size = i % 37 == 0 ? 0 : static_cast<int64_t>((x >> 33) % 9000);
    files.push_back({name, size, x});
  }
  files.push_back({"Big data\\large " + accents[0] + ".dat", kBigSize, 42});
  return files;
}

void Generate(const std::string& root, const TFileSpec& f) {
  std::string path = root + "\\" + f.Name;
  platform::ForceDirectories(path.substr(0, path.rfind('\\')));
  base::TFileStream out(path, base::fmCreate);
  TContent content(f.Seed);
  std::vector<char> buf(kChunk);
  for (int64_t left = f.Size; left > 0;) {
    int32_t n = static_cast<int32_t>(std::min<int64_t>(left, kChunk));
    content.Fill(buf.data(), static_cast<size_t>(n));
    out.WriteBuffer(buf.data(), n);
    left -= n;
  }
}

// Empty when the file at path holds exactly the generated content, else what differs.
std::string Compare(const std::string& path, const TFileSpec& f) {
  if (platform::FileSize(path) != f.Size) return "size " + std::to_string(platform::FileSize(path));
  base::TFileStream in(path, platform::fmOpenRead | platform::fmShareDenyWrite);
  TContent content(f.Seed);
  std::vector<char> want(kChunk), got(kChunk);
  for (int64_t done = 0; done < f.Size;) {
    int32_t n = static_cast<int32_t>(std::min<int64_t>(f.Size - done, kChunk));
    content.Fill(want.data(), static_cast<size_t>(n));
    in.ReadBuffer(got.data(), n);
    if (std::memcmp(want.data(), got.data(), static_cast<size_t>(n)) != 0)
      return "content differs in the MiB at " + std::to_string(done);
    done += n;
  }
  return {};
}

int Vtzip(const std::vector<std::string>& args, std::string* out = nullptr) {
  std::ostringstream o, e;
  int code = vtzip::Run(args, o, e);
  if (out) *out = o.str();
  if (code != 0) ADD_FAILURE() << args[0] << ": " << e.str();
  return code;
}

}  // namespace

TEST(RoundTrip, PackThenExtractReproducesTheTree) {
  TempDir dir;
  std::string src = dir / "src", pkg = dir / "update.vtzip", out = dir / "out";
  std::vector<TFileSpec> files = Tree();
  for (const TFileSpec& f : files) Generate(src, f);
  ASSERT_GE(ListTree(src).size(), 1000u);

  ASSERT_EQ(Vtzip({"pack", src, pkg, "--level", "1"}), 0);
  std::string verify;
  ASSERT_EQ(Vtzip({"verify", pkg}, &verify), 0);
  EXPECT_EQ(verify.substr(verify.find("OK")), "OK, " + std::to_string(files.size()) + " files, " + std::to_string([&] {
                                                int64_t n = 0;
                                                for (const TFileSpec& f : files) n += f.Size;
                                                return n;
                                              }()) +
                                                  " bytes\n");

  TLogCapture log;
  ASSERT_EQ(Vtzip({"extract", pkg, out}), 0);
  EXPECT_EQ(log.Lines.size(), files.size());

  // Exactly the generated files, under the same names, with the same bytes.
  std::vector<std::string> expected;
  for (const TFileSpec& f : files) {
    std::string name = f.Name;
    std::replace(name.begin(), name.end(), '\\', '/');
    expected.push_back(name);
    EXPECT_EQ(Compare(out + "\\" + f.Name, f), "") << f.Name;
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ListTree(out), expected);
}
