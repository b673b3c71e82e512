// Unpacking an update package: the product's in-place extractor and its transactional
// install against zlib's own inflate of the same streams into the same files, and unzip
// of an equivalent zip, side by side in one run. The data (about 455 MB in 960 files of text, noise and runs; a package
// of about 256 MB) is generated once into the work folder given by ORBELLE_BENCH_DIR.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Stream.h"
#include "package/Decompression.h"
#include "package/PackageReader.h"
#include "package/PackageWriter.h"
#include "package/StagedInstall.h"

namespace fs = std::filesystem;

namespace {

// Marks a complete work folder; change it when the generated data changes.
const char kStamp[] = "ready-960-files-26m";

struct TWork {
  fs::path Dir, Source, Package, Zip, Out;
  std::vector<package::TPackageEntry> Entries;
  int64_t OriginalBytes = 0;
};

// Per 64 KiB: noise (stored by deflate), text (compresses to about a third) or runs.
void Fill(std::vector<char>& buf, uint64_t& state) {
  static const char kText[] =
      "Norvale Orbelle media library, skin resources and localisation tables; version 2.1.0.12 ";
  for (size_t seg = 0; seg < buf.size(); seg += 65536) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    int kind = static_cast<int>(state % 20);
    size_t end = std::min(buf.size(), seg + 65536);
    for (size_t i = seg; i < end; ++i) {
      if (kind < 11) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        buf[i] = static_cast<char>(state >> 32);
      } else if (kind < 18) {
        buf[i] = kText[(i * 7 + (i >> 9)) % (sizeof kText - 1)];
      } else {
        buf[i] = static_cast<char>(i >> 14);
      }
    }
  }
}

void Generate(TWork& w) {
  fs::create_directories(w.Source);
  uint64_t state = 0x5eed;
  std::vector<char> buf;
  for (int i = 0; i < 960; ++i) {
    size_t size = i < 800 ? 4096 + (i * 2654435761u) % 61440 : i < 950 ? (1 << 20) : (26 << 20);
    fs::path p = w.Source / ("dir" + std::to_string(i % 12)) / ("sub" + std::to_string(i % 5)) /
                 ("file" + std::to_string(i) + ".dat");
    fs::create_directories(p.parent_path());
    buf.resize(size);
    Fill(buf, state);
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(p.c_str(), "wb"), &std::fclose);
    std::fwrite(buf.data(), 1, buf.size(), f.get());
  }
}

void Pack(TWork& w) {
  package::TPackageWriter writer(w.Package.string(), 6);
  std::vector<std::pair<std::string, fs::path>> files;
  for (const auto& e : fs::recursive_directory_iterator(w.Source))
    if (e.is_regular_file()) files.emplace_back(e.path().lexically_relative(w.Source).string(), e.path());
  std::sort(files.begin(), files.end());
  for (auto& [name, path] : files) {
    for (char& c : name) c = c == '/' ? '\\' : c;
    base::TFileStream f(path.string(), 0);
    writer.AddFile(name, f);
  }
  writer.Finish();
}

TWork& Work() {
  static TWork w = [] {
    TWork w;
    const char* dir = std::getenv("ORBELLE_BENCH_DIR");
    w.Dir = dir ? dir : (fs::temp_directory_path() / "orbelle-package-bench");
    w.Source = w.Dir / "source";
    w.Package = w.Dir / "update.vtzip";
    w.Zip = w.Dir / "update.zip";
    w.Out = w.Dir / "out";
    if (!fs::exists(w.Dir / kStamp)) {
      fs::remove_all(w.Dir);
      Generate(w);
      Pack(w);
      std::string zip = "cd '" + w.Source.string() + "' && zip -q -r -6 '" + w.Zip.string() + "' .";
      if (std::system(zip.c_str()) != 0) throw std::runtime_error("zip failed");
      std::fclose(std::fopen((w.Dir / kStamp).c_str(), "w"));
    }
    base::TFileStream f(w.Package.string(), 0);
    package::TPackageReader reader(f);
    if (reader.Status() != package::TPackageStatus::psOk) throw std::runtime_error(reader.Problem());
    w.Entries = reader.Entries();
    for (const auto& e : fs::recursive_directory_iterator(w.Source))
      if (e.is_regular_file()) w.OriginalBytes += static_cast<int64_t>(e.file_size());
    std::printf("package %lld bytes, %zu files, %lld bytes unpacked, work folder %s\n",
                static_cast<long long>(fs::file_size(w.Package)), w.Entries.size(),
                static_cast<long long>(w.OriginalBytes), w.Dir.c_str());
    return w;
  }();
  return w;
}

