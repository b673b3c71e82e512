// Times the binary diff on one pair of files, for bench/delta/run:
//   delta_bench diff BASE NEW OUT      writes the diff; prints "<bytes> <seconds>"
//   delta_bench apply BASE DIFF OUT SIZE   rebuilds NEW of SIZE bytes (best of three);
//                                          prints "<bytes> <seconds>"
#include <chrono>
#include <cstdio>
#include <string>

#include "base/Stream.h"
#include "package/BinaryDiff.h"
#include "platform/Files.h"

namespace {

std::string ReadAll(const std::string& name) {
  base::TFileStream f(name, platform::fmOpenRead | platform::fmShareDenyWrite);
  std::string data(static_cast<size_t>(f.Size()), '\0');
  if (!data.empty()) f.ReadBuffer(data.data(), static_cast<int32_t>(data.size()));
  return data;
}

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: delta_bench diff BASE NEW OUT | apply BASE DIFF OUT SIZE\n");
    return 2;
  }
  std::string mode = argv[1];
  if (mode == "diff") {
    std::string base = ReadAll(argv[2]), target = ReadAll(argv[3]);
    auto start = std::chrono::steady_clock::now();
    base::TFileStream out(argv[4], base::fmCreate);
    package::TDiffStats st = package::WriteBinaryDiff(base, target, out, 9);
    std::fprintf(stderr, "copied %lld, with additions %lld, inserted %lld, %lld controls\n",
                 static_cast<long long>(st.Copied), static_cast<long long>(st.Adjusted),
                 static_cast<long long>(st.Inserted), static_cast<long long>(st.Controls));
    std::printf("%lld %.3f\n", static_cast<long long>(out.Size()), Seconds(start));
    return 0;
  }
  if (mode != "apply" || argc != 6) return 2;
  int64_t newSize = std::stoll(argv[5]);
  double best = 1e9;
  int64_t size = 0;
  for (int i = 0; i < 3; ++i) {
    base::TFileStream diff(argv[3], platform::fmOpenRead | platform::fmShareDenyWrite);
    base::TFileStream base(argv[2], platform::fmOpenRead | platform::fmShareDenyWrite);
    base::TFileStream out(argv[4], base::fmCreate);
    auto start = std::chrono::steady_clock::now();
    package::TPatchResult r = package::ApplyBinaryDiff(diff, diff.Size(), base, out, newSize);
    double s = Seconds(start);
    if (r.Status != package::TDiffStatus::dsOk) {
      std::fprintf(stderr, "delta_bench: %s\n", r.Problem.c_str());
      return 1;
    }
    size = r.Size;
    best = s < best ? s : best;
  }
  std::printf("%lld %.3f\n", static_cast<long long>(size), best);
  return 0;
}
