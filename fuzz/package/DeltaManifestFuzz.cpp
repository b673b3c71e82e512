// Arbitrary bytes as a delta manifest. The parser must return without crash, hang or
// sanitizer report; what it accepts must hold only safe names, sizes in range and 32-byte
// digests, every diff with its base, and must read back the same from its own text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "package/DeltaPackage.h"
#include "package/EntryName.h"

namespace {

void Fail(const std::string& why) {
  std::fprintf(stderr, "delta_manifest_fuzz: %s\n", why.c_str());
  std::abort();
}

bool Same(const package::TDeltaManifest& a, const package::TDeltaManifest& b) {
  if (a.Bases.size() != b.Bases.size() || a.Files.size() != b.Files.size() || a.Removed != b.Removed) return false;
  for (size_t i = 0; i < a.Bases.size(); ++i)
    if (a.Bases[i].Name != b.Bases[i].Name || a.Bases[i].Size != b.Bases[i].Size ||
        a.Bases[i].Sha256 != b.Bases[i].Sha256)
      return false;
  for (size_t i = 0; i < a.Files.size(); ++i)
    if (a.Files[i].Name != b.Files[i].Name || a.Files[i].Size != b.Files[i].Size ||
        a.Files[i].Sha256 != b.Files[i].Sha256 || a.Files[i].How != b.Files[i].How)
      return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  package::TDeltaManifest m;
  std::string problem;
  if (!package::TDeltaManifest::Parse(text, m, problem)) {
    if (problem.empty()) Fail("refused without a reason");
    return 0;
  }
  if (!problem.empty()) Fail("accepted with a problem");
  for (const package::TDeltaFile& f : m.Files) {
    if (!package::CheckEntryName(f.Name).empty()) Fail("accepted an unsafe name");
    if (f.Size < 0 || f.Sha256.size() != 32) Fail("accepted a bad size or digest");
  }
  for (const package::TDeltaBase& b : m.Bases)
    if (!package::CheckEntryName(b.Name).empty() || b.Size < 0 || b.Sha256.size() != 32) Fail("accepted a bad base");
  package::TDeltaManifest again;
  if (!package::TDeltaManifest::Parse(m.Text(), again, problem) || !Same(m, again))
    Fail("its own text does not read back the same");
  return 0;
}
