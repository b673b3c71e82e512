// Arbitrary bytes as an update package. The extractor must return without crash, hang or
// sanitizer report, write nothing outside its target directory, and log single lines
// only; the reader, the block inflater and the inflate stream must take the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>

#include "base/Exceptions.h"
#include "base/Log.h"
#include "base/Stream.h"
#include "base/ZLibStream.h"
#include "package/BlockStream.h"
#include "package/Decompression.h"
#include "package/PackageReader.h"

namespace fs = std::filesystem;

namespace {

// <tmp>/orbelle-package-fuzz-<pid>/a/b/c/{pkg.vtzip,target}: an escape of up to three
// levels lands in a folder that is checked after every input.
struct TSandbox {
  fs::path Root, Level3, Target, Package;
  TSandbox() {
    Root = fs::temp_directory_path() / ("orbelle-package-fuzz-" + std::to_string(std::random_device()()));
    Level3 = Root / "a" / "b" / "c";
    Target = Level3 / "target";
    Package = Level3 / "pkg.vtzip";
    fs::create_directories(Level3);
  }
  ~TSandbox() {
    std::error_code ec;
    fs::remove_all(Root, ec);
  }
};

void Fail(const std::string& why) {
  std::fprintf(stderr, "package_fuzz: %s\n", why.c_str());
  std::abort();
}

void ExpectOnly(const fs::path& dir, const std::set<std::string>& names) {
  for (const auto& e : fs::directory_iterator(dir))
    if (!names.count(e.path().filename().string())) Fail("written outside the target: " + e.path().string());
}

void CheckLine(void*, const std::string& line) {
  for (char c : line)
    if (static_cast<unsigned char>(c) < 0x20) Fail("control character in log line: " + line);
}

void InflateEveryBlock(const std::string& bytes) {
  base::TStringStream s(bytes);
  package::TPackageReader reader(s);
  for (const package::TPackageEntry& e : reader.Entries()) {
    if (e.Offset + e.Size > static_cast<int64_t>(bytes.size())) Fail("entry past the end of an accepted package");
    package::TBlockStream block(s, e.Offset, e.Size);
    try {
      package::InflateBlock(block, nullptr);
    } catch (const base::EDecompressionError&) {
    }
  }
}

void InflateAsStream(const std::string& bytes, base::TZStreamFormat format) {
  base::TStringStream s(bytes);
  base::TDecompressionStream z(s, format);
  char buffer[997];
  int64_t total = 0;
  try {
    while (int32_t n = z.Read(buffer, sizeof buffer)) {
      total += n;
      if (total > (8 << 20)) break;  // enough: deflate can expand 1032 times
    }
  } catch (const base::EDecompressionError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TSandbox sandbox;
  static const bool sinkInstalled = (base::SetLogSink({&CheckLine, nullptr}), true);
  (void)sinkInstalled;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  {
    base::TFileStream f(sandbox.Package.string(), base::fmCreate);
    f.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  }
  package::TExtractReport report;
  int32_t result = package::DirectoryDecompression(sandbox.Target.string(), sandbox.Package.string(), &report);
  if (result < -2) Fail("result below -2");
  if (result > 0 && report.Written + report.Refused + report.Failed != result) Fail("report does not add up");

  ExpectOnly(sandbox.Root, {"a"});
  ExpectOnly(sandbox.Root / "a", {"b"});
  ExpectOnly(sandbox.Root / "a" / "b", {"c"});
  ExpectOnly(sandbox.Level3, {"pkg.vtzip", "target"});
  std::error_code ec;
  fs::remove_all(sandbox.Target, ec);

  InflateEveryBlock(bytes);
  InflateAsStream(bytes, base::TZStreamFormat::zsfAuto);
  InflateAsStream(bytes, base::TZStreamFormat::zsfRaw);
  return 0;
}
