// The update package format and its text index. A package is: one byte 3, the magic
// "zsf", the format version 1, the index length N (signed 32-bit little-endian), N bytes
// of index text (8-bit, one "name|size" line per file), then the files' zlib streams in
// index order without gaps, each exactly as long as its line says.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace package {

constexpr uint8_t kMagicLength = 3;
constexpr char kMagic[] = "zsf";
constexpr uint8_t kFormatVersion = 1;
constexpr int32_t kHeaderSize = 9;  // magic length, magic, version, index length

// DirectoryDecompression's results for a file that is not a package of this format.
constexpr int32_t kResultBadMagic = -1;
constexpr int32_t kResultBadVersion = -2;

// Largest index we read (the index is held in memory; a real one is a few hundred bytes
// a file, so this is room for well over 100,000 files).
constexpr int32_t kMaxIndexLength = 64 << 20;

enum class TLineProblem {
  lpNone,
  lpNoBar,     // no '|': the line names no block
  lpBadSize,   // the text after the bar is not a decimal number from 0 to 2147483647
  lpZeroSize,  // size 0: no zlib stream can be that short
};

struct TIndexLine {
  int32_t Line = 0;  // 1-based line number in the index text (empty lines count)
  std::string Name;  // the text before the first '|' (the whole line when there is none)
  int64_t Size = 0;  // the block size; 0 when the line has a problem other than lpZeroSize
  TLineProblem Problem = TLineProblem::lpNone;
};

// Splits the index text into lines at CR LF, LF or CR (a final break is optional) and
// each line at its first '|'. Empty lines name nothing and are left out, so an index of
// only a line break has no lines.
std::vector<TIndexLine> ParseIndex(std::string_view text);

// What an index holds, found without keeping its lines: an index is untrusted, and one of
// millions of lines must cost neither memory nor a log line per line.
struct TIndexSummary {
  int64_t Lines = 0;     // non-empty lines
  int64_t BadLines = 0;  // lines with a problem
  TIndexLine FirstBad;   // the first of them (Problem lpNone when there is none)
};
TIndexSummary SummariseIndex(std::string_view text);

// No zlib stream is shorter than this (header, an empty final block, Adler-32), so a
// package holds at most (its bytes after the index) / kMinBlockSize files.
constexpr int64_t kMinBlockSize = 8;

// A block size: decimal digits only (leading zeros allowed), surrounded by optional blanks,
// at most 2147483647. Signs, hexadecimal and anything else are refused.
bool ParseBlockSize(std::string_view text, int64_t& size);

// What a line problem means, for logs and reports.
const char* DescribeLineProblem(TLineProblem problem);

// An index line as the writer puts it: name, '|', decimal size, CR LF.
std::string FormatIndexLine(std::string_view name, int64_t size);

}  // namespace package
