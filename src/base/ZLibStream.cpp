#include "base/ZLibStream.h"

#include <zlib.h>

#include <algorithm>

namespace base {
namespace {

// Input is fetched from the source in blocks of this size; output of the compressor is
// handed to its destination in blocks of the same size.
constexpr int32_t kBufferSize = 65536;
// Forward seeks inflate and discard in steps of this size.
constexpr int32_t kSkipStep = 4096;

const char kError[] = "Error";
const char kInvalidOp[] = "Invalid stream operation";

int WindowBits(TZStreamFormat format) {
  switch (format) {
    case TZStreamFormat::zsfGZip: return MAX_WBITS + 16;
    case TZStreamFormat::zsfRaw: return -MAX_WBITS;
    case TZStreamFormat::zsfAuto: return MAX_WBITS + 32;
    case TZStreamFormat::zsfZLib: break;
  }
  return MAX_WBITS;
}

}  // namespace

// --- TDecompressionStream ------------------------------------------------------------

TDecompressionStream::TDecompressionStream(TStream& source, TZStreamFormat format)
    : FSource(source),
      FFormat(format),
      FZ(std::make_unique<z_stream_s>()),
      FBuffer(std::make_unique<uint8_t[]>(kBufferSize)) {
  if (inflateInit2(FZ.get(), WindowBits(FFormat)) != Z_OK) {
    FZ.reset();
    throw EZCompressionError(kError);
  }
  FSourceStart = FSourcePos = FSource.Position();
}

TDecompressionStream::~TDecompressionStream() {
  if (FZ) inflateEnd(FZ.get());
}

int32_t TDecompressionStream::PendingInput() const { return static_cast<int32_t>(FZ->avail_in); }

int32_t TDecompressionStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || FFinished) return 0;
  FZ->next_out = static_cast<Bytef*>(buffer);
  FZ->avail_out = static_cast<uInt>(count);
  // Someone else may have moved the source (a shared file stream); continue where we were.
  if (FSource.Position() != FSourcePos) FSource.SetPosition(FSourcePos);
  bool sourceDry = false;
  while (FZ->avail_out > 0) {
    if (FZ->avail_in == 0 && !sourceDry) {
      int32_t got = FSource.Read(FBuffer.get(), kBufferSize);
      if (got > 0) {
        FZ->next_in = FBuffer.get();
        FZ->avail_in = static_cast<uInt>(got);
        FSourcePos += got;
      } else {
        // One more inflate without input still hands out output that zlib holds back
        // (the rest of a match copy that did not fit the caller's buffer last time).
        sourceDry = true;
      }
    }
    int rc = inflate(FZ.get(), Z_NO_FLUSH);
    if (rc == Z_STREAM_END) {
      // Stop here: inflating again would make no progress, and bytes after the end of
      // the compressed data (PendingInput) are not part of it.
      FFinished = true;
      break;
    }
    // No progress possible without more input: the source ran dry, which makes a short
    // read (an incomplete stream), not an error.
    if (rc == Z_BUF_ERROR && sourceDry) break;
    // A preset dictionary is not something any of our streams carries; asking for one
    // would otherwise repeat forever without progress, so it counts as corrupt data.
    if (rc < 0 || rc == Z_NEED_DICT) throw EDecompressionError(kError);
  }
  int32_t produced = count - static_cast<int32_t>(FZ->avail_out);
  FPosition += produced;
  return produced;
}

int32_t TDecompressionStream::Write(const void*, int32_t) { throw EDecompressionError(kInvalidOp); }

void TDecompressionStream::Reset() {
  if (inflateReset(FZ.get()) != Z_OK) throw EDecompressionError(kError);
  FZ->next_in = FBuffer.get();
  FZ->avail_in = 0;
  // Back to where the compressed stream began, which need not be the source's start.
  FSource.SetPosition(FSourceStart);
  FSourcePos = FSourceStart;
  FPosition = 0;
  FFinished = false;
}

int64_t TDecompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset == 0 && origin == TSeekOrigin::soBeginning) {
    Reset();
    return 0;
  }
  int64_t skip;
  if (origin == TSeekOrigin::soCurrent && offset >= 0)
    skip = offset;
  else if (origin == TSeekOrigin::soBeginning && offset >= FPosition)
    skip = offset - FPosition;
  else
    throw EDecompressionError(kInvalidOp);
  uint8_t scratch[kSkipStep];
  while (skip > 0) {
    int32_t n = static_cast<int32_t>(std::min<int64_t>(skip, kSkipStep));
    ReadBuffer(scratch, n);  // EReadError when the data ends before the target position
    skip -= n;
  }
  return FPosition;
}

// --- TCompressionStream --------------------------------------------------------------

TCompressionStream::TCompressionStream(TStream& dest, int level, TZStreamFormat format)
    : FDest(dest), FZ(std::make_unique<z_stream_s>()), FBuffer(std::make_unique<uint8_t[]>(kBufferSize)) {
  if (format == TZStreamFormat::zsfAuto) format = TZStreamFormat::zsfZLib;
  if (deflateInit2(FZ.get(), level, Z_DEFLATED, WindowBits(format), 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    FZ.reset();
    throw EZCompressionError(kError);
  }
}

TCompressionStream::~TCompressionStream() {
  if (FZ) deflateEnd(FZ.get());
}

void TCompressionStream::Deflate(int flush) {
  for (;;) {
    FZ->next_out = FBuffer.get();
    FZ->avail_out = kBufferSize;
    int rc = deflate(FZ.get(), flush);
    if (rc == Z_STREAM_ERROR) throw EZCompressionError(kError);
    int32_t have = kBufferSize - static_cast<int32_t>(FZ->avail_out);
    if (have > 0) {
      FDest.WriteBuffer(FBuffer.get(), have);
      FCompressed += have;
    }
    if (flush == Z_FINISH) {
      if (rc == Z_STREAM_END) return;
      if (rc == Z_BUF_ERROR && have == 0) throw EZCompressionError(kError);  // no progress possible
    } else if (rc == Z_BUF_ERROR || (FZ->avail_in == 0 && FZ->avail_out != 0)) {
      return;  // all input taken and all output handed on
    }
  }
}

int32_t TCompressionStream::Write(const void* buffer, int32_t count) {
  if (FFinished) throw EZCompressionError(kInvalidOp);
  if (count <= 0) return 0;
  FZ->next_in = static_cast<Bytef*>(const_cast<void*>(buffer));
  FZ->avail_in = static_cast<uInt>(count);
  Deflate(Z_NO_FLUSH);
  FPosition += count;
  return count;
}

int32_t TCompressionStream::Read(void*, int32_t) { throw EZCompressionError(kInvalidOp); }

int64_t TCompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset == 0 && origin == TSeekOrigin::soCurrent) return FPosition;
  throw EZCompressionError(kInvalidOp);
}

void TCompressionStream::Finish() {
  if (FFinished) return;
  FZ->next_in = nullptr;
  FZ->avail_in = 0;
  Deflate(Z_FINISH);
  FFinished = true;
}

}  // namespace base
