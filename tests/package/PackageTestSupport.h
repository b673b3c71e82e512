// Helpers for the package tests: zlib streams and packages built byte by byte (so the
// reader is tested against bytes it did not write), a log capture, and tree listings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace packagetest {

// data as one zlib stream made by zlib itself.
std::string Zlib(std::string_view data, int level = 6);
// A package: header (3, "zsf", version), the index length, index, blocks.
std::string Package(std::string_view index, std::string_view blocks, uint8_t version = 1);
// An index line "name|<size of block>" without line break.
std::string Line(std::string_view name, std::string_view block);

// Collects WriteLog lines while it lives (and restores the default output after).
class TLogCapture {
 public:
  TLogCapture();
  ~TLogCapture();
  TLogCapture(const TLogCapture&) = delete;
  TLogCapture& operator=(const TLogCapture&) = delete;
  std::vector<std::string> Lines;
  // Called with each line before it is stored (for checks at the moment of logging).
  void (*OnLine)(void* context, const std::string& line) = nullptr;
  void* Context = nullptr;
};

// Every file below dir (8-bit path) as its relative path with '/', in the 8-bit form the
// package code uses for names, sorted.
std::vector<std::string> ListTree(const std::string& dir);

// Writes bytes to a file by its 8-bit path (backslashes allowed, as in the product).
void WriteBytes(const std::string& path, std::string_view bytes);

// The whole file at an 8-bit path.
std::string ReadBytes(const std::string& path);

// The 8-bit form of a UTF-8 text in the system code page (test names are written in UTF-8).
std::string Ansi(std::string_view utf8);

}  // namespace packagetest
