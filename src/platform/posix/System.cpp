// Errors, threads, clocks, process facts and dynamic libraries on POSIX.
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>

#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Library.h"
#include "platform/Process.h"
#include "platform/SystemError.h"
#include "platform/Thread.h"

namespace platform {

uint32_t LastError() { return static_cast<uint32_t>(errno); }
void SetLastError(uint32_t code) { errno = static_cast<int>(code); }
std::string SysErrorMessage(uint32_t code) { return std::strerror(static_cast<int>(code)); }

// A suspended start is a gate the new thread waits at until ResumeThread opens it. The
// block is shared by the owner and the thread and freed by whichever lets go last.
namespace {
// Thread ids come from one counter: the id a thread is created with is the one it sees
// as its own, which the thread class relies on to tell a thread from its creator (a
// thread that frees itself must not wait for itself). Threads not made here (the main
// thread, std::thread) take theirs at their first question.
std::atomic<uint32_t> gNextThreadId{1};
uint32_t NewThreadId() { return gNextThreadId++; }
thread_local uint32_t tCurrentId = 0;
}  // namespace

struct ThreadHandle {
  ThreadProc Proc;
  uint32_t Id = NewThreadId();
  void* Param;
  pthread_t Thread{};
  std::mutex Lock;
  std::condition_variable Changed;
  bool Resumed = false;
  bool Ended = false;
  int Refs = 2;
};

namespace {

void Unref(ThreadHandle* t) {
  bool last;
  {
    std::lock_guard<std::mutex> g(t->Lock);
    last = --t->Refs == 0;
  }
  if (last) delete t;
}

void* Trampoline(void* p) {
  auto* t = static_cast<ThreadHandle*>(p);
  tCurrentId = t->Id;
  {
    std::unique_lock<std::mutex> g(t->Lock);
    t->Changed.wait(g, [t] { return t->Resumed; });
  }
  t->Proc(t->Param);
  {
    std::lock_guard<std::mutex> g(t->Lock);
    t->Ended = true;
    t->Changed.notify_all();
  }
  Unref(t);
  return nullptr;
}

}  // namespace

ThreadHandle* CreateSuspendedThread(ThreadProc proc, void* param, uint32_t& threadId, uint32_t& error) {
  auto* t = new ThreadHandle;
  t->Proc = proc;
  t->Param = param;
  int rc = pthread_create(&t->Thread, nullptr, Trampoline, t);
  if (rc != 0) {
    error = static_cast<uint32_t>(rc);
    delete t;
    return nullptr;
  }
  pthread_detach(t->Thread);
  threadId = t->Id;
  return t;
}

void ResumeThread(ThreadHandle* t) {
  std::lock_guard<std::mutex> g(t->Lock);
  t->Resumed = true;
  t->Changed.notify_all();
}

bool WaitThread(ThreadHandle* t, uint32_t timeoutMs) {
  std::unique_lock<std::mutex> g(t->Lock);
  if (timeoutMs == kInfinite) {
    t->Changed.wait(g, [t] { return t->Ended; });
    return true;
  }
  return t->Changed.wait_for(g, std::chrono::milliseconds(timeoutMs), [t] { return t->Ended; });
}

void ReleaseThread(ThreadHandle* t) { Unref(t); }

uint32_t CurrentThreadId() {
  if (tCurrentId == 0) tCurrentId = NewThreadId();
  return tCurrentId;
}
void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

uint32_t ProcessorCount() {
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<uint32_t>(n) : 1;
}

uint32_t TickCount() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000);
}

LocalTime Now() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  tm t;
  localtime_r(&ts.tv_sec, &t);
  return {
      static_cast<uint16_t>(t.tm_year + 1900),    static_cast<uint16_t>(t.tm_mon + 1), static_cast<uint16_t>(t.tm_mday),
      static_cast<uint16_t>(t.tm_hour),           static_cast<uint16_t>(t.tm_min),     static_cast<uint16_t>(t.tm_sec),
      static_cast<uint16_t>(ts.tv_nsec / 1000000)};
}

int32_t TimeZoneBiasMinutes() {
  time_t now = time(nullptr);
  tm t;
  localtime_r(&now, &t);
  return static_cast<int32_t>(-t.tm_gmtoff / 60);
}

int64_t UnixTimeNow() { return static_cast<int64_t>(time(nullptr)); }

std::u16string ModuleFileName() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  return MultiByteToWide(std::string_view(buf, n > 0 ? static_cast<size_t>(n) : 0), kCodePageUtf8);
}

void DebugOutput(const std::string& text) {
  if (std::getenv("ORBELLE_DEBUG_OUTPUT")) std::fprintf(stderr, "%s\n", text.c_str());
}

std::string GetEnv(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

void SetStdOutBinary() {}

LibraryHandle LoadLibrary(const std::string& name) { return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* GetProcAddress(LibraryHandle lib, const char* name) { return lib ? dlsym(lib, name) : nullptr; }
void FreeLibrary(LibraryHandle lib) {
  if (lib) dlclose(lib);
}

}  // namespace platform
