// Reads the header and index of an update package and lays out where each file's
// compressed block lies. Shared by the extractor and vtzip's list and verify. A package
// is untrusted: every length is checked against the file before anything is read or
// allocated, and bad content is a status, never an exception.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Stream.h"
#include "package/PackageIndex.h"

namespace package {

enum class TPackageStatus {
  psOk,
  psTooShort,    // fewer than 5 bytes: not even a header
  psBadMagic,    // first byte not 3 or the magic not "zsf"
  psBadVersion,  // format version not 1 (wins over a bad magic)
  psBadIndex,    // index length missing, negative, past the end or over kMaxIndexLength
  psTruncated,   // the blocks the index describes run past the end of the package
  psUnreadable,  // the stream failed while reading
};

// What an installer refuses before it keeps anything of an index: the index is held in
// memory line by line, so an untrusted package must not choose how many lines that is.
struct TPackageLimits {
  bool Strict = false;           // refuse at the first line with a problem, and more files than the blocks can hold
  int64_t MaxFiles = INT64_MAX;  // more index lines refuse the package
};

struct TPackageEntry : TIndexLine {
  int64_t Offset = 0;  // where the block starts in the package
};

class TPackageReader {
 public:
  // Reads from package (not owned, any position); the stream must stay open while
  // blocks are read. Without limits every line is kept, problems included (vtzip's view).
  // With strict limits a package is refused (psBadIndex) at its first bad index line,
  // the problem naming it and the count of bad lines, and when its index lists more
  // files than limits.MaxFiles or than its blocks can hold (kMinBlockSize each); nothing
  // of such an index is kept.
  explicit TPackageReader(base::TStream& package, const TPackageLimits& limits = {});

  TPackageStatus Status() const { return FStatus; }
  // Why the status is not psOk, in words for logs and reports.
  const std::string& Problem() const { return FProblem; }
  // The header's result code: 0, kResultBadMagic or kResultBadVersion.
  int32_t HeaderResult() const;

  // Every non-empty index line in order, with its block's offset. Offsets follow the
  // sizes as written, a line with a problem taking no bytes.
  const std::vector<TPackageEntry>& Entries() const { return FEntries; }
  int64_t PackageSize() const { return FPackageSize; }
  int32_t IndexLength() const { return FIndexLength; }
  // Bytes after the last block (the format has none; they are ignored).
  int64_t TrailingBytes() const { return FDataEnd < FPackageSize ? FPackageSize - FDataEnd : 0; }

 private:
  void Load();
  bool WithinLimits(std::string_view index, int64_t blockBytes);

  base::TStream& FStream;
  TPackageLimits FLimits;
  TPackageStatus FStatus = TPackageStatus::psOk;
  std::string FProblem;
  std::vector<TPackageEntry> FEntries;
  int64_t FPackageSize = 0;
  int32_t FIndexLength = 0;
  int64_t FDataEnd = 0;
};

}  // namespace package
