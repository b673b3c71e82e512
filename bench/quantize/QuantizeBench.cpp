// Quantizes a generated 12-megapixel photo-like picture to 255 colours with the octree
// quantizer and Stucki dithering, as GIF saving does, and writes the input and the
// result as binary PPM files for the side-by-side run (bench/quantize/run):
//   quantize_bench <work folder> [runs]
// Prints the picture's distinct colours and one line per run: processor milliseconds for
// the whole quantization, per megapixel and per step, and the wall-clock time.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "quantize/OctreeQuantizer.h"

namespace {

constexpr int32_t kWidth = 4000, kHeight = 3000;

// Smooth shading, a few soft-edged objects, fine texture and sensor noise: colours vary
// slowly with small local differences, as in a photograph.
std::vector<uint32_t> MakePicture() {
  std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight);
  std::mt19937 rng(12);
  std::normal_distribution<float> noise(0.0f, 2.5f);
  struct TBlob {
    float X, Y, R, Colour[3];
  };
  std::vector<TBlob> blobs;
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (int i = 0; i < 24; ++i)
    blobs.push_back({unit(rng) * kWidth,
                     unit(rng) * kHeight,
                     150 + unit(rng) * 700,
                     {unit(rng) * 255, unit(rng) * 255, unit(rng) * 255}});
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x) {
      const float fx = x / static_cast<float>(kWidth), fy = y / static_cast<float>(kHeight);
      float c[3] = {60 + 120 * fy + 30 * std::sin(fx * 7), 90 + 80 * fy + 25 * std::sin(fx * 5 + fy * 3),
                    200 - 120 * fy + 20 * std::cos(fy * 9)};
      for (const TBlob& b : blobs) {
        const float d = std::hypot(x - b.X, y - b.Y) / b.R;
        if (d >= 1.2f) continue;
        const float w = std::clamp((1.2f - d) * 3.0f, 0.0f, 1.0f) * (0.85f + 0.15f * std::sin(x * 0.05f + y * 0.03f));
        for (int k = 0; k < 3; ++k) c[k] = c[k] * (1 - w) + b.Colour[k] * w * (1.0f - 0.4f * d);
      }
      uint8_t v[3];
      for (int k = 0; k < 3; ++k) v[k] = static_cast<uint8_t>(std::clamp(c[k] + noise(rng), 0.0f, 255.0f));
      pixels[static_cast<size_t>(y) * kWidth + x] = quantize::MakeArgb(255, v[0], v[1], v[2]);
    }
  return pixels;
}

bool WritePpm(const std::string& path, const std::vector<uint32_t>& pixels) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
  std::vector<uint8_t> row(static_cast<size_t>(kWidth) * 3);
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      const uint32_t p = pixels[static_cast<size_t>(y) * kWidth + x];
      row[3 * x] = quantize::RedOf(p), row[3 * x + 1] = quantize::GreenOf(p), row[3 * x + 2] = quantize::BlueOf(p);
    }
    std::fwrite(row.data(), 1, row.size(), f);
  }
  return std::fclose(f) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: quantize_bench <work folder> [runs]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const std::vector<uint32_t> picture = MakePicture();
  std::unordered_set<uint32_t> distinct(picture.begin(), picture.end());
  std::printf("picture %dx%d, %zu distinct colours\n", kWidth, kHeight, distinct.size());
  if (!WritePpm(dir + "/input.ppm", picture)) return 1;

  const double megapixels = kWidth * static_cast<double>(kHeight) / 1e6;
  std::vector<uint32_t> work;
  std::vector<uint8_t> indices(static_cast<size_t>(kWidth) * kHeight);
  for (int run = 0; run < runs; ++run) {
    work = picture;
    quantize::TPixelRows argb{reinterpret_cast<uint8_t*>(work.data()), kWidth, kHeight, kWidth * 4};
    quantize::TPixelRows indexed{indices.data(), kWidth, kHeight, kWidth};
    std::vector<uint32_t> palette(256, 0);
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    std::clock_t collected = 0, filled = 0, mapped = 0;
    {
      // The steps of QuantizeRows, timed one by one.
      quantize::TOctreeQuantizer quantizer(255, 8);
      quantizer.CollectColors(argb);
      collected = std::clock();
      quantizer.FillPalette(palette);
      filled = std::clock();
      quantizer.MapPixels(argb, indexed);
      mapped = std::clock();
    }  // the tree's release belongs to the cost
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    auto cpuMs = [](std::clock_t from, std::clock_t to) {
      return 1000.0 * static_cast<double>(to - from) / CLOCKS_PER_SEC;
    };
    const double cpu = cpuMs(cpuStart, std::clock());
    std::printf("run %d: CPU %.0f ms = %.1f ms/MP (collect %.0f, palette %.0f, map %.0f, release %.0f); wall %.0f ms\n",
                run + 1, cpu, cpu / megapixels, cpuMs(cpuStart, collected), cpuMs(collected, filled),
                cpuMs(filled, mapped), cpuMs(mapped, std::clock()), ms);
  }
  return WritePpm(dir + "/orbelle.ppm", work) ? 0 : 1;
}
