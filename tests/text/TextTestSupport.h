// Helpers shared by the text module's tests: byte strings written as hex, reading a
// whole text stream in pieces of a chosen size, and a stream that counts real seeks.
#pragma once

#include <cstdint>
#include <string>

#include "base/Stream.h"
#include "text/TextStreams.h"

namespace texttest {

// "EF BB BF 61" -> the four bytes.
std::string Bytes(const char* hex);
// The bytes as "EF BB BF 61", for failure messages.
std::string Hex(const std::string& bytes);

// Reads the stream to its end, `units` UTF-16 units per Read call.
std::u16string ReadAll(text::TRkTextStream& s, int32_t units);

// The bytes a UTF-16 text becomes in code page cp, by a converter that is not the
// product's: the C library's iconv natively, WideCharToMultiByte on Windows.
std::string ReferenceEncode(const std::u16string& text, uint16_t cp);
// The reverse, with the same converter.
std::u16string ReferenceDecode(const std::string& bytes, uint16_t cp);
// True where the host converts every code page the XML encoding names map to (natively,
// through iconv); Windows hosts may lack some.
extern const bool kHostConvertsEveryXmlCodePage;

// A memory stream that counts the seeks that could move it (all but Seek(0, current)).
class TSeekCountingStream : public base::TMemoryStream {
 public:
  int64_t Seek(int64_t offset, base::TSeekOrigin origin) override {
    if (!(offset == 0 && origin == base::TSeekOrigin::soCurrent)) ++MovingSeeks;
    return TMemoryStream::Seek(offset, origin);
  }
  int MovingSeeks = 0;
};

}  // namespace texttest
