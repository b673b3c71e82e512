// Blending 4096 rows of 4096 pixels over an opaque picture: the product's MMX and plain
// row blends against pixman's OVER of the same pixels (premultiplied, as pixman takes
// them), for sources of random alpha and for sources that are mostly clear or opaque.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "blend/BlendMMX.h"
#include "blend/BlendPlain.h"
#include "blend/CpuFeatures.h"

namespace {

constexpr int kSide = 4096;
constexpr size_t kPixels = size_t{kSide} * kSide;

struct TPictures {
  std::vector<uint32_t> Source, Premultiplied, Dest;
};

uint32_t Premultiply(uint32_t p) {
  const uint32_t a = p >> 24;
  uint32_t out = p & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) out |= ((((p >> shift) & 0xFF) * a + 127) / 255) << shift;
  return out;
}

// mostlyEdges: 45% clear, 45% opaque, 10% in between, in runs as anti-aliased art has them.
TPictures Make(bool mostlyEdges) {
  TPictures p;
  std::mt19937 rng(mostlyEdges ? 7 : 3);
  p.Source.resize(kPixels);
  p.Dest.resize(kPixels);
  uint32_t alpha = 0;
  for (size_t i = 0; i < kPixels; ++i) {
    const uint32_t colour = rng() & 0x00FFFFFF;
    if (!mostlyEdges) {
      alpha = rng() & 0xFF;
    } else if (i % 16 == 0) {
      const uint32_t pick = rng() % 100;
      alpha = pick < 45 ? 0 : pick < 90 ? 255 : 1 + rng() % 254;
    }
    p.Source[i] = alpha << 24 | colour;
    p.Dest[i] = 0xFF000000u | (rng() & 0x00FFFFFF);
  }
  p.Premultiplied.resize(kPixels);
  for (size_t i = 0; i < kPixels; ++i) p.Premultiplied[i] = Premultiply(p.Source[i]);
  return p;
}

const TPictures& Pictures(bool mostlyEdges) {
  static const TPictures random = Make(false), edges = Make(true);
  return mostlyEdges ? edges : random;
}

template <void (*Blend)(const uint32_t*, uint32_t*, int32_t)>
void BM_Rows(benchmark::State& state) {
  const TPictures& p = Pictures(state.range(0) != 0);
  std::vector<uint32_t> dest = p.Dest;
  for (auto _ : state) {
    for (int y = 0; y < kSide; ++y) Blend(&p.Source[size_t{kSide} * y], &dest[size_t{kSide} * y], kSide);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPixels));
}

void BM_Pixman(benchmark::State& state) {
  const TPictures& p = Pictures(state.range(0) != 0);
  std::vector<uint32_t> source = p.Premultiplied, dest = p.Dest;
  pixman_image_t* src = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, source.data(), kSide * 4);
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, dest.data(), kSide * 4);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, src, nullptr, dst, 0, 0, 0, 0, 0, 0, kSide, kSide);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(src);
  pixman_image_unref(dst);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPixels));
}

// Argument 0: random alpha; 1: mostly clear or opaque.
BENCHMARK(BM_Rows<blend::BlendLineOverMMX>)->Name("BM_OrbelleMMX")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rows<blend::BlendLineOverPlain>)->Name("BM_OrbellePlain")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pixman)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!blend::DetectMMX()) {
    std::fprintf(stderr, "bench: this processor has no MMX\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
