// Helpers of the skin tests: BMP files made on the fly, skin folders in a scratch
// folder, and a log sink that records lines.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "base/Log.h"
#include "support/TempDir.h"

namespace skintest {

// An uncompressed bottom-up BMP of width x height pixels, every pixel b, g, r, a.
inline std::string MakeBmp(int32_t width, int32_t height, int bits, uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
  size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
  std::string data(stride * height, '\0');
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      char* p = &data[y * stride + x * (bits / 8)];
      p[0] = static_cast<char>(b), p[1] = static_cast<char>(g), p[2] = static_cast<char>(r);
      if (bits == 32) p[3] = static_cast<char>(a);
    }
  auto le32 = [](std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>(v >> (8 * i));
  };
  auto le16 = [](std::string& s, uint16_t v) {
    s += static_cast<char>(v);
    s += static_cast<char>(v >> 8);
  };
  std::string out = "BM";
  le32(out, static_cast<uint32_t>(54 + data.size()));
  le32(out, 0);
  le32(out, 54);
  le32(out, 40);
  le32(out, static_cast<uint32_t>(width));
  le32(out, static_cast<uint32_t>(height));
  le16(out, 1);
  le16(out, static_cast<uint16_t>(bits));
  le32(out, 0);
  le32(out, static_cast<uint32_t>(data.size()));
  le32(out, 2835);
  le32(out, 2835);
  le32(out, 0);
  le32(out, 0);
  return out + data;
}

// Writes a file, creating its folder.
inline void Put(const std::string& path, const std::string& data) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  testsupport::WriteFile(path, data);
}

// Records the log lines written while it lives.
class LogRecorder {
 public:
  LogRecorder() { base::SetLogSink({&LogRecorder::Sink, this}); }
  ~LogRecorder() { base::SetLogSink({}); }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> l(FLock);
    return FLines;
  }
  int Count(const std::string& part) {
    int n = 0;
    for (const std::string& line : Lines())
      if (line.find(part) != std::string::npos) ++n;
    return n;
  }

 private:
  static void Sink(void* self, const std::string& line) {
    auto* r = static_cast<LogRecorder*>(self);
    std::lock_guard<std::mutex> l(r->FLock);
    r->FLines.push_back(line);
  }
  std::mutex FLock;
  std::vector<std::string> FLines;
};

}  // namespace skintest
