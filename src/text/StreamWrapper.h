// TRkStreamWrapper: a stream that forwards every operation to a stream it does not own,
// and answers the size query "remember the position, seek to the end, seek back" without
// moving the wrapped stream: Seek(0, current) only records that a seek may follow, and
// the recorded seek is carried out only when a read or write (or another seek) needs it.
#pragma once

#include <cstdint>

#include "base/Stream.h"

namespace text {

using base::TSeekOrigin;
using base::TStream;

class TRkStreamWrapper : public TStream {
 public:
  explicit TRkStreamWrapper(TStream* stream) : FStream(stream) {}

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t newSize) override;

  virtual int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
  virtual void SetPosition(int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
  TStream* Stream() const { return FStream; }

 protected:
  // Seeks the wrapped stream (the delayed seek's way to the real one).
  virtual int64_t RealSeek(int64_t offset, TSeekOrigin origin);
  // Carries out a recorded seek other than (0, current) and ends the delayed state.
  virtual void PerformPendingSeek();

  TStream* FStream;  // not owned
  bool FDelayedSeek = false;
  int64_t FSeekOffset = 0;
  TSeekOrigin FSeekOrigin = TSeekOrigin::soCurrent;
  int64_t FPosition = 0;  // the wrapped stream's position when the delay began
};

}  // namespace text
