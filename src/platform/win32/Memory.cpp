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

}  // namespace platform
