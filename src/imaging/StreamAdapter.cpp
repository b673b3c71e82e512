#include "imaging/StreamAdapter.h"

#include <algorithm>
#include <cstring>

#include "base/Exceptions.h"

namespace imaging {

TGPStreamAdapter::TGPStreamAdapter(base::TStream* stream, bool owns)
    : FStream(stream), FOwns(owns), FBase(stream->Position()) {}

TGPStreamAdapter::~TGPStreamAdapter() {
  if (FOwns) delete FStream;
}

int64_t TGPStreamAdapter::Size() { return std::max<int64_t>(0, FStream->Size() - FBase); }

std::vector<uint8_t> TGPStreamAdapter::CopyRange(int64_t offset, int64_t count) {
  std::vector<uint8_t> bytes;
  int64_t size = Size();
  if (offset < 0 || offset >= size || count <= 0) return bytes;
  count = std::min(count, size - offset);
  int64_t saved = FStream->Position();
  bytes.resize(static_cast<size_t>(count));
  FStream->SetPosition(FBase + offset);
  int64_t got = 0;
  while (got < count) {
    int32_t chunk = static_cast<int32_t>(std::min<int64_t>(count - got, 1 << 30));
    int32_t n = FStream->Read(bytes.data() + got, chunk);
    if (n <= 0) break;
    got += n;
  }
  bytes.resize(static_cast<size_t>(got));
  FStream->SetPosition(saved);
  return bytes;
}

HRESULT TGPStreamAdapter::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) || IsEqualIID(iid, IID_IStream)) {
    *object = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG TGPStreamAdapter::AddRef() { return ++FRefCount; }

ULONG TGPStreamAdapter::Release() {
  ULONG n = --FRefCount;
  if (n == 0) delete this;
  return n;
}

HRESULT TGPStreamAdapter::Read(void* buffer, ULONG count, ULONG* done) {
  if (!buffer) return STG_E_INVALIDPOINTER;
  ULONG total = 0;
  if (FBeyond >= 0) {  // nothing to read past the end
    if (done) *done = 0;
    return count ? S_FALSE : S_OK;
  }
  try {
    while (total < count) {
      int32_t chunk = static_cast<int32_t>(std::min<ULONG>(count - total, 1u << 30));
      int32_t n = FStream->Read(static_cast<uint8_t*>(buffer) + total, chunk);
      if (n <= 0) break;
      total += static_cast<ULONG>(n);
    }
  } catch (...) {
    if (done) *done = total;
    return STG_E_READFAULT;
  }
  if (done) *done = total;
  return total < count ? S_FALSE : S_OK;
}

HRESULT TGPStreamAdapter::Write(const void* buffer, ULONG count, ULONG* done) {
  if (!buffer) return STG_E_INVALIDPOINTER;
  ULONG total = 0;
  try {
    if (FBeyond >= 0) {
      // A write past the end fills the gap (with zeros, as files do).
      FStream->SetSize(FBeyond);
      FStream->Seek(FBeyond, base::TSeekOrigin::soBeginning);
      FBeyond = -1;
    }
    while (total < count) {
      int32_t chunk = static_cast<int32_t>(std::min<ULONG>(count - total, 1u << 30));
      int32_t n = FStream->Write(static_cast<const uint8_t*>(buffer) + total, chunk);
      if (n <= 0) break;
      total += static_cast<ULONG>(n);
    }
  } catch (...) {
    if (done) *done = total;
    return STG_E_WRITEFAULT;
  }
  if (done) *done = total;
  return total < count ? STG_E_MEDIUMFULL : S_OK;
}

HRESULT TGPStreamAdapter::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
  int64_t target;
  try {
    switch (origin) {
      case STREAM_SEEK_SET: target = FBase + move.QuadPart; break;
      case STREAM_SEEK_CUR: target = (FBeyond >= 0 ? FBeyond : FStream->Position()) + move.QuadPart; break;
      case STREAM_SEEK_END: target = FStream->Size() + move.QuadPart; break;
      default: return STG_E_INVALIDFUNCTION;
    }
    // The part before the base does not exist for the reader.
    if (target < FBase) return STG_E_INVALIDFUNCTION;
    int64_t now;
    if (target > FStream->Size()) {
      // Past the end: remembered, since program streams stop at their end; a write
      // there extends the stream first.
      FBeyond = now = target;
    } else {
      FBeyond = -1;
      now = FStream->Seek(target, base::TSeekOrigin::soBeginning);
    }
    if (position) position->QuadPart = static_cast<ULONGLONG>(now - FBase);
  } catch (...) {
    return STG_E_INVALIDFUNCTION;
  }
  return S_OK;
}

