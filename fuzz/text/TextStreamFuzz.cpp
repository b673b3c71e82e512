// Feeds arbitrary bytes to the encoded text stream in every access mode and code page.
// The first byte picks the code page, the access mode and the size of the reads; the
// rest is the stream's content. The stream reads straight from the fuzzer's buffer, so a
// read past the input is caught. Checks: reading ends, reading in small pieces gives the
// same text as reading in one piece, and what the writer accepts reads back as written.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/Stream.h"
#include "text/TextStreams.h"

namespace {

// A read-only view of the fuzzer's bytes; writes go to a separate string.
class TInputStream : public base::TStream {
 public:
  TInputStream(const uint8_t* data, size_t size) : FData(data), FSize(static_cast<int64_t>(size)) {}
  int32_t Read(void* buffer, int32_t count) override {
    if (FWritten) return ReadWritten(buffer, count);
    int64_t n = std::clamp<int64_t>(FSize - FPosition, 0, count);
    if (n > 0) std::memcpy(buffer, FData + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return static_cast<int32_t>(n);
  }
  int32_t Write(const void* buffer, int32_t count) override {
    Materialise();
    if (count <= 0) return 0;
    size_t end = static_cast<size_t>(FPosition) + static_cast<size_t>(count);
    if (end > FCopy.size()) FCopy.resize(end);
    std::memcpy(FCopy.data() + FPosition, buffer, static_cast<size_t>(count));
    FPosition = static_cast<int64_t>(end);
    return count;
  }
  int64_t Seek(int64_t offset, base::TSeekOrigin origin) override {
    int64_t size = FWritten ? static_cast<int64_t>(FCopy.size()) : FSize;
    switch (origin) {
      case base::TSeekOrigin::soBeginning: FPosition = offset; break;
      case base::TSeekOrigin::soCurrent: FPosition += offset; break;
      case base::TSeekOrigin::soEnd: FPosition = size + offset; break;
    }
    FPosition = std::clamp<int64_t>(FPosition, 0, size);
    return FPosition;
  }
  void SetSize(int64_t newSize) override {
    Materialise();
    FCopy.resize(static_cast<size_t>(std::max<int64_t>(newSize, 0)));
    FPosition = std::min<int64_t>(FPosition, static_cast<int64_t>(FCopy.size()));
  }

 private:
  void Materialise() {
    if (FWritten) return;
    FCopy.assign(reinterpret_cast<const char*>(FData), static_cast<size_t>(FSize));
    FWritten = true;
  }
  int32_t ReadWritten(void* buffer, int32_t count) {
    int64_t n = std::clamp<int64_t>(static_cast<int64_t>(FCopy.size()) - FPosition, 0, count);
    if (n > 0) std::memcpy(buffer, FCopy.data() + FPosition, static_cast<size_t>(n));
    FPosition += n;
    return static_cast<int32_t>(n);
  }
  const uint8_t* FData;
  int64_t FSize;
  int64_t FPosition = 0;
  bool FWritten = false;
  std::string FCopy;
};

constexpr uint16_t kCodePages[] = {65001, 1200,  12000, 1252,  1251, 932,  936, 949,
                                   950,   50220, 51932, 28591, 1255, 1258, 0,   12345};

// Reads everything in pieces of `units`; aborts on a loop that makes no progress.
std::u16string ReadAll(text::TRkTextStream& s, int32_t units, size_t inputSize) {
  std::u16string out;
  std::u16string buf(static_cast<size_t>(units), u'\0');
  for (size_t calls = 0;; ++calls) {
    if (calls > inputSize + 16) std::abort();  // every call must consume or end
    int32_t n = s.Read(buf.data(), units * 2);
    if (n < 0 || n > units * 2) std::abort();
    if (n == 0) break;
    out.append(buf.data(), static_cast<size_t>(n) / 2);
  }
  return out;
}

std::u16string LoneSurrogatesReplaced(const std::u16string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      out += c;
      out += s[++i];
    } else {
      out += c >= 0xD800 && c <= 0xDFFF ? char16_t{0xFFFD} : c;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  uint8_t selector = data[0];
  const uint8_t* body = data + 1;
  size_t bodySize = size - 1;
  uint16_t cp = kCodePages[selector & 15];
  auto access = static_cast<text::TRkTextAccess>((selector >> 4) & 3);
  int32_t units = 1 + ((selector >> 6) * 5);  // 1, 6, 11 or 16 units per read

  try {
    if (access == text::rkaRead) {
      TInputStream whole(body, bodySize);
      text::TRkTextStream all(&whole, cp, 0, text::rkaRead);
      std::u16string once = ReadAll(all, 1 << 16, bodySize);
      if (once.size() > bodySize + 1) std::abort();  // never more units than bytes
      TInputStream pieces(body, bodySize);
      text::TRkTextStream small(&pieces, cp, 0, text::rkaRead);
      if (ReadAll(small, units, bodySize) != once) std::abort();
      return 0;
    }
    // The writer: the body as UTF-16 units, written in pieces and read back.
    std::u16string textIn(bodySize / 2, u'\0');
    std::memcpy(textIn.data(), body, textIn.size() * 2);
    TInputStream target(nullptr, 0);
    {
      text::TRkTextStream w(&target, cp, 0, access);
      for (size_t done = 0; done < textIn.size();) {
        size_t n = std::min<size_t>(static_cast<size_t>(units), textIn.size() - done);
        w.Write(textIn.data() + done, static_cast<int32_t>(n * 2));
        done += n;
      }
    }
    target.Seek(0, base::TSeekOrigin::soBeginning);
    text::TRkTextStream r(&target, cp, 0, text::rkaRead);
    std::u16string back = ReadAll(r, 64, textIn.size() * 4 + 8);
    // A text that begins with what reads as a byte order mark is not expected back.
    bool markLike = !textIn.empty() && (textIn[0] == 0xFEFF || textIn[0] == 0xFFFE);
    // Without a mark, UTF-16 text can begin with the UTF-8 mark's bytes; after the mark
    // FF FE, a U+0000 makes it the UTF-32 mark.
    if (cp == 1200 && textIn.size() >= 2 && textIn[0] == 0xBBEF && (textIn[1] & 0xFF) == 0xBF) markLike = true;
    if (cp == 1200 && !textIn.empty() && textIn[0] == 0) markLike = true;
    if (markLike) return 0;
    if (cp == 65001 || cp == 12000) {
      // BOM-less UTF-8 and UTF-32 read back exactly as written, lone halves replaced;
      // the mark of UTF-32 is read as one.
      if (back != LoneSurrogatesReplaced(textIn)) std::abort();
    } else if (cp == 1200) {
      if (back != textIn) std::abort();
    }
  } catch (const text::ERkTextStream& e) {
    // Allowed: odd byte counts on 8-bit code pages, and the unknown code page.
    if (e.HelpContext() < 3001 || e.HelpContext() > 3005) std::abort();
  }
  return 0;
}
