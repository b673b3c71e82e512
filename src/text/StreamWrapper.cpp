#include "text/StreamWrapper.h"

namespace text {

int32_t TRkStreamWrapper::Read(void* buffer, int32_t count) {
  PerformPendingSeek();
  return FStream->Read(buffer, count);
}

int32_t TRkStreamWrapper::Write(const void* buffer, int32_t count) {
  PerformPendingSeek();
  return FStream->Write(buffer, count);
}

int64_t TRkStreamWrapper::Seek(int64_t offset, TSeekOrigin origin) {
  if (origin == TSeekOrigin::soCurrent && offset == 0) {
    if (!FDelayedSeek) {
      FDelayedSeek = true;
      FSeekOffset = 0;
      FSeekOrigin = TSeekOrigin::soCurrent;
      FPosition = FStream->Position();
      return FPosition;
    }
    if (FSeekOrigin == TSeekOrigin::soCurrent) return FPosition;
  } else if (FDelayedSeek && origin == TSeekOrigin::soEnd && FSeekOrigin == TSeekOrigin::soCurrent) {
    FSeekOffset = offset;
    FSeekOrigin = TSeekOrigin::soEnd;
    return FStream->Size() + offset;
  } else if (FDelayedSeek && origin == TSeekOrigin::soBeginning && FSeekOrigin == TSeekOrigin::soEnd &&
             offset == FPosition) {
    FDelayedSeek = false;  // back where the query began: the wrapped stream never moved
    return offset;
  }
  // Any other seek starts from where the recorded one would have left the stream.
  PerformPendingSeek();
  return RealSeek(offset, origin);
}

int64_t TRkStreamWrapper::Size() { return FStream->Size(); }

void TRkStreamWrapper::SetSize(int64_t newSize) {
  PerformPendingSeek();
  FStream->SetSize(newSize);
}

int64_t TRkStreamWrapper::RealSeek(int64_t offset, TSeekOrigin origin) { return FStream->Seek(offset, origin); }

void TRkStreamWrapper::PerformPendingSeek() {
  if (!FDelayedSeek) return;
  FDelayedSeek = false;
  if (!(FSeekOrigin == TSeekOrigin::soCurrent && FSeekOffset == 0)) RealSeek(FSeekOffset, FSeekOrigin);
}

}  // namespace text
