// Unpacking an update package into a directory: the launcher's extractor, also used by
// vtzip extract. Paths are 8-bit strings in the system code page, with backslashes.
//
// The extractor runs on bytes from the network and writes into the program directory,
// and the launcher must go on to start the main program whatever the package holds, so
// DirectoryDecompression never raises and never writes outside the target directory:
//  - A package that is missing, shorter than 5 bytes, unreadable, or whose index length
//    is negative or runs past the end gives 0; a wrong magic -1, a wrong version -2.
//    Nothing is written.
//  - A package whose blocks run past its end (a truncated copy) is refused as a whole,
//    before any file is touched: installing half an update is worse than none. Result 0.
//  - An index line without '|', with a size that is not a decimal number, with size 0,
//    or whose name is not a safe relative path (CheckEntryName) or names the package
//    itself is refused and logged; its target is not touched. A size that is not a
//    number takes no package bytes, as it always did, so later blocks keep their places.
//  - A file that cannot be created, or whose compressed data is corrupt or ends early,
//    is logged as failed and extraction goes on with the next line. Its file has been
//    truncated and keeps what was inflated before the fault.
//  - Bytes between the end of a zlib stream and the end of its block are ignored with a
//    warning; the file is complete.
//  - The inflated size is not capped: files stream to disk in constant memory, vendors
//    ship large files, and whoever can supply a package decides every file of the
//    program directory anyway. Memory is bounded by the index limit (kMaxIndexLength).
// Each refused, failed or warned line is logged with the tag, the equal signs and
// "DirectoryDecompression Refused:= ", "Failed:= " or "Warning:= ", the name or target
// path, and the reason in parentheses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Stream.h"
#include "base/Strings.h"

namespace package {

struct TExtractIssue {
  enum class TKind { ikRefused, ikFailed, ikWarning };
  TKind Kind;
  std::string Subject;  // the index name (refused lines), the target path, or the package
  std::string Reason;
};

// What one DirectoryDecompression call did, for callers that want more than the count.
struct TExtractReport {
  int32_t Lines = 0;                  // index lines processed (the result when the package was accepted)
  int32_t Written = 0;                // files inflated completely
  int32_t Refused = 0;                // lines whose target was not touched
  int32_t Failed = 0;                 // files that could not be created or hold corrupt or incomplete data
  int64_t Bytes = 0;                  // bytes written to files
  bool PackageRefused = false;        // nothing was written because of the package as a whole
  std::vector<TExtractIssue> Issues;  // in the order they were logged
};

// Unpacks every file of packageFile into targetDir (one trailing separator is ignored),
// creating folders and replacing existing files. Logs
// "[Splash]==================== DirectoryDecompression File:= <target>" before each file
// is written. Returns the number of index lines processed, 0, -1 or -2 (see above).
int32_t DirectoryDecompression(const base::AnsiString& targetDir, const base::AnsiString& packageFile,
                               TExtractReport* report = nullptr);

// Creates target (and every missing folder above it; an existing file is truncated, no
// sharing while open) and inflates the zlib stream at block's position into it. Returns
// the size of the written file, or -1 when no block is given. Raises EFCreateError when
// the file cannot be created, EDecompressionError "Error" for corrupt data, EWriteError
// when the disk is full. A stream that ends early gives a shorter file, without error.
int64_t DecompressFile(const base::AnsiString& target, base::TStream* block);

struct TInflateResult {
  int64_t Size = 0;           // bytes inflated
  bool Complete = false;      // the zlib stream ended and its checksum matched
  int64_t TrailingBytes = 0;  // bytes of the block after the end of the zlib stream
};

// The inflate loop of DecompressFile: inflates the zlib stream at block's position into
// dest (nullptr: count only), 16534 bytes at a time. Raises as DecompressFile does.
TInflateResult InflateBlock(base::TStream& block, base::TStream* dest);

}  // namespace package