HRESULT TGPStreamAdapter::SetSize(ULARGE_INTEGER size) {
  try {
    FStream->SetSize(FBase + static_cast<int64_t>(size.QuadPart));
  } catch (...) {
    return E_FAIL;
  }
  return S_OK;
}

HRESULT TGPStreamAdapter::CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* written) {
  if (!target) return STG_E_INVALIDPOINTER;
  uint8_t buffer[64 * 1024];
  ULONGLONG left = count.QuadPart, in = 0, out = 0;
  HRESULT result = S_OK;
  while (left > 0) {
    ULONG want = static_cast<ULONG>(std::min<ULONGLONG>(left, sizeof buffer));
    ULONG got = 0;
    Read(buffer, want, &got);
    if (got == 0) break;
    in += got;
    ULONG put = 0;
    result = target->Write(buffer, got, &put);
    out += put;
    if (FAILED(result) || put < got) break;
    left -= got;
  }
  if (read) read->QuadPart = in;
  if (written) written->QuadPart = out;
  return FAILED(result) ? result : S_OK;
}

HRESULT TGPStreamAdapter::Commit(DWORD) { return S_OK; }
HRESULT TGPStreamAdapter::Revert() { return STG_E_REVERTED; }
HRESULT TGPStreamAdapter::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return STG_E_INVALIDFUNCTION; }
HRESULT TGPStreamAdapter::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return STG_E_INVALIDFUNCTION; }

HRESULT TGPStreamAdapter::Stat(STATSTG* stat, DWORD) {
  if (!stat) return STG_E_INVALIDPOINTER;
  std::memset(stat, 0, sizeof *stat);
  stat->type = STGTY_STREAM;
  try {
    stat->cbSize.QuadPart = static_cast<ULONGLONG>(Size());
  } catch (...) {
    return E_FAIL;
  }
  stat->grfMode = STGM_READWRITE;
  return S_OK;
}

HRESULT TGPStreamAdapter::Clone(IStream** clone) {
  if (clone) *clone = nullptr;
  return E_NOTIMPL;
}

TOleStream::TOleStream(IStream* stream) : FStream(stream) { FStream->AddRef(); }

TOleStream::~TOleStream() { FStream->Release(); }

int32_t TOleStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  ULONG done = 0;
  if (FAILED(FStream->Read(buffer, static_cast<ULONG>(count), &done))) return 0;
  return static_cast<int32_t>(done);
}

int32_t TOleStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  ULONG done = 0;
  if (FAILED(FStream->Write(buffer, static_cast<ULONG>(count), &done))) return 0;
  return static_cast<int32_t>(done);
}

int64_t TOleStream::Seek(int64_t offset, base::TSeekOrigin origin) {
  LARGE_INTEGER move;
  move.QuadPart = offset;
  ULARGE_INTEGER position{};
  if (FAILED(FStream->Seek(move, static_cast<DWORD>(origin), &position))) throw base::EStreamError("Stream seek error");
  return static_cast<int64_t>(position.QuadPart);
}

void TOleStream::SetSize(int64_t newSize) {
  ULARGE_INTEGER size;
  size.QuadPart = static_cast<ULONGLONG>(newSize);
  if (FAILED(FStream->SetSize(size))) throw base::EStreamError("Stream size error");
}

}  // namespace imaging
