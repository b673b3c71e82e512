#include "text/TextStreams.h"

#include <algorithm>
#include <cstring>

#include "base/Format.h"
#include "platform/SystemError.h"
#include "platform/TextCodec.h"
#include "text/UnicodeCodec.h"

namespace text {
namespace {

bool IsUnicodeCodePage(uint16_t cp) {
  return cp == kCodePageUtf16 || cp == kCodePageUtf16BE || cp == kCodePageUtf32 || cp == kCodePageUtf8;
}
bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The largest piece a single read converts; longer reads loop.
constexpr size_t kMaxReadChunk = 64 * 1024;
// Units handed to the system's converter at a time, so its output fits the work buffer.
constexpr size_t kEncodePiece = 480;

}  // namespace

TRkTextStream::TRkTextStream(TStream* stream, uint16_t codePage, uint8_t flags, TRkTextAccess access)
    : TRkStreamWrapper(stream), FAccess(access) {
  if ((flags & rkfUnicode) && codePage != kCodePageUtf8 && codePage != kCodePageUtf32 && codePage != kCodePageUtf16BE)
    codePage = kCodePageUtf16;
  FFlags = flags;
  SwitchCodePage(codePage);
  FWorkBuffer = std::make_unique<uint8_t[]>(kWorkBufferSize);
  FPendingIn.reserve(64);
  FStart = FStream->Position();
  HandleByteOrderMark();
}

TRkTextStream::~TRkTextStream() {
  try {
    FlushHeldUnit();
  } catch (...) {
    // A destructor cannot report it; the lone half is lost as it would be anyway.
  }
}

std::string TRkTextStream::MessagePrefix(const std::string& methodName) const {
  return methodName.empty() ? "TRkTextStream" : "TRkTextStream." + methodName;
}

void TRkTextStream::Raise(int code, const std::string& message) const { throw ERkTextStream(message, code); }

void TRkTextStream::CheckWindowsCall(bool condition, const std::string& methodName) {
  if (condition) return;
  FLastWindowsError = platform::LastError();
  std::string prefix = base::Format("%s failed. ", MessagePrefix(methodName));
  if (FLastWindowsError != 0)
    Raise(rkeSystemError, prefix + base::Format("System Error.  Code: %d.\r\n%s", FLastWindowsError,
                                                platform::SysErrorMessage(FLastWindowsError)));
  Raise(rkeOSCallFailed, prefix + "A call to an OS function failed");
}

uint8_t* TRkTextStream::GetWorkBuffer(int32_t size) {
  if (size <= kWorkBufferSize) return FWorkBuffer.get();
  auto need = static_cast<size_t>(size);
  if (FLargeWorkInUse) return new uint8_t[need];
  if (FLargeWorkSize < need) {
    FLargeWorkBuffer.reset();
    FLargeWorkSize = 0;
    FLargeWorkBuffer.reset(new uint8_t[need]);
    FLargeWorkSize = need;
  }
  FLargeWorkInUse = true;
  return FLargeWorkBuffer.get();
}

void TRkTextStream::ReleaseWorkBuffer(uint8_t* buffer) {
  if (buffer == FWorkBuffer.get()) return;
  if (buffer == FLargeWorkBuffer.get())
    FLargeWorkInUse = false;
  else
    delete[] buffer;
}

void TRkTextStream::SwitchCodePage(uint16_t codePage) {
  FlushHeldUnit();  // a held half belongs to the code page it was written in
  if (codePage == 0) {
    if (!(FFlags & rkfUnicode)) codePage = static_cast<uint16_t>(platform::KeyboardAnsiCodePage());
  } else if (IsUnicodeCodePage(codePage)) {
    FFlags |= rkfUnicode;
  } else {
    FFlags &= static_cast<uint8_t>(~rkfUnicode);
  }
  FCodePage = codePage;
}

// --- byte order marks ----------------------------------------------------------------

bool TRkTextStream::DetectMark(bool readAccess) {
  int64_t avail = FStream->Size() - FStart;
  uint8_t b[4] = {};
  int32_t n = avail > 0 ? FStream->Read(b, static_cast<int32_t>(std::min<int64_t>(avail, 4))) : 0;
  int markLen = 0;
  if (avail > 3 && n == 4) {
    if (b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) {
      FFlags = rkfUnicode;
      FCodePage = kCodePageUtf32;
      markLen = 4;
    } else if (b[0] == 0xFE && b[1] == 0xFF && b[2] == 0 && b[3] == 0) {
      FFlags = rkfUnicode | rkfReversed;
      FCodePage = kCodePageUtf32;
      markLen = 4;
    }
  }
  bool twoByteCheck = readAccess ? avail > 1 && FCodePage != kCodePageUtf32 : avail >= 2 && markLen == 0;
  if (markLen == 0 && twoByteCheck && n >= 2) {
    if (b[0] == 0xFF && b[1] == 0xFE) {
      FFlags = rkfUnicode;
      FCodePage = kCodePageUtf16;
      markLen = 2;
    } else if (b[0] == 0xFE && b[1] == 0xFF) {
      FFlags = rkfUnicode | rkfReversed;
      FCodePage = kCodePageUtf16;
      markLen = 2;
    } else if (b[0] == 0xEF && b[1] == 0xBB && n >= 3 && b[2] == 0xBF) {
      FFlags = rkfUnicode;
      FCodePage = kCodePageUtf8;
      markLen = 3;
    }
  }
  FStream->Seek(FStart + markLen, TSeekOrigin::soBeginning);
  return markLen != 0;
}

void TRkTextStream::WriteMark() {
  static const uint8_t kUtf32[] = {0xFF, 0xFE, 0, 0};
  static const uint8_t kUtf16[] = {0xFF, 0xFE};
  static const uint8_t kUtf8[] = {0xEF, 0xBB, 0xBF};
  if (FCodePage == kCodePageUtf32)
    FStream->WriteBuffer(kUtf32, 4);
  else if (FCodePage == kCodePageUtf8) {
    if (FFlags & rkfUtf8Mark) FStream->WriteBuffer(kUtf8, 3);
  } else if (FCodePage == kCodePageUtf16BE) {
    static const uint8_t kUtf16BE[] = {0xFE, 0xFF};
    FStream->WriteBuffer(kUtf16BE, 2);
  } else {
    FStream->WriteBuffer(kUtf16, 2);
  }
}

void TRkTextStream::HandleByteOrderMark() {
  switch (FAccess) {
    case rkaRead:
      FFlags = 0;
      if (!DetectMark(true) && IsUnicodeCodePage(FCodePage)) FFlags = rkfUnicode;
      break;
    case rkaWrite:
      if (IsUnicodeCodePage(FCodePage)) FFlags |= rkfUnicode;
      if ((FFlags & rkfUnicode) && (FFlags & rkfReversed))
        Raise(rkeWriteReversed, MessagePrefix("") + ":Cannot write to reversed Unicode stream.");
      FStream->SetSize(FStart);
      FStream->Seek(FStart, TSeekOrigin::soBeginning);
      if (FFlags & rkfUnicode) WriteMark();
      break;
    case rkaAppend:
      if (IsUnicodeCodePage(FCodePage)) FFlags |= rkfUnicode;
      if ((FFlags & rkfUnicode) && (FFlags & rkfReversed))
        Raise(rkeAppendReversed, MessagePrefix("") + ":Cannot append reversed Unicode stream.");
      if (FStream->Size() <= FStart && (FFlags & rkfUnicode)) {
        FStream->Seek(FStart, TSeekOrigin::soBeginning);
        WriteMark();
      } else {
        FStream->Seek(0, TSeekOrigin::soEnd);
      }
      break;
    case rkaAppendKeepEncoding: {
      FFlags = 0;
      bool found = DetectMark(false);
      FStream->Seek(0, TSeekOrigin::soEnd);
      if (!found && IsUnicodeCodePage(FCodePage)) FFlags |= rkfUnicode;
      if (FFlags & rkfReversed) Raise(rkeAppendReversed, MessagePrefix("") + ":Cannot append reversed Unicode stream.");
      break;
    }
  }
}

// --- reading -------------------------------------------------------------------------

platform::TextDecoder& TRkTextStream::Decoder() {
  if (!FDecoder || FDecoder->CodePage() != FCodePage) FDecoder = std::make_unique<platform::TextDecoder>(FCodePage);
  return *FDecoder;
}

platform::TextEncoder& TRkTextStream::Encoder() {
  if (!FEncoder || FEncoder->CodePage() != FCodePage) FEncoder = std::make_unique<platform::TextEncoder>(FCodePage);
  return *FEncoder;
}

void TRkTextStream::DropReadState() {
  FPendingIn.clear();
  FHasCarry = false;
  FDecoder.reset();  // its shift state belongs to the old position
}

int64_t TRkTextStream::RealSeek(int64_t offset, TSeekOrigin origin) {
  FlushHeldUnit();
  DropReadState();
  return TRkStreamWrapper::RealSeek(offset, origin);
}

size_t TRkTextStream::ReadRaw(uint8_t* out, size_t count) {
  size_t done = 0;
  if (FHasCarry && count >= 2) {
    std::memcpy(out, &FCarry, 2);
    FHasCarry = false;
    done = 2;
  }
  size_t fromPending = std::min(FPendingIn.size(), count - done);
  if (fromPending) {
    std::memcpy(out + done, FPendingIn.data(), fromPending);
    FPendingIn.erase(FPendingIn.begin(), FPendingIn.begin() + static_cast<ptrdiff_t>(fromPending));
    done += fromPending;
  }
  while (done < count) {
    int32_t n = FStream->Read(out + done, static_cast<int32_t>(std::min<size_t>(count - done, 0x40000000)));
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

size_t TRkTextStream::ReadUnits(char16_t* out, size_t units) {
  size_t produced = 0;
  if (FHasCarry && units > 0) {
    out[produced++] = FCarry;
    FHasCarry = false;
  }
  if (produced == units) return produced;

  enum class Coder { Utf8, Utf32, Utf16Swapped, System } coder;
  if (!(FFlags & rkfUnicode))
    coder = Coder::System;
  else if (FCodePage == kCodePageUtf8)
    coder = Coder::Utf8;
  else if (FCodePage == kCodePageUtf32)
    coder = Coder::Utf32;
  else
    coder = Coder::Utf16Swapped;
  platform::TextDecoder* system = nullptr;
  if (coder == Coder::System) {
    system = &Decoder();
    if (system->Error()) {
      platform::SetLastError(system->Error());
      CheckWindowsCall(false, "Read");
    }
  }
  bool reversed = (FFlags & rkfReversed) != 0;
  // Bytes asked per unit of room: never more units come out than there is room for,
  // apart from a pair's low half (kept in FCarry).
  size_t perUnit = coder == Coder::Utf8 || coder == Coder::System ? 1 : 2;
  auto decode = [&](const uint8_t* in, size_t len, char16_t* dst, size_t cap, bool final) -> platform::CodecStep {
    switch (coder) {
      case Coder::Utf8: {
        TCodecStep s = DecodeUtf8(in, len, dst, cap, final);
        return {s.InUsed, s.OutUsed, 0};
      }
      case Coder::Utf32: {
        TCodecStep s = DecodeUtf32(in, len, dst, cap, final, reversed);
        return {s.InUsed, s.OutUsed, 0};
      }
      case Coder::Utf16Swapped: {
        TCodecStep s = DecodeUtf16Swapped(in, len, dst, cap, final);
        return {s.InUsed, s.OutUsed, 0};
      }
      case Coder::System: break;
    }
    return system->Convert(in, len, dst, cap, final);
  };

  // Room for the asked bytes behind the kept ones; kept bytes are at most one cut
  // character (a few bytes), so the slack never runs out.
  size_t bufSize = std::min(kMaxReadChunk, perUnit * (units - produced) + FPendingIn.size() + 64);
  uint8_t* buf = GetWorkBuffer(static_cast<int32_t>(bufSize));
  try {
    while (produced < units) {
      size_t room = units - produced;
      size_t p = FPendingIn.size();
      if (p) std::memcpy(buf, FPendingIn.data(), p);
      FPendingIn.clear();
      size_t want = perUnit * room > p ? perUnit * room - p : 1;
      want = std::min(want, bufSize - p);
      int32_t got = FStream->Read(buf + p, static_cast<int32_t>(want));
      if (got < 0) got = 0;
      bool eof = got == 0;
      size_t total = p + static_cast<size_t>(got);
      platform::CodecStep step;
      if (room >= 2) {
        step = decode(buf, total, out + produced, room, eof);
        if (!step.Error) produced += step.OutUsed;
      } else {
        char16_t tmp[2];
        step = decode(buf, total, tmp, 2, eof);
        if (!step.Error && step.OutUsed > 0) {
          out[produced++] = tmp[0];
          if (step.OutUsed == 2) {
            FCarry = tmp[1];
            FHasCarry = true;
          }
        }
      }
      if (step.Error) {
        FPendingIn.assign(buf, buf + total);  // undecoded: a retry after a switch may take them
        platform::SetLastError(step.Error);
        CheckWindowsCall(false, "Read");
      }
      FPendingIn.assign(buf + step.InUsed, buf + total);
      if (eof) {
        if (step.OutUsed == 0) break;  // nothing more to come
        continue;                      // a converter may still hold characters back
      }
      if (static_cast<size_t>(got) < want && produced > 0) break;  // the stream has no more for now
    }
  } catch (...) {
    ReleaseWorkBuffer(buf);
    throw;
  }
  ReleaseWorkBuffer(buf);
  return produced;
}

int32_t TRkTextStream::Read(void* buffer, int32_t count) {
  PerformPendingSeek();
  if (count <= 0) return 0;
  if (!(FFlags & rkfUnicode)) {
    if (count & 1)
      Raise(rkeOddByteCount, base::Format("%s:Cannot convert odd number of bytes: %d", MessagePrefix(""), count));
  } else if (FCodePage == kCodePageUtf16 && !(FFlags & rkfReversed)) {
    return static_cast<int32_t>(ReadRaw(static_cast<uint8_t*>(buffer), static_cast<size_t>(count)));
  }
  size_t units = static_cast<size_t>(count) / 2;
  if (reinterpret_cast<uintptr_t>(buffer) % alignof(char16_t) == 0)
    return static_cast<int32_t>(2 * ReadUnits(static_cast<char16_t*>(buffer), units));
  // A buffer at an odd address: convert into aligned pieces and copy.
  auto* dst = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  char16_t tmp[512];
  while (done < units) {
    size_t want = std::min<size_t>(units - done, 512);
    size_t n = ReadUnits(tmp, want);
    std::memcpy(dst + 2 * done, tmp, 2 * n);
    done += n;
    if (n < want) break;
  }
  return static_cast<int32_t>(2 * done);
}

// --- writing -------------------------------------------------------------------------

bool TRkTextStream::EncodeAndWrite(const char16_t* src, size_t n) {
  uint8_t* out = FWorkBuffer.get();
  bool ok = true;
  size_t done = 0;
  bool system = !(FFlags & rkfUnicode);
  platform::TextEncoder* encoder = nullptr;
  if (system) {
    encoder = &Encoder();
    if (encoder->Error()) {
      platform::SetLastError(encoder->Error());
      CheckWindowsCall(false, "Write");
    }
  }
  while (done < n) {
    platform::CodecStep step;
    if (!system) {
      TCodecStep s = FCodePage == kCodePageUtf32 ? EncodeUtf32(src + done, n - done, out, kWorkBufferSize, true)
                                                 : EncodeUtf8(src + done, n - done, out, kWorkBufferSize, true);
      step = {s.InUsed, s.OutUsed, 0};
    } else {
      // Pieces end on whole surrogate pairs, so each piece is complete in itself.
      size_t piece = std::min(n - done, kEncodePiece);
      if (piece < n - done && IsHigh(src[done + piece - 1])) --piece;
      step = encoder->Convert(src + done, piece, out, kWorkBufferSize, true);
      if (step.Error) {
        platform::SetLastError(step.Error);
        CheckWindowsCall(false, "Write");
      }
    }
    if (step.InUsed == 0 && step.OutUsed == 0) {
      platform::SetLastError(0);
      CheckWindowsCall(false, "Write");  // a converter that makes no progress
    }
    if (step.OutUsed) {
      int32_t w = FStream->Write(out, static_cast<int32_t>(step.OutUsed));
      if (w != static_cast<int32_t>(step.OutUsed)) ok = false;
    }
    done += step.InUsed;
  }
  return ok;
}

bool TRkTextStream::WriteUnits(const char16_t* src, size_t n) {
  bool ok = true;
  if (FHeldHigh) {
    char16_t pair[2] = {FHeldHigh, n ? src[0] : u'\0'};
    FHeldHigh = 0;
    if (n && IsLow(src[0])) {
      ok = EncodeAndWrite(pair, 2);
      ++src;
      --n;
    } else {
      ok = EncodeAndWrite(pair, 1);
    }
  }
  if (n && IsHigh(src[n - 1])) {
    FHeldHigh = src[n - 1];
    --n;
  }
  if (n) ok = EncodeAndWrite(src, n) && ok;
  return ok;
}

void TRkTextStream::FlushHeldUnit() {
  if (!FHeldHigh) return;
  char16_t unit = FHeldHigh;
  FHeldHigh = 0;
  if ((FFlags & rkfUnicode) && (FCodePage == kCodePageUtf16 || FCodePage == kCodePageUtf16BE)) {
    if (FCodePage == kCodePageUtf16BE) unit = static_cast<char16_t>(unit << 8 | unit >> 8);
    FStream->Write(&unit, 2);
    return;
  }
  EncodeAndWrite(&unit, 1);
}

int32_t TRkTextStream::Write(const void* buffer, int32_t count) {
  PerformPendingSeek();
  if (count <= 0) return 0;
  bool unicode = (FFlags & rkfUnicode) != 0;
  if (!unicode && (count & 1))
    Raise(rkeOddByteCount, base::Format("%s:Cannot convert odd number of bytes: %d", MessagePrefix(""), count));
  if (unicode && FCodePage == kCodePageUtf16) return FStream->Write(buffer, count);
  if (unicode && FCodePage == kCodePageUtf16BE) {
    // Each unit with its bytes swapped, a work buffer at a time.
    auto* src = static_cast<const uint8_t*>(buffer);
    uint8_t* swapped = FWorkBuffer.get();
    bool ok = true;
    for (int32_t done = 0; done < count;) {
      int32_t n = std::min<int32_t>((count - done) & ~1, kWorkBufferSize);
      if (n == 0) break;
      for (int32_t k = 0; k < n; k += 2) {
        swapped[k] = src[done + k + 1];
        swapped[k + 1] = src[done + k];
      }
      ok = FStream->Write(swapped, n) == n && ok;
      done += n;
    }
    return ok ? count : 0;
  }
  size_t units = static_cast<size_t>(count) / 2;
  bool ok = true;
  if (reinterpret_cast<uintptr_t>(buffer) % alignof(char16_t) == 0) {
    ok = WriteUnits(static_cast<const char16_t*>(buffer), units);
  } else {
    auto* src = static_cast<const uint8_t*>(buffer);
    char16_t tmp[512];
    for (size_t done = 0; done < units;) {
      size_t n = std::min<size_t>(units - done, 512);
      std::memcpy(tmp, src + 2 * done, 2 * n);
      ok = WriteUnits(tmp, n) && ok;
      done += n;
    }
  }
  return ok ? count : 0;
}

bool TRkTextStream::WriteString(const WideString& text) {
  if (text.empty()) return true;
  auto bytes = static_cast<int32_t>(text.size() * 2);
  return Write(text.data(), bytes) == bytes;
}

}  // namespace text