// zlib as its manual shows it: 64 KiB in, 64 KiB out, one inflate stream a file,
// folders made as needed, each file truncated and written.
int64_t ZlibExtract(const TWork& w) {
  int in = ::open(w.Package.c_str(), O_RDONLY);
  std::vector<unsigned char> src(65536), dst(65536);
  int64_t written = 0;
  for (const package::TPackageEntry& e : w.Entries) {
    std::string name = e.Name;
    for (char& c : name) c = c == '\\' ? '/' : c;
    fs::path target = w.Out / name;
    fs::create_directories(target.parent_path());
    int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    z_stream z{};
    inflateInit(&z);
    int64_t left = e.Size, offset = e.Offset;
    int rc = Z_OK;
    while (rc != Z_STREAM_END && left > 0) {
      ssize_t n = ::pread(in, src.data(), static_cast<size_t>(std::min<int64_t>(left, 65536)), offset);
      if (n <= 0) break;
      offset += n;
      left -= n;
      z.next_in = src.data();
      z.avail_in = static_cast<uInt>(n);
      do {
        z.next_out = dst.data();
        z.avail_out = static_cast<uInt>(dst.size());
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc < 0 && rc != Z_BUF_ERROR) throw std::runtime_error("inflate failed");
        size_t have = dst.size() - z.avail_out;
        if (::write(out, dst.data(), have) != static_cast<ssize_t>(have)) throw std::runtime_error("write failed");
        written += static_cast<int64_t>(have);
      } while (z.avail_out == 0);
    }
    inflateEnd(&z);
    ::close(out);
  }
  ::close(in);
  return written;
}

void BM_OrbelleExtract(benchmark::State& state) {
  TWork& w = Work();
  for (auto _ : state) {
    package::TExtractReport r;
    package::DirectoryDecompression(w.Out.string(), w.Package.string(), &r);
    if (r.Bytes != w.OriginalBytes || !r.Issues.empty()) state.SkipWithError("extraction differs");
  }
  state.SetBytesProcessed(state.iterations() * w.OriginalBytes);
}

// The launcher's install: stage every entry, then move the installed files aside and the
// staged ones in, then remove the backups (the output folder already holds the files of
// the previous round, as an installed product would).
void BM_TransactionalApply(benchmark::State& state) {
  TWork& w = Work();
  std::string journal = (w.Dir / "UpdateJournal.txt").string();
  for (auto _ : state) {
    package::TInstallReport r = package::InstallPackage(w.Out.string(), w.Package.string(), journal, "2.1.0.12");
    package::CompleteInstall(w.Out.string(), journal);
    if (!r.Installed || r.Bytes != w.OriginalBytes) state.SkipWithError("install differs");
  }
  state.SetBytesProcessed(state.iterations() * w.OriginalBytes);
}

void BM_ZlibInflate(benchmark::State& state) {
  TWork& w = Work();
  for (auto _ : state)
    if (ZlibExtract(w) != w.OriginalBytes) state.SkipWithError("inflate differs");
  state.SetBytesProcessed(state.iterations() * w.OriginalBytes);
}

void BM_Unzip(benchmark::State& state) {
  TWork& w = Work();
  std::string cmd = "unzip -q -o '" + w.Zip.string() + "' -d '" + w.Out.string() + "'";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("unzip failed");
  state.SetBytesProcessed(state.iterations() * w.OriginalBytes);
}

}  // namespace

// CPU time is the whole process's: the transactional apply inflates on worker threads.
BENCHMARK(BM_OrbelleExtract)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(2);
BENCHMARK(BM_TransactionalApply)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(2);
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(2);
BENCHMARK(BM_Unzip)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(2);

BENCHMARK_MAIN();
