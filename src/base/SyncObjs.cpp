#include "base/SyncObjs.h"

#include <chrono>

#include "platform/Thread.h"

namespace base {

void TEvent::SetEvent() {
  std::lock_guard<std::mutex> g(FLock);
  FSignaled = true;
  if (FManualReset)
    FChanged.notify_all();
  else
    FChanged.notify_one();
}

void TEvent::ResetEvent() {
  std::lock_guard<std::mutex> g(FLock);
  FSignaled = false;
}

bool TEvent::IsSet() {
  std::lock_guard<std::mutex> g(FLock);
  return FSignaled;
}

TWaitResult TEvent::WaitFor(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> g(FLock);
  auto ready = [this] { return FSignaled; };
  if (timeoutMs == 0xFFFFFFFFu)
    FChanged.wait(g, ready);
  else if (!FChanged.wait_for(g, std::chrono::milliseconds(timeoutMs), ready))
    return TWaitResult::wrTimeout;
  if (!FManualReset) FSignaled = false;
  return TWaitResult::wrSignaled;
}

void TMultiReadExclusiveWriteSynchronizer::BeginRead() {
  std::unique_lock<std::mutex> g(FLock);
  uint32_t me = platform::CurrentThreadId();
  if (FWriterDepth > 0 && FWriter == me) {
    ++FWriterDepth;  // the writer reads under its own lock
    return;
  }
  // Waiting writers go first, so a stream of readers cannot starve them.
  FChanged.wait(g, [this] { return FWriterDepth == 0 && FWaitingWriters == 0; });
  ++FReaders;
}

void TMultiReadExclusiveWriteSynchronizer::EndRead() {
  std::lock_guard<std::mutex> g(FLock);
  if (FWriterDepth > 0 && FWriter == platform::CurrentThreadId()) {
    --FWriterDepth;
  } else if (--FReaders == 0) {
    FChanged.notify_all();
  }
}

void TMultiReadExclusiveWriteSynchronizer::BeginWrite() {
  std::unique_lock<std::mutex> g(FLock);
  uint32_t me = platform::CurrentThreadId();
  if (FWriterDepth > 0 && FWriter == me) {
    ++FWriterDepth;
    return;
  }
  ++FWaitingWriters;
  FChanged.wait(g, [this] { return FWriterDepth == 0 && FReaders == 0; });
  --FWaitingWriters;
  FWriter = me;
  FWriterDepth = 1;
}

void TMultiReadExclusiveWriteSynchronizer::EndWrite() {
  std::lock_guard<std::mutex> g(FLock);
  if (--FWriterDepth == 0) {
    FWriter = 0;
    FChanged.notify_all();
  }
}

}  // namespace base
