#include "package/PackageReader.h"

#include <cstring>
#include <exception>

#include "base/Format.h"
#include "package/EntryName.h"

namespace package {

TPackageReader::TPackageReader(base::TStream& package, const TPackageLimits& limits)
    : FStream(package), FLimits(limits) {
  try {
    Load();
  } catch (const std::exception& e) {
    FStatus = TPackageStatus::psUnreadable;
    FProblem = std::string("cannot read the package: ") + e.what();
    FEntries.clear();
  }
}

int32_t TPackageReader::HeaderResult() const {
  if (FStatus == TPackageStatus::psBadMagic) return kResultBadMagic;
  if (FStatus == TPackageStatus::psBadVersion) return kResultBadVersion;
  return 0;
}

void TPackageReader::Load() {
  FPackageSize = FStream.Size();
  if (FPackageSize < 5) {
    FStatus = TPackageStatus::psTooShort;
    FProblem = "shorter than a package header";
    return;
  }
  uint8_t header[kHeaderSize] = {};
  FStream.SetPosition(0);
  FStream.ReadBuffer(header, 5);
  bool badMagic = header[0] != kMagicLength || std::memcmp(header + 1, kMagic, kMagicLength) != 0;
  bool badVersion = header[4] != kFormatVersion;
  if (badMagic || badVersion) {
    // A wrong version wins over a wrong magic in the result code; the words tell the user
    // the more useful of the two.
    FStatus = badVersion ? TPackageStatus::psBadVersion : TPackageStatus::psBadMagic;
    FProblem = badMagic ? std::string("not an update package (no \"zsf\" magic)")
                        : base::Format("unsupported package format version %d", static_cast<int>(header[4]));
    return;
  }

  if (FPackageSize < kHeaderSize) {
    FStatus = TPackageStatus::psBadIndex;
    FProblem = "the package ends before its index length";
    return;
  }
  FStream.ReadBuffer(header + 5, 4);
  uint32_t raw = static_cast<uint32_t>(header[5]) | static_cast<uint32_t>(header[6]) << 8 |
                 static_cast<uint32_t>(header[7]) << 16 | static_cast<uint32_t>(header[8]) << 24;
  int32_t length = static_cast<int32_t>(raw);
  if (length < 0) {
    FStatus = TPackageStatus::psBadIndex;
    FProblem = base::Format("negative index length %d", length);
    return;
  }
  if (length > FPackageSize - kHeaderSize) {
    FStatus = TPackageStatus::psBadIndex;
    FProblem = base::Format("index length %d runs past the end of the package (%d bytes)", length, FPackageSize);
    return;
  }
  if (length > kMaxIndexLength) {
    FStatus = TPackageStatus::psBadIndex;
    FProblem = base::Format("index length %d is over the limit of %d bytes", length, kMaxIndexLength);
    return;
  }
  FIndexLength = length;
  std::string text(static_cast<size_t>(length), '\0');
  FStream.ReadBuffer(text.data(), length);

  int64_t offset = kHeaderSize + static_cast<int64_t>(length);
  if (!WithinLimits(text, FPackageSize - offset)) return;
  for (TIndexLine& line : ParseIndex(text)) {
    TPackageEntry entry;
    static_cast<TIndexLine&>(entry) = std::move(line);
    entry.Offset = offset;
    offset += entry.Size;
    if (offset > FPackageSize && FStatus == TPackageStatus::psOk) {
      // A truncated package (an interrupted copy): refuse all of it rather than install half an update.
      FStatus = TPackageStatus::psTruncated;
      FProblem = base::Format("the block of \"%s\" (index line %d) runs past the end of the package",
                              PrintableName(entry.Name), entry.Line);
    }
    FEntries.push_back(std::move(entry));
  }
  FDataEnd = offset;
  if (FStatus != TPackageStatus::psOk) FEntries.clear();
}

bool TPackageReader::WithinLimits(std::string_view index, int64_t blockBytes) {
  if (!FLimits.Strict && FLimits.MaxFiles == INT64_MAX) return true;
  TIndexSummary summary = SummariseIndex(index);
  FStatus = TPackageStatus::psBadIndex;
  if (FLimits.Strict && summary.BadLines > 0) {
    const TIndexLine& bad = summary.FirstBad;
    FProblem = base::Format("index line %d \"%s\": %s; %d bad index lines", bad.Line, PrintableName(bad.Name),
                            DescribeLineProblem(bad.Problem), summary.BadLines);
  } else if (summary.Lines > FLimits.MaxFiles) {
    FProblem =
        base::Format("the index lists %d files, more than the %d of one update", summary.Lines, FLimits.MaxFiles);
  } else if (FLimits.Strict && summary.Lines > blockBytes / kMinBlockSize) {
    FProblem = base::Format("the index lists %d files, more than its %d bytes of compressed data can hold",
                            summary.Lines, blockBytes);
  } else {
    FStatus = TPackageStatus::psOk;
  }
  return FStatus == TPackageStatus::psOk;
}

}  // namespace package
