// Writes update packages that the launcher's extractor accepts (used by vtzip pack).
// Each file becomes one zlib stream; the index lines end in CR LF. Because the index,
// which holds the block sizes, comes before the blocks, the blocks are first spooled to
// a scratch file beside the package ("<package>.blocks"), so memory use stays small
// whatever the files' sizes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/Exceptions.h"
#include "base/Stream.h"
#include "base/Strings.h"
#include "package/PackageIndex.h"

namespace package {

// A file that cannot go into a package (its name, its size) or a misuse of the writer.
class EPackageError : public base::Exception {
 public:
  using Exception::Exception;
};

class TPackageWriter {
 public:
  // level: 0 (stored) to 9 (smallest); raises EPackageError outside that range.
  // Creates the scratch file at once (EFCreateError when it cannot).
  // magic: kMagic, or kDeltaMagic for a delta package.
  TPackageWriter(const base::AnsiString& packageFile, int level, const char* magic = kMagic);
  // Removes the scratch file, and the package unless Finish completed.
  ~TPackageWriter();
  TPackageWriter(const TPackageWriter&) = delete;
  TPackageWriter& operator=(const TPackageWriter&) = delete;

  // Adds one file: name is its index name (8-bit, backslash-separated, relative), content
  // is read from its position to its end. Raises EPackageError when the extractor would
  // refuse the name, when the compressed block would exceed 2147483647 bytes or the index
  // kMaxIndexLength; the stream's read errors propagate.
  void AddFile(const base::AnsiString& name, base::TStream& content);
  // Adds one entry whose block (a complete zlib stream, made by the caller) is given as
  // is; original is what it counts as in OriginalBytes. Raises as AddFile does.
  void AddBlock(const base::AnsiString& name, std::string_view block, int64_t original);
  // Writes the package: header, index, blocks.
  void Finish();

  int32_t FileCount() const { return FCount; }
  int64_t OriginalBytes() const { return FOriginal; }
  int64_t PackageBytes() const { return FPackageSize; }

 private:
  base::AnsiString FPackageFile;
  base::AnsiString FScratchFile;
  int FLevel;
  const char* FMagic;
  std::unique_ptr<base::TFileStream> FBlocks;
  std::string FIndex;
  int32_t FCount = 0;
  int64_t FOriginal = 0;
  int64_t FPackageSize = 0;
  bool FFinished = false;
};

}  // namespace package
