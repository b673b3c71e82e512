// Reading 64 MiB of text into UTF-16 through the encoded text stream, against glibc's
// iconv converting the same bytes in pieces of the same size. Two texts: UTF-8 mixing
// ASCII, Cyrillic and CJK, and Windows-1251 mixing ASCII and Cyrillic.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Stream.h"
#include "text/TextStreams.h"

namespace {

constexpr size_t kTextBytes = 64u << 20;
constexpr size_t kPieceUnits = 32768;  // UTF-16 units asked per read

// A read-only stream over a block the benchmark owns, so only conversion is measured.
class TBlockStream : public base::TStream {
 public:
  explicit TBlockStream(const std::string& data) : FData(data) {}
  int32_t Read(void* buffer, int32_t count) override {
    size_t n = std::min(static_cast<size_t>(count), FData.size() - FPos);
    std::memcpy(buffer, FData.data() + FPos, n);
    FPos += n;
    return static_cast<int32_t>(n);
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  int64_t Seek(int64_t offset, base::TSeekOrigin origin) override {
    int64_t base = origin == base::TSeekOrigin::soBeginning ? 0
                   : origin == base::TSeekOrigin::soCurrent ? static_cast<int64_t>(FPos)
                                                            : static_cast<int64_t>(FData.size());
    FPos = static_cast<size_t>(std::clamp<int64_t>(base + offset, 0, static_cast<int64_t>(FData.size())));
    return static_cast<int64_t>(FPos);
  }

 private:
  const std::string& FData;
  size_t FPos = 0;
};

// Words of ASCII, Cyrillic and CJK in UTF-8, in a steady random mix.
const std::string& Utf8Text() {
  static const std::string text = [] {
    const char* words[] = {"update ",  "the ", "package ",    "<item name=\"a\"/>\r\n",
                           "Привет ",  "мир ", "обновление ", "日本語の",
                           "テキスト", "中文", "한국어 "};
    std::mt19937 rng(42);
    std::string s;
    s.reserve(kTextBytes + 64);
    while (s.size() < kTextBytes) s += words[rng() % std::size(words)];
    s.resize(kTextBytes);
    while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xC0) == 0x80) s.pop_back();
    if (!s.empty() && static_cast<unsigned char>(s.back()) >= 0xC0) s.pop_back();
    return s;
  }();
  return text;
}

const std::string& Cp1251Text() {
  static const std::string text = [] {
    // "update the package " and "Привет мир обновление " in Windows-1251.
    const std::string words[] = {"update ",
                                 "the ",
                                 "package ",
                                 "<item name=\"a\"/>\r\n",
                                 "\xCF\xF0\xE8\xE2\xE5\xF2 ",
                                 "\xEC\xE8\xF0 ",
                                 "\xEE\xE1\xED\xEE\xE2\xEB\xE5\xED\xE8\xE5 "};
    std::mt19937 rng(42);
    std::string s;
    s.reserve(kTextBytes + 64);
    while (s.size() < kTextBytes) s += words[rng() % std::size(words)];
    s.resize(kTextBytes);
    return s;
  }();
  return text;
}

void StreamRead(benchmark::State& state, const std::string& data, uint16_t cp) {
  std::vector<char16_t> out(kPieceUnits);
  size_t units = 0;
  for (auto _ : state) {
    TBlockStream block(data);
    text::TRkTextStream s(&block, cp, 0, text::rkaRead);
    units = 0;
    for (;;) {
      int32_t n = s.Read(out.data(), static_cast<int32_t>(out.size() * 2));
      if (n <= 0) break;
      units += static_cast<size_t>(n) / 2;
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["units"] = static_cast<double>(units);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

// iconv on the same bytes, the output in pieces of the same size.
void IconvRead(benchmark::State& state, const std::string& data, const char* from) {
  std::vector<char16_t> out(kPieceUnits);
  size_t units = 0;
  for (auto _ : state) {
    iconv_t cd = iconv_open("UTF-16LE", from);
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open");
    char* ip = const_cast<char*>(data.data());
    size_t il = data.size();
    units = 0;
    while (il > 0) {
      char* op = reinterpret_cast<char*>(out.data());
      size_t ol = out.size() * 2;
      size_t r = iconv(cd, &ip, &il, &op, &ol);
      units += out.size() - ol / 2;
      if (r == static_cast<size_t>(-1) && errno != E2BIG) throw std::runtime_error("iconv");
      benchmark::DoNotOptimize(out.data());
    }
    iconv_close(cd);
  }
  state.counters["units"] = static_cast<double>(units);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

void BM_StreamUtf8(benchmark::State& state) { StreamRead(state, Utf8Text(), 65001); }
void BM_IconvUtf8(benchmark::State& state) { IconvRead(state, Utf8Text(), "UTF-8"); }
void BM_StreamCp1251(benchmark::State& state) { StreamRead(state, Cp1251Text(), 1251); }
void BM_IconvCp1251(benchmark::State& state) { IconvRead(state, Cp1251Text(), "CP1251"); }

BENCHMARK(BM_StreamUtf8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IconvUtf8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StreamCp1251)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_IconvCp1251)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
