// Piecewise conversion between a code page's bytes and UTF-16, for streams that convert
// text a buffer at a time: a character cut by the end of one buffer is left for the next.
// On Windows this is MultiByteToWideChar/WideCharToMultiByte; natively the C library's
// iconv, for the Windows code pages the product names (single-byte, 932, 936, 949, 950,
// EUC-JP, ISO-2022-JP and the ISO-8859 family).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// One conversion step: input consumed, output produced, and the system error code of a
// failure (0 when the step succeeded).
struct CodecStep {
  size_t InUsed = 0;
  size_t OutUsed = 0;
  uint32_t Error = 0;
  // Exact mode: the conversion stopped at input it could not convert exactly, which
  // starts at InUsed (Error stays 0).
  bool Invalid = false;
};

// Bytes in a code page -> UTF-16. Bytes that are not valid in the code page become
// replacement characters (U+FFFD natively; the system's choice on Windows).
class TextDecoder {
 public:
  explicit TextDecoder(uint32_t codePage);
  ~TextDecoder();
  TextDecoder(const TextDecoder&) = delete;
  TextDecoder& operator=(const TextDecoder&) = delete;

  uint32_t CodePage() const { return FCodePage; }
  // Non-zero (a system error code) when this host cannot convert the code page.
  uint32_t Error() const { return FError; }
  // Exact mode: bytes that are no character of the code page (and a character cut by
  // the end of final input) stop the conversion with Invalid instead of being replaced.
  void SetExact(bool exact) { FExact = exact; }
  // Converts as much of in as fits into out (outCap >= 2 guarantees progress). A
  // character cut by the end of in stays unconsumed unless final is set, in which case it
  // becomes a replacement character.
  CodecStep Convert(const uint8_t* in, size_t inLen, char16_t* out, size_t outCap, bool final);

 private:
  bool IsDbcsLead(uint8_t byte) const;  // Windows: in the lead-byte ranges
  uint32_t FCodePage;
  uint32_t FError = 0;
  bool FExact = false;
  uintptr_t FHandle = 0;                         // iconv descriptor natively; DBCS flag on Windows
  [[maybe_unused]] uint8_t FLeadBytes[12] = {};  // lead-byte ranges of a double-byte code page (Windows)
  // Natively, the 256 characters of a single-byte code page, asked of the converter once.
  std::unique_ptr<char16_t[]> FSingleByte;
};

// UTF-16 -> bytes in a code page. Characters the code page lacks and lone surrogates
// become its default character ("?").
class TextEncoder {
 public:
  explicit TextEncoder(uint32_t codePage);
  ~TextEncoder();
  TextEncoder(const TextEncoder&) = delete;
  TextEncoder& operator=(const TextEncoder&) = delete;

  uint32_t CodePage() const { return FCodePage; }
  uint32_t Error() const { return FError; }
  // Exact mode: a character the code page lacks (or a lone surrogate) stops the
  // conversion with Invalid instead of becoming the default character.
  void SetExact(bool exact) { FExact = exact; }
  // Converts as much of in as fits into out. A high surrogate at the end of in stays
  // unconsumed unless final is set. With final the encoder returns to its initial shift
  // state afterwards, so every final step ends a complete byte sequence. outCap >= 16
  // guarantees progress.
  CodecStep Convert(const char16_t* in, size_t inLen, uint8_t* out, size_t outCap, bool final);

 private:
  uint32_t FCodePage;
  uint32_t FError = 0;
  bool FExact = false;
  uintptr_t FHandle = 0;
  // Natively, a single-byte code page converted by a table of its own (1252).
  [[maybe_unused]] bool FOwnTable = false;
};

// The default ANSI code page of the language of the calling thread's keyboard layout;
// 1252 when it cannot be read (always natively, as a Western Windows would answer).
uint32_t KeyboardAnsiCodePage();

// Locale-aware comparison of two UTF-16 texts, <0, 0 or >0. Natively: simple case
// folding of each code unit, then (case-sensitive only) lower case before upper case.
int CompareWideText(std::u16string_view a, std::u16string_view b, bool ignoreCase);

}  // namespace platform
