// Large memory blocks on POSIX: anonymous mappings.
#include "platform/Memory.h"

#include <sys/mman.h>

#include <cstdint>

namespace platform {

namespace {

constexpr size_t kLargePage = 2u << 20;

size_t WholeLargePages(size_t size) { return (size + kLargePage - 1) & ~(kLargePage - 1); }

}  // namespace

void* MapLargeBlock(size_t size) {
  if (size == 0 || size > SIZE_MAX / 2) return nullptr;
  size = WholeLargePages(size);
  // A large page more is mapped so that an aligned block lies inside; the rest goes back.
  const size_t span = size + kLargePage;
  void* p = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  auto at = reinterpret_cast<uintptr_t>(p);
  uintptr_t start = (at + kLargePage - 1) & ~(uintptr_t{kLargePage} - 1);
  size_t head = start - at;
  size_t tail = span - head - size;
  if (head) munmap(p, head);
  if (tail) munmap(reinterpret_cast<void*>(start + size), tail);
  // No MADV_HUGEPAGE hint: on the virtual machines we run on, the system hands free
  // memory back to the host in large-page pieces, so a large page is memory the host has
  // to supply afresh, and a load's first touch of it cost twice what the small pages'
  // faults cost (a 32 MiB document's first load: 500 ms against 230-280 ms). Where the
  // system backs every mapping with large pages anyway, the alignment lets it.
  return reinterpret_cast<void*>(start);
}

void UnmapLargeBlock(void* block, size_t size) noexcept {
  if (block) munmap(block, WholeLargePages(size));
}

void ForgetLargeBlockContents(void* block, size_t size) noexcept {
#if defined(MADV_FREE)
  if (block) madvise(block, WholeLargePages(size), MADV_FREE);
#else
  (void)block;
  (void)size;
#endif
}

}  // namespace platform
