#include "xml/XMLNodeArena.h"

#include <algorithm>
#include <atomic>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define ORBELLE_ARENA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORBELLE_ARENA_ASAN 1
#endif
#endif
#if defined(ORBELLE_ARENA_ASAN)
#include <sanitizer/asan_interface.h>
#define ARENA_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define ARENA_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define ARENA_POISON(p, n) ((void)(p), (void)(n))
#define ARENA_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace xml {

// Every object is preceded by one slot naming its block (none for heap memory); objects
// start on multiples of the slot, enough for every type of the node model.
constexpr size_t kSlot = 8;
static_assert(sizeof(void*) <= kSlot);

// The first block of a load is small (most documents are a few kilobytes); blocks
// double up to a size the heap still serves from its own pool.
constexpr size_t kFirstBlockSize = 4096;
constexpr size_t kMaxBlockSize = 64 * 1024;

struct TXMLNodeArena::TBlock {
  // One count for each object in the block, and one while the arena allocates from it.
  std::atomic<int32_t> Refs{1};
  size_t Size;
};
static_assert(sizeof(TXMLNodeArena::TBlock) <= 2 * kSlot);
constexpr size_t kBlockHeader = 2 * kSlot;

namespace {

constexpr size_t RoundUp(size_t n) { return (n + kSlot - 1) & ~(kSlot - 1); }

void ReleaseBlock(TXMLNodeArena::TBlock* block) noexcept {
  if (block->Refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  size_t size = block->Size;
  ARENA_UNPOISON(block, size);
  block->~TBlock();
  ::operator delete(static_cast<void*>(block));
}

}  // namespace

TXMLNodeArena::~TXMLNodeArena() {
  if (FBlock) ReleaseBlock(FBlock);
}

void TXMLNodeArena::NewBlock(size_t need) {
  FNextBlockSize = FNextBlockSize ? std::min(FNextBlockSize * 2, kMaxBlockSize) : kFirstBlockSize;
  size_t size = std::max(FNextBlockSize, kBlockHeader + need);
  void* raw = ::operator new(size);
  auto* block = new (raw) TBlock;
  block->Size = size;
  if (FBlock) ReleaseBlock(FBlock);
  FBlock = block;
  FNext = static_cast<char*>(raw) + kBlockHeader;
  FEnd = static_cast<char*>(raw) + size;
  ARENA_POISON(FNext, static_cast<size_t>(FEnd - FNext));
}

void* TXMLNodeArena::Allocate(size_t size) {
  size_t need = kSlot + RoundUp(size);
  if (static_cast<size_t>(FEnd - FNext) < need) NewBlock(need);
  char* slot = FNext;
  FNext += need;
  ARENA_UNPOISON(slot, need);
  *reinterpret_cast<TBlock**>(slot) = FBlock;
  FBlock->Refs.fetch_add(1, std::memory_order_relaxed);
  return slot + kSlot;
}

void* AllocateNodeMemory(size_t size, TXMLNodeArena* arena) {
  if (arena) return arena->Allocate(size);
  char* slot = static_cast<char*>(::operator new(kSlot + size));
  *reinterpret_cast<TXMLNodeArena::TBlock**>(slot) = nullptr;
  return slot + kSlot;
}

void FreeNodeMemory(void* object, size_t size) noexcept {
  if (!object) return;
  char* slot = static_cast<char*>(object) - kSlot;
  TXMLNodeArena::TBlock* block = *reinterpret_cast<TXMLNodeArena::TBlock**>(slot);
  if (!block) {
    ::operator delete(static_cast<void*>(slot));
    return;
  }
  // A freed object's memory must not be touched again; ASan builds report it.
  ARENA_POISON(slot, size ? kSlot + RoundUp(size) : kSlot);
  ReleaseBlock(block);
}

}  // namespace xml
