// Streams over zlib: TDecompressionStream inflates what it reads from a source stream,
// TCompressionStream deflates what is written to it into a destination stream. Used by
// the update package reader and writer and for gzip/deflate HTTP bodies. zlib does the
// (de)compressing; these classes only move bytes and keep the library's stream semantics.
#pragma once

#include <cstdint>
#include <memory>

#include "base/Exceptions.h"
#include "base/Stream.h"

struct z_stream_s;

namespace base {

BASE_DECLARE_EXCEPTION(EZLibError, Exception);
// zlib could not be started (out of memory, wrong library version) or deflate failed.
BASE_DECLARE_EXCEPTION(EZCompressionError, EZLibError);
// Inflate failed ("Error") or the stream was used in a way it cannot be ("Invalid stream operation").
BASE_DECLARE_EXCEPTION(EDecompressionError, EZLibError);

// The wrapper around the deflate data: zlib (RFC 1950, the package format), gzip
// (RFC 1952), raw deflate (RFC 1951), or, for inflating only, zlib or gzip by header.
enum class TZStreamFormat { zsfZLib, zsfGZip, zsfRaw, zsfAuto };

// Inflates a compressed stream that starts at the source's position at construction.
// The source is not owned and must outlive this object. Reads fetch up to 65536 bytes of
// input at a time, so the source may be read past the end of the compressed data.
// Nothing here caps the inflated size (deflate expands up to 1032 times): a caller that
// keeps the output in memory bounds its reads.
class TDecompressionStream : public TStream {
 public:
  // Raises EZCompressionError "Error" when zlib cannot start (out of memory).
  explicit TDecompressionStream(TStream& source, TZStreamFormat format = TZStreamFormat::zsfZLib);
  ~TDecompressionStream() override;

  // Inflates up to count bytes into buffer and returns how many were produced: count,
  // or fewer when the source ran dry (an incomplete stream reads short, without error)
  // or the compressed stream ended. Corrupt data raises EDecompressionError "Error".
  int32_t Read(void* buffer, int32_t count) override;
  // Always raises EDecompressionError "Invalid stream operation".
  int32_t Write(const void* buffer, int32_t count) override;
  // Offset 0 from the beginning starts over at the source position the stream was made
  // with; moves forward (from the current position, or from the beginning to a later
  // position) inflate and discard. Anything else raises "Invalid stream operation".
  // Returns the position in the inflated data.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

  // The compressed stream has ended (its checksum matched); later reads return 0.
  bool Finished() const { return FFinished; }
  // Input fetched from the source but not used by inflate: after Finished, the bytes
  // that followed the compressed stream within the last read from the source.
  int32_t PendingInput() const;

 private:
  void Reset();

  TStream& FSource;
  TZStreamFormat FFormat;
  std::unique_ptr<z_stream_s> FZ;
  std::unique_ptr<uint8_t[]> FBuffer;
  int64_t FSourceStart;  // where the compressed stream begins in the source
  int64_t FSourcePos;    // where this stream left the source after its last read
  int64_t FPosition = 0;
  bool FFinished = false;
};

// Deflates everything written to it into the destination (not owned). Finish must be
// called to complete the compressed stream; destroying an unfinished stream leaves an
// incomplete one in the destination. Write errors of the destination propagate
// (EWriteError); deflate failures raise EZCompressionError "Error".
class TCompressionStream : public TStream {
 public:
  // level: 0 (stored) to 9 (best), or -1 for zlib's default (6).
  explicit TCompressionStream(TStream& dest, int level = -1, TZStreamFormat format = TZStreamFormat::zsfZLib);
  ~TCompressionStream() override;

  int32_t Write(const void* buffer, int32_t count) override;
  // Always raises EZCompressionError "Invalid stream operation".
  int32_t Read(void* buffer, int32_t count) override;
  // Only asking for the position (offset 0 from the current one) is allowed; it gives
  // the number of uncompressed bytes written so far.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

  // Writes the rest of the compressed stream and its checksum. Further writes are refused.
  void Finish();
  // Compressed bytes handed to the destination so far.
  int64_t CompressedSize() const { return FCompressed; }

 private:
  void Deflate(int flush);

  TStream& FDest;
  std::unique_ptr<z_stream_s> FZ;
  std::unique_ptr<uint8_t[]> FBuffer;
  int64_t FPosition = 0;
  int64_t FCompressed = 0;
  bool FFinished = false;
};

}  // namespace base
