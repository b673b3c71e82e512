#include "support/TempDir.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "base/Format.h"
#include "platform/Clock.h"
#include "platform/Thread.h"

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  fs::path base = fs::temp_directory_path();
  fs::path p =
      base / base::Format("orbelle-test-%d-%d-%d", platform::CurrentThreadId(), platform::TickCount(), counter++);
  fs::create_directories(p);
  FPath = p.string();
  char sep = static_cast<char>(fs::path::preferred_separator);
  if (FPath.back() != sep) FPath += sep;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(FPath, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

}  // namespace testsupport
