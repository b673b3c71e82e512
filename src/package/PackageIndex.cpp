#include "package/PackageIndex.h"

#include <limits>

namespace package {

namespace {

// Calls take(TIndexLine&&) for every non-empty line, in order.
template <class F>
void ForEachIndexLine(std::string_view text, F take) {
  int32_t number = 0;
  size_t i = 0;
  while (i < text.size()) {
    size_t end = text.find_first_of("\r\n", i);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(i, end - i);
    ++number;
    i = end;
    if (i < text.size() && text[i] == '\r') ++i;
    if (i < text.size() && text[i] == '\n' && (i == end || text[i - 1] == '\r')) ++i;
    if (line.empty()) continue;

    TIndexLine entry;
    entry.Line = number;
    size_t bar = line.find('|');
    if (bar == std::string_view::npos) {
      entry.Name = std::string(line);
      entry.Problem = TLineProblem::lpNoBar;
    } else {
      entry.Name = std::string(line.substr(0, bar));
      if (!ParseBlockSize(line.substr(bar + 1), entry.Size)) {
        entry.Size = 0;  // as a size that is not a number always counted: the line takes no bytes
        entry.Problem = TLineProblem::lpBadSize;
      } else if (entry.Size == 0) {
        entry.Problem = TLineProblem::lpZeroSize;
      }
    }
    take(std::move(entry));
  }
}

}  // namespace

std::vector<TIndexLine> ParseIndex(std::string_view text) {
  std::vector<TIndexLine> lines;
  ForEachIndexLine(text, [&](TIndexLine&& line) { lines.push_back(std::move(line)); });
  return lines;
}

TIndexSummary SummariseIndex(std::string_view text) {
  TIndexSummary summary;
  ForEachIndexLine(text, [&](TIndexLine&& line) {
    ++summary.Lines;
    if (line.Problem == TLineProblem::lpNone) return;
    if (summary.BadLines++ == 0) summary.FirstBad = std::move(line);
  });
  return summary;
}

bool ParseBlockSize(std::string_view text, int64_t& size) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  if (b == e) return false;
  int64_t v = 0;
  for (size_t k = b; k < e; ++k) {
    char c = text[k];
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    if (v > std::numeric_limits<int32_t>::max()) return false;
  }
  size = v;
  return true;
}

const char* DescribeLineProblem(TLineProblem problem) {
  switch (problem) {
    case TLineProblem::lpNoBar: return "index line without '|'";
    case TLineProblem::lpBadSize: return "block size is not a decimal number from 0 to 2147483647";
    case TLineProblem::lpZeroSize: return "block size 0";
    case TLineProblem::lpNone: break;
  }
  return "";
}

std::string FormatIndexLine(std::string_view name, int64_t size) {
  return std::string(name) + "|" + std::to_string(size) + "\r\n";
}

}  // namespace package
