#include "PackageTestSupport.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "base/Log.h"
#include "base/Stream.h"
#include "base/Strings.h"

namespace packagetest {

std::string Zlib(std::string_view data, int level) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                static_cast<uLong>(data.size()), level) != Z_OK)
    throw std::runtime_error("compress2 failed");
  out.resize(size);
  return out;
}

std::string Package(std::string_view index, std::string_view blocks, uint8_t version) {
  uint32_t n = static_cast<uint32_t>(index.size());
  std::string p = {'\x03',
                   'z',
                   's',
                   'f',
                   static_cast<char>(version),
                   static_cast<char>(n & 0xFF),
                   static_cast<char>((n >> 8) & 0xFF),
                   static_cast<char>((n >> 16) & 0xFF),
                   static_cast<char>(n >> 24)};
  return p.append(index).append(blocks);
}

std::string Line(std::string_view name, std::string_view block) {
  return std::string(name) + "|" + std::to_string(block.size());
}

namespace {
void Collect(void* context, const std::string& line) {
  auto* c = static_cast<TLogCapture*>(context);
  if (c->OnLine) c->OnLine(c->Context, line);
  c->Lines.push_back(line);
}
}  // namespace

TLogCapture::TLogCapture() { base::SetLogSink({&Collect, this}); }
TLogCapture::~TLogCapture() { base::SetLogSink({}); }

namespace {
// A relative path in the 8-bit form the package code uses: natively the bytes the file
// system holds, on Windows the UTF-16 name in the system code page.
[[maybe_unused]] std::string EightBit(const std::string& native) { return native; }
[[maybe_unused]] std::string EightBit(const std::wstring& native) {
  std::string s = base::WideToAnsi(std::u16string(native.begin(), native.end()));
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}
[[maybe_unused]] std::filesystem::path FsPath(const std::string& dir, char) { return dir; }
[[maybe_unused]] std::filesystem::path FsPath(const std::string& dir, wchar_t) { return base::AnsiToWide(dir); }
}  // namespace

std::vector<std::string> ListTree(const std::string& dir) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  fs::path root = FsPath(dir, fs::path::value_type());
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_directory()) continue;
    files.push_back(EightBit(e.path().lexically_relative(root).native()));
  }
  std::sort(files.begin(), files.end());
  return files;
}

void WriteBytes(const std::string& path, std::string_view bytes) {
  base::TFileStream f(path, base::fmCreate);
  f.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
}

std::string ReadBytes(const std::string& path) {
  base::TFileStream f(path, platform::fmOpenRead | platform::fmShareDenyNone);
  std::string s(static_cast<size_t>(f.Size()), '\0');
  f.ReadBuffer(s.data(), static_cast<int32_t>(s.size()));
  return s;
}

std::string Ansi(std::string_view utf8) { return base::WideToAnsi(base::Utf8ToWide(utf8)); }

}  // namespace packagetest
