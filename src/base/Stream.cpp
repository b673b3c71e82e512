#include "base/Stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/Exceptions.h"
#include "base/Strings.h"

namespace base {

// --- TStream -------------------------------------------------------------------------

int64_t TStream::Size() {
  int64_t pos = Seek(0, TSeekOrigin::soCurrent);
  int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(pos, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

void TStream::ReadBuffer(void* buffer, int32_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  constexpr int32_t kChunk = 61440;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(count, kChunk)) + 1);
  int64_t done = 0;
  while (done < count) {
    int32_t n = static_cast<int32_t>(std::min<int64_t>(count - done, kChunk));
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    done += n;
  }
  return done;
}

// --- TMemoryStream -------------------------------------------------------------------

TMemoryStream::~TMemoryStream() { std::free(FMemory); }

void TMemoryStream::SetCapacity(int64_t capacity) {
  if (capacity == FCapacity) return;
  if (capacity == 0) {
    std::free(FMemory);
    FMemory = nullptr;
  } else {
    void* p = std::realloc(FMemory, static_cast<size_t>(capacity));
    if (!p) throw EStreamError("Out of memory while expanding memory stream");
    FMemory = static_cast<uint8_t*>(p);
  }
  FCapacity = capacity;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw EStreamError("Invalid stream size");
  int64_t old = FPosition;
  if (newSize > FCapacity)
    SetCapacity((newSize + 8191) & ~int64_t{8191});
  else if (newSize == 0)
    SetCapacity(0);
  FSize = newSize;
  if (old > newSize) Seek(0, TSeekOrigin::soEnd);
}

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || FPosition >= FSize) return 0;
  int32_t n = static_cast<int32_t>(std::min<int64_t>(count, FSize - FPosition));
  std::memcpy(buffer, FMemory + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
  if (count <= 0 || FPosition < 0) return 0;
  int64_t end = FPosition + count;
  if (end > FSize) {
    if (end > FCapacity) SetCapacity(std::max<int64_t>((end + 8191) & ~int64_t{8191}, FCapacity + FCapacity / 4));
    FSize = end;
  }
  std::memcpy(FMemory + FPosition, buffer, static_cast<size_t>(count));
  FPosition = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::soBeginning: FPosition = offset; break;
    case TSeekOrigin::soCurrent: FPosition += offset; break;
    case TSeekOrigin::soEnd: FPosition = FSize + offset; break;
  }
  return FPosition;
}

void TMemoryStream::LoadFromStream(TStream& stream) {
  stream.SetPosition(0);
  int64_t n = stream.Size();
  SetSize(n);
  if (n) stream.ReadBuffer(FMemory, static_cast<int32_t>(n));
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, platform::fmOpenRead | platform::fmShareDenyWrite);
  LoadFromStream(f);
}

void TMemoryStream::SaveToStream(TStream& stream) {
  if (FSize) stream.WriteBuffer(FMemory, static_cast<int32_t>(FSize));
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
  TFileStream f(fileName, fmCreate);
  SaveToStream(f);
}

// --- TStringStream -------------------------------------------------------------------

int32_t TStringStream::Read(void* buffer, int32_t count) {
  int64_t left = static_cast<int64_t>(FData.size()) - FPosition;
  if (count <= 0 || left <= 0) return 0;
  int32_t n = static_cast<int32_t>(std::min<int64_t>(count, left));
  std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int32_t TStringStream::Write(const void* buffer, int32_t count) {
  if (count <= 0 || FPosition < 0) return 0;
  size_t end = static_cast<size_t>(FPosition) + static_cast<size_t>(count);
  if (end > FData.size()) FData.resize(end);
  std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
  FPosition = static_cast<int64_t>(end);
  return count;
}

int64_t TStringStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::soBeginning: FPosition = offset; break;
    case TSeekOrigin::soCurrent: FPosition += offset; break;
    case TSeekOrigin::soEnd: FPosition = static_cast<int64_t>(FData.size()) + offset; break;
  }
  FPosition = std::clamp<int64_t>(FPosition, 0, static_cast<int64_t>(FData.size()));
  return FPosition;
}

void TStringStream::SetSize(int64_t newSize) {
  FData.resize(static_cast<size_t>(std::max<int64_t>(newSize, 0)));
  FPosition = std::min<int64_t>(FPosition, static_cast<int64_t>(FData.size()));
}

std::string TStringStream::ReadString(int32_t count) {
  int64_t left = static_cast<int64_t>(FData.size()) - FPosition;
  int32_t n = static_cast<int32_t>(std::clamp<int64_t>(count, 0, std::max<int64_t>(left, 0)));
  std::string s = FData.substr(static_cast<size_t>(FPosition), static_cast<size_t>(n));
  FPosition += n;
  return s;
}

// --- THandleStream / TFileStream -----------------------------------------------------

int32_t THandleStream::Read(void* buffer, int32_t count) {
  int32_t n = platform::FileRead(FHandle, buffer, count);
  return n < 0 ? 0 : n;
}

int32_t THandleStream::Write(const void* buffer, int32_t count) {
  int32_t n = platform::FileWrite(FHandle, buffer, count);
  return n < 0 ? 0 : n;
}

int64_t THandleStream::Seek(int64_t offset, TSeekOrigin origin) {
  return platform::FileSeek(FHandle, offset, static_cast<platform::SeekOrigin>(origin));
}

void THandleStream::SetSize(int64_t newSize) {
  Seek(newSize, TSeekOrigin::soBeginning);
  if (!platform::FileSetEnd(FHandle)) RaiseLastOSError();
}

namespace {
template <class S>
platform::FileHandle OpenOrCreate(const S& name, uint32_t mode, const std::string& shownName) {
  if ((mode & fmCreate) == fmCreate) {
    uint32_t share = mode & 0xF0;
    platform::FileHandle h = platform::FileCreate(name, share ? share : platform::fmShareExclusive);
    if (h == platform::kInvalidFile) RaiseFileCreateError(shownName);
    return h;
  }
  platform::FileHandle h = platform::FileOpen(name, mode);
  if (h == platform::kInvalidFile) RaiseFileOpenError(shownName);
  return h;
}
}  // namespace

TFileStream::TFileStream(const std::string& fileName, uint32_t mode)
    : THandleStream(OpenOrCreate(fileName, mode, fileName)), FFileName(fileName) {}

TFileStream::TFileStream(const std::u16string& fileName, uint32_t mode)
    : THandleStream(OpenOrCreate(fileName, mode, WideToAnsi(fileName))), FFileName(WideToAnsi(fileName)) {}

TFileStream::~TFileStream() { platform::FileClose(FHandle); }

}  // namespace base
