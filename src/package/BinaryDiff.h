// Binary diffs between two versions of one file (executables above all): the new file as
// copies from the base file and inserted bytes, the whole stream one zlib stream. A copy
// may carry one added byte per copied byte (new minus base, modulo 256): where a
// release moves code, most bytes of a region stay and a few addresses change, and those
// additions are nearly all zero, which deflate packs into almost nothing.
//
// The inflated stream:
//   "ODIF", version byte 1, base size and new size (varints)
//   chunks until the new size is reached, each:
//     control length, addition length, insert length (varints), then that many bytes of
//     controls, of additions and of inserted bytes
//   a control: (copy length * 2 + has additions), insert length, and when the copy
//     length is not 0 the copy's base position relative to the end of the previous copy
//     (zigzag); varints are LEB128, at most 9 bytes (values below 2^63).
// Chunks bound the reader's memory: kMaxDiffControl bytes of controls and
// kMaxDiffChunkData bytes each of additions and inserts.
//
// The reader takes the stream as untrusted: every copy lies inside the base, every length
// inside its chunk and the announced new size, every control makes progress, the chunk's
// bytes are used exactly, and the zlib stream must end where the new file does.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/Stream.h"

namespace package {

constexpr char kDiffMagic[] = "ODIF";
constexpr uint8_t kDiffVersion = 1;
constexpr int32_t kMaxDiffControl = 64 * 1024;
constexpr int32_t kMaxDiffChunkData = 1024 * 1024;
// Files up to this size are diffed; larger ones are stored whole (positions are 32-bit
// in the matcher's table).
constexpr int64_t kMaxDiffFileSize = int64_t(2047) * 1024 * 1024;

struct TDiffStats {
  int64_t Copied = 0;    // bytes taken from the base exactly
  int64_t Adjusted = 0;  // bytes taken from the base with additions
  int64_t Inserted = 0;  // bytes carried in the diff
  int64_t Controls = 0;
};

// Writes the diff that turns base into target into out as one zlib stream at level (0 to
// 9). Memory: the two files (held by the caller) plus a match table of at most 64 MB.
// Time: one pass over each file; every position of the target is looked up at most
// once. Raises EPackageError for a file over kMaxDiffFileSize; out's errors propagate.
TDiffStats WriteBinaryDiff(std::string_view base, std::string_view target, base::TStream& out, int level);

enum class TDiffStatus {
  dsOk,
  dsBadHeader,    // not a diff of this format or version
  dsWrongBase,    // made against a base of another size
  dsWrongSize,    // announces another new size than the caller expects
  dsBadChunk,     // a chunk's lengths are out of bounds, or its bytes are not used exactly
  dsBadControl,   // a control without progress, past the new size, or a varint too long
  dsBadCopy,      // a copy outside the base
  dsTruncated,    // the stream ends before the new file does
  dsTrailing,     // the stream goes on after the new file is complete
  dsCorrupt,      // the zlib data is corrupt
  dsBaseChanged,  // the base stream read short
};

struct TPatchResult {
  TDiffStatus Status = TDiffStatus::dsOk;
  std::string Problem;  // in words, for logs; empty when Status is dsOk
  int64_t Size = 0;     // bytes written to out
};

// Applies the diff read from diff's position (its compressed size is diffSize; bytes
// after it are not read) to base (read by position; its size must be the one the diff
// was made against) and writes the new file, of newSize bytes, to out. Never raises for
// bad diff bytes; errors of out propagate (EWriteError). Output written before a fault
// stays in out: callers write into a staging file.
TPatchResult ApplyBinaryDiff(base::TStream& diff, int64_t diffSize, base::TStream& base, base::TStream& out,
                             int64_t newSize);

const char* DescribeDiffStatus(TDiffStatus status);

}  // namespace package
