// Large blocks of memory straight from the system, past the heap: for callers that take
// memory in big steps and benefit when the system backs it with large pages.
#pragma once

#include <cstddef>

namespace platform {

// size bytes of zeroed, readable and writable memory, aligned to the processor's large
// page (2 MiB) where the system can place it so; null when the system has none to give.
// Pages are committed as they are first touched, so a block larger than what is used
// costs only address space.
void* MapLargeBlock(size_t size);
// Gives back a block of MapLargeBlock; size is the one it was asked for.
void UnmapLargeBlock(void* block, size_t size) noexcept;
// Tells the system that the contents of a block of MapLargeBlock kept for later use are
// no longer needed: it may take the pages back when it runs short of memory (they then
// read as zeros), and otherwise they are used again as they are, without a page fault.
void ForgetLargeBlockContents(void* block, size_t size) noexcept;

}  // namespace platform
