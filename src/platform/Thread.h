// Operating-system threads that start suspended. The thread object's owner resumes it
// once, waits for it and releases the handle; a thread may release its own handle
// (a self-freeing thread) without waiting.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct ThreadHandle;
using ThreadProc = uint32_t (*)(void* param);

// Creates a suspended thread. On failure returns nullptr and the system's error code.
ThreadHandle* CreateSuspendedThread(ThreadProc proc, void* param, uint32_t& threadId, uint32_t& error);
// Lets a suspended thread run; further calls do nothing.
void ResumeThread(ThreadHandle* thread);
// True when the thread ended within timeoutMs (kInfinite waits without a bound).
constexpr uint32_t kInfinite = 0xFFFFFFFFu;
bool WaitThread(ThreadHandle* thread, uint32_t timeoutMs);
// Releases the handle. A running thread goes on and its resources are freed when it ends.
void ReleaseThread(ThreadHandle* thread);

uint32_t CurrentThreadId();
void SleepMs(uint32_t ms);
// Processors this process can run on (at least 1).
uint32_t ProcessorCount();

}  // namespace platform
