// The abstract byte stream every stream of the library derives from, and its memory,
// string and file forms. Read and Write return how many bytes moved (never throw);
// ReadBuffer and WriteBuffer demand all bytes and raise EReadError "Stream read error"
// or EWriteError "Stream write error" otherwise.
#pragma once

#include <cstdint>
#include <string>

#include "base/Object.h"
#include "platform/Files.h"

namespace base {

enum class TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream : public TObject {
 public:
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  virtual int64_t Size();
  virtual void SetSize(int64_t newSize);
  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }

  void ReadBuffer(void* buffer, int32_t count);
  void WriteBuffer(const void* buffer, int32_t count);
  // Copies count bytes from source's position; count 0 copies the whole of source from
  // its beginning. Returns the bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

// A growable block of memory.
class TMemoryStream : public TStream {
 public:
  ~TMemoryStream() override;
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return FSize; }
  void SetSize(int64_t newSize) override;
  void Clear() { SetSize(0); }
  uint8_t* Memory() { return FMemory; }
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& fileName);
  void SaveToStream(TStream& stream);
  void SaveToFile(const std::string& fileName);

 private:
  void SetCapacity(int64_t capacity);
  uint8_t* FMemory = nullptr;
  int64_t FSize = 0;
  int64_t FPosition = 0;
  int64_t FCapacity = 0;
};

// A stream over an 8-bit string.
class TStringStream : public TStream {
 public:
  explicit TStringStream(std::string data = {}) : FData(std::move(data)) {}
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t newSize) override;
  const std::string& DataString() const { return FData; }
  // Up to count characters from the position.
  std::string ReadString(int32_t count);
  void WriteString(const std::string& s) { Write(s.data(), static_cast<int32_t>(s.size())); }

 private:
  std::string FData;
  int64_t FPosition = 0;
};

// A stream over an operating-system file handle it does not own.
class THandleStream : public TStream {
 public:
  explicit THandleStream(platform::FileHandle handle) : FHandle(handle) {}
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t newSize) override;
  platform::FileHandle Handle() const { return FHandle; }

 protected:
  platform::FileHandle FHandle;
};

constexpr uint32_t fmCreate = 0xFF00;

// A file opened by name: mode fmCreate (create or truncate, share bits may be added) or
// fmOpenRead/fmOpenWrite/fmOpenReadWrite with an fmShare* value. Raises EFCreateError
// "Cannot create file \"%s\". %s" or EFOpenError "Cannot open file \"%s\". %s".
class TFileStream : public THandleStream {
 public:
  TFileStream(const std::string& fileName, uint32_t mode);
  TFileStream(const std::u16string& fileName, uint32_t mode);
  ~TFileStream() override;
  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
};

}  // namespace base
