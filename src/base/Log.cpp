#include "base/Log.h"

#include <mutex>

#include "platform/Process.h"

namespace base {
namespace {
std::mutex gLock;
TLogSink gSink;
}  // namespace

void SetLogSink(TLogSink sink) {
  std::lock_guard<std::mutex> g(gLock);
  gSink = sink;
}

void WriteLog(const std::string& line) {
  TLogSink sink;
  {
    std::lock_guard<std::mutex> g(gLock);
    sink = gSink;
  }
  try {
    if (sink)
      sink(line);
    else
      platform::DebugOutput(line);
  } catch (...) {
    // Logging can never change the caller's behaviour.
  }
}

}  // namespace base
