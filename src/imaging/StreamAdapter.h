// The two bridges between the library's streams and the platform stream interface that
// GDI+ reads and writes: TGPStreamAdapter presents a program stream as an IStream,
// TOleStream presents an IStream as a program stream.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "base/Stream.h"
#include "imaging/GdiplusApi.h"

namespace imaging {

// An IStream over a program stream from the stream's position at construction onward:
// seeking from the beginning adds that base position, reported positions and sizes
// subtract it, so a picture embedded at any offset reads like a file of its own.
// Reference counted: it starts with one reference, which the creator releases.
class TGPStreamAdapter final : public IStream {
 public:
  // owns: the adapter frees the stream when its last reference goes.
  TGPStreamAdapter(base::TStream* stream, bool owns);

  // The bytes after the base position.
  int64_t Size();
  // A copy of count bytes from offset (relative to the base); the stream position is
  // restored. Fewer bytes when the stream ends first.
  std::vector<uint8_t> CopyRange(int64_t offset, int64_t count);
  base::TStream& Stream() { return *FStream; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* done) override;
  HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* done) override;
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
  HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                   ULARGE_INTEGER* written) override;
  HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Revert() override;
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override;
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override;
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override;

 private:
  ~TGPStreamAdapter();
  base::TStream* FStream;
  bool FOwns;
  int64_t FBase;
  int64_t FBeyond = -1;  // a position past the stream's end, or -1
  std::atomic<ULONG> FRefCount{1};
};

// A program stream over an IStream (which it holds a reference to).
class TOleStream : public base::TStream {
 public:
  explicit TOleStream(IStream* stream);
  ~TOleStream() override;
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, base::TSeekOrigin origin) override;
  void SetSize(int64_t newSize) override;

 private:
  IStream* FStream;
};

}  // namespace imaging
