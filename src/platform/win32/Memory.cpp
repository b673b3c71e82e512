// Large memory blocks on Windows: committed virtual memory (the system's allocation
// granularity, 64 KiB, is the alignment it gives; large pages need a privilege the
// product does not ask for).
#include "platform/Memory.h"

#include <windows.h>

namespace platform {

void* MapLargeBlock(size_t size) { return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE); }

void UnmapLargeBlock(void* block, size_t) noexcept {
  if (block) VirtualFree(block, 0, MEM_RELEASE);
}

void ForgetLargeBlockContents(void* block, size_t size) noexcept {
  if (block) VirtualAlloc(block, size, MEM_RESET, PAGE_READWRITE);
}

}  // namespace platform
