// Arbitrary bytes as a binary diff. The input is taken as the inflated stream (compressed
// here, so that the fuzzer steers the controls and chunks themselves) and once more as the
// zlib stream itself. The reader must return without crash, hang or sanitizer report,
// never write past the size it was given, and give that size exactly when it accepts.
// The input is also diffed as a new file against a fixed base: that must round-trip.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/Stream.h"
#include "base/ZLibStream.h"
#include "package/BinaryDiff.h"

namespace {

void Fail(const std::string& why) {
  std::fprintf(stderr, "diff_fuzz: %s\n", why.c_str());
  std::abort();
}

const std::string& Base() {
  static const std::string base = [] {
    std::string s;
    uint32_t x = 12345;
    for (int i = 0; i < 2048; ++i) {
      x = x * 1103515245 + 12345;
      s += static_cast<char>(x >> 24);
    }
    return s + std::string(1024, '\0') + "The quick brown fox jumps over the lazy dog. " + std::string(900, 'A');
  }();
  return base;
}

// The new size the stream's header announces (so that the fuzzer gets past it), capped.
int64_t AnnouncedSize(const std::string& stream) {
  size_t p = 5;
  uint64_t v[2] = {0, 0};
  for (uint64_t& value : v) {
    for (int shift = 0; shift < 63 && p < stream.size(); shift += 7) {
      uint8_t b = static_cast<uint8_t>(stream[p++]);
      value |= static_cast<uint64_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) break;
    }
  }
  return v[1] > (1u << 20) ? 1 << 20 : static_cast<int64_t>(v[1]);
}

void Apply(const std::string& zlibStream, int64_t newSize) {
  base::TStringStream diff(zlibStream), base(Base()), out;
  package::TPatchResult r = package::ApplyBinaryDiff(diff, static_cast<int64_t>(zlibStream.size()), base, out, newSize);
  if (r.Size > newSize || static_cast<int64_t>(out.DataString().size()) != r.Size) Fail("wrote past the new size");
  if (r.Status == package::TDiffStatus::dsOk && r.Size != newSize) Fail("accepted a short result");
  if ((r.Status == package::TDiffStatus::dsOk) != r.Problem.empty()) Fail("problem text does not match the status");
}

std::string Compress(const std::string& data) {
  base::TStringStream out;
  base::TCompressionStream z(out, 1);
  if (!data.empty()) z.WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  z.Finish();
  return out.DataString();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  Apply(Compress(bytes), AnnouncedSize(bytes));
  Apply(bytes, 64);

  base::TStringStream diff;
  package::WriteBinaryDiff(Base(), bytes, diff, 1);
  base::TStringStream diffIn(diff.DataString()), base(Base()), out;
  package::TPatchResult r = package::ApplyBinaryDiff(diffIn, static_cast<int64_t>(diff.DataString().size()), base, out,
                                                     static_cast<int64_t>(bytes.size()));
  if (r.Status != package::TDiffStatus::dsOk || out.DataString() != bytes) Fail("a written diff does not round-trip");
  return 0;
}
