// TRkTextStream: a stream filter that exchanges UTF-16 text with its user while the bytes
// of the wrapped stream are in a chosen code page: UTF-16LE (1200), UTF-16BE (1201),
// UTF-32LE (12000),
// UTF-8 (65001, its own coder) or any single- or multi-byte code page of the system.
// Read and Write count bytes of UTF-16 on the caller's side. Read access detects a byte
// order mark and switches to its code page; write access truncates the stream and
// writes the mark of a Unicode code page.
//
// Conversions keep their place across calls: bytes of a character cut by the end of one
// read are kept for the next (UTF-8 sequences, double-byte characters of 932, 936, 949
// and 950), and a high surrogate at the end of one write waits for its low half. A held
// high surrogate that no low half follows is written as a replacement when the stream
// seeks, switches code page or is destroyed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "base/Strings.h"
#include "text/StreamWrapper.h"

namespace platform {
class TextDecoder;
class TextEncoder;
}  // namespace platform

namespace text {

using base::WideString;

// Raised with the help context 3001..3005 (see TRkTextStream's error codes).
class ERkTextStream : public base::Exception {
 public:
  using Exception::Exception;
};

constexpr int rkeSystemError = 3001;     // "%s failed. System Error.  Code: %d.\r\n%s"
constexpr int rkeOSCallFailed = 3002;    // "%s failed. A call to an OS function failed"
constexpr int rkeAppendReversed = 3003;  // "%s:Cannot append reversed Unicode stream."
constexpr int rkeWriteReversed = 3004;   // "%s:Cannot write to reversed Unicode stream."
constexpr int rkeOddByteCount = 3005;    // "%s:Cannot convert odd number of bytes: %d"

// Access modes.
enum TRkTextAccess : uint8_t {
  rkaRead = 0,
  rkaWrite = 1,               // truncates, then writes the mark of a Unicode code page
  rkaAppend = 2,              // at the end; the mark only into an empty stream
  rkaAppendKeepEncoding = 3,  // at the end, in the code page the stream's mark names
};

// Creation flags.
constexpr uint8_t rkfUnicode = 1;
constexpr uint8_t rkfReversed = 2;   // big-endian units (read only)
constexpr uint8_t rkfUtf8Mark = 16;  // write access with 65001 writes EF BB BF

constexpr uint16_t kCodePageUtf16 = 1200;
constexpr uint16_t kCodePageUtf16BE = 1201;  // read and written with each unit's bytes swapped
constexpr uint16_t kCodePageUtf32 = 12000;
constexpr uint16_t kCodePageUtf8 = 65001;

class TRkTextStream : public TRkStreamWrapper {
 public:
  // The stream is not owned. Flags asking for Unicode with a code page other than 65001
  // and 12000 mean 1200. Raises ERkTextStream 3003 or 3004 for a reversed Unicode stream
  // opened to write or append.
  TRkTextStream(TStream* stream, uint16_t codePage, uint8_t flags, TRkTextAccess access);
  ~TRkTextStream() override;

  // count bytes of UTF-16 in and out. A code page other than the Unicode ones refuses an
  // odd count (3005); a conversion the system refuses raises 3001 or 3002.
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  // True for an empty text, else when every byte of it was accepted.
  bool WriteString(const WideString& text);

  // The next Read or Write uses cp; 0 means the code page of the keyboard layout's
  // language for a stream that is not Unicode.
  virtual void SwitchCodePage(uint16_t codePage);
  virtual uint32_t LastWindowsError() const { return FLastWindowsError; }

  uint16_t CodePage() const { return FCodePage; }
  uint8_t Flags() const { return FFlags; }
  TRkTextAccess Access() const { return FAccess; }

 protected:
  // Sizes up to kWorkBufferSize use the buffer allocated at creation; a larger one is
  // kept for the next large request (a reader asks for the same size again and again).
  virtual uint8_t* GetWorkBuffer(int32_t size);
  virtual void ReleaseWorkBuffer(uint8_t* buffer);
  virtual void HandleByteOrderMark();
  // "TRkTextStream", or "TRkTextStream.<method>" when a method is named.
  virtual std::string MessagePrefix(const std::string& methodName) const;
  // On a false condition: records the last system error and raises 3001 with it, or 3002
  // when there is none.
  void CheckWindowsCall(bool condition, const std::string& methodName);
  [[noreturn]] void Raise(int code, const std::string& message) const;

  int64_t RealSeek(int64_t offset, TSeekOrigin origin) override;

  static constexpr int32_t kWorkBufferSize = 2048;

  TRkTextAccess FAccess;
  uint16_t FCodePage = 0;
  uint8_t FFlags = 0;
  std::unique_ptr<uint8_t[]> FWorkBuffer;
  uint32_t FLastWindowsError = 0;

 private:
  std::unique_ptr<uint8_t[]> FLargeWorkBuffer;
  size_t FLargeWorkSize = 0;
  bool FLargeWorkInUse = false;

  bool DetectMark(bool fourByteFirst);
  void WriteMark();
  size_t ReadUnits(char16_t* out, size_t units);
  size_t ReadRaw(uint8_t* out, size_t count);
  bool WriteUnits(const char16_t* src, size_t n);
  bool EncodeAndWrite(const char16_t* src, size_t n);
  void FlushHeldUnit();
  void DropReadState();
  platform::TextDecoder& Decoder();
  platform::TextEncoder& Encoder();

  int64_t FStart = 0;               // where the text begins in the wrapped stream
  std::vector<uint8_t> FPendingIn;  // bytes read but not yet decoded
  char16_t FCarry = 0;              // a decoded unit the last read had no room for
  bool FHasCarry = false;
  char16_t FHeldHigh = 0;  // a written high surrogate waiting for its low half
  std::unique_ptr<platform::TextDecoder> FDecoder;
  std::unique_ptr<platform::TextEncoder> FEncoder;
};

}  // namespace text
