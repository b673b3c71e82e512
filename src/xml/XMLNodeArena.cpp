#include "xml/XMLNodeArena.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <new>
#include <utility>

#include "platform/Memory.h"

#if defined(XML_ARENA_POISONS)
#include <sanitizer/asan_interface.h>
#define ARENA_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define ARENA_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define ARENA_POISON(p, n) ((void)(p), (void)(n))
#define ARENA_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace xml {

constexpr size_t kSlot = kArenaSlot;
static_assert(sizeof(void*) <= kSlot);

// The first block of a load is small (most documents are a few kilobytes); blocks
// double up to a size the heap still serves from its own pool.
constexpr size_t kFirstBlockSize = 4096;
constexpr size_t kMaxBlockSize = 64 * 1024;

// A load that has taken kLargeLoad bytes of blocks goes on in blocks of kLargeBlockSize
// from the system, at that alignment where it can (a system that backs mappings with
// large pages then maps a large tree's memory a large page at a time), and the blocks of
// freed trees are kept for the next large load.
constexpr size_t kLargeBlockSize = 2u << 20;
constexpr size_t kLargeLoad = 8u << 20;

// While the arena allocates from a block, the block's count holds kArenaHold instead of
// one count per object handed out: the arena counts those itself, without an atomic
// operation, and settles them when it moves on. Objects freed in the meantime take
// their count off as usual; the hold keeps the count above zero until it is settled.
constexpr int32_t kArenaHold = 1 << 30;

struct TXMLNodeArena::TBlock {
  // One count for each object in the block that is still alive, plus kArenaHold while
  // the arena allocates from it.
  std::atomic<int32_t> Refs{kArenaHold};
  bool Mapped = false;  // from platform::MapLargeBlock, not from the heap
  size_t Size;
};
static_assert(sizeof(TXMLNodeArena::TBlock) <= 2 * kSlot);
constexpr size_t kBlockHeader = 2 * kSlot;

namespace {

std::atomic<size_t> gMappedBytes{0};

// Large blocks of freed trees are kept for the next large load, up to kKeptLargeBytes:
// a block the system maps anew comes back cleared page by page, which costs a large
// load a fifth of its time, while a kept one is ready. Their contents are forgotten, so
// the system may take their pages back when it needs them; the last block given back is
// the first taken again, so its pages are the likeliest still to be there. A 32-bit
// process keeps less of its address space aside.
constexpr size_t kKeptLargeBytes = sizeof(void*) > 4 ? size_t{256} << 20 : size_t{64} << 20;
struct TKeptBlock {
  TKeptBlock* Next;
};
std::mutex gKeptMutex;
TKeptBlock* gKept = nullptr;
size_t gKeptBytes = 0;

void* TakeKeptBlock() {
  std::lock_guard<std::mutex> lock(gKeptMutex);
  TKeptBlock* block = gKept;
  if (!block) return nullptr;
  gKept = block->Next;
  gKeptBytes -= kLargeBlockSize;
  return block;
}

// False when the cache is full (the caller then gives the block back to the system).
bool KeepBlock(void* block) noexcept {
  std::lock_guard<std::mutex> lock(gKeptMutex);
  if (gKeptBytes + kLargeBlockSize > kKeptLargeBytes) return false;
  platform::ForgetLargeBlockContents(block, kLargeBlockSize);
  gKept = new (block) TKeptBlock{gKept};
  gKeptBytes += kLargeBlockSize;
  return true;
}

// Adds delta to the block's count; the block goes back to the heap when that ends it.
void AdjustBlock(TXMLNodeArena::TBlock* block, int32_t delta) noexcept {
  if (block->Refs.fetch_add(delta, std::memory_order_acq_rel) + delta != 0) return;
  size_t size = block->Size;
  bool mapped = block->Mapped;
  ARENA_UNPOISON(block, size);
  block->~TBlock();
  if (mapped) {
    gMappedBytes.fetch_sub(size, std::memory_order_relaxed);
    if (!KeepBlock(block)) platform::UnmapLargeBlock(block, size);
    return;
  }
  ::operator delete(static_cast<void*>(block));
}

// A large block, or null when the system has none.
void* MapLargeBlock() {
  void* block = TakeKeptBlock();
  if (!block) block = platform::MapLargeBlock(kLargeBlockSize);
  if (block) gMappedBytes.fetch_add(kLargeBlockSize, std::memory_order_relaxed);
  return block;
}

}  // namespace

TXMLNodeArena::~TXMLNodeArena() { LeaveBlock(); }

void TXMLNodeArena::LeaveBlock() noexcept {
  if (!FBlock) return;
  AdjustBlock(FBlock, FHandedOut - kArenaHold);
  FBlock = nullptr;
  FHandedOut = 0;
}

static_assert(kLargeNodeObject <= kMaxBlockSize / 4);

void TXMLNodeArena::NewBlock(size_t need) {
  FNextBlockSize = FNextBlockSize ? std::min(FNextBlockSize * 2, kMaxBlockSize) : kFirstBlockSize;
  size_t size = std::max(FNextBlockSize, kBlockHeader + need);
  void* raw = nullptr;
  bool mapped = false;
  if (FTaken >= kLargeLoad && kBlockHeader + need <= kLargeBlockSize && (raw = MapLargeBlock())) {
    size = kLargeBlockSize;
    mapped = true;
  }
  if (!raw) raw = ::operator new(size);
  FTaken += size;
  auto* block = new (raw) TBlock;
  block->Mapped = mapped;
  block->Size = size;
  LeaveBlock();
  FBlock = block;
  FNext = static_cast<char*>(raw) + kBlockHeader;
  FEnd = static_cast<char*>(raw) + size;
  ARENA_POISON(FNext, static_cast<size_t>(FEnd - FNext));
}

void* TXMLNodeArena::AllocateSlow(size_t need) {
  if (static_cast<size_t>(FEnd - FNext) < need) NewBlock(need);
  char* slot = FNext;
  FNext += need;
  ARENA_UNPOISON(slot, need);
  *reinterpret_cast<TBlock**>(slot) = FBlock;
  ++FHandedOut;
  return slot + kSlot;
}

#if defined(XML_ARENA_POISONS)
void TXMLNodeArena::Unpoison(void* p, size_t n) { ARENA_UNPOISON(p, n); }
#endif

size_t MappedArenaBytes() { return gMappedBytes.load(std::memory_order_relaxed); }

size_t KeptArenaBytes() {
  std::lock_guard<std::mutex> lock(gKeptMutex);
  return gKeptBytes;
}

namespace {
thread_local TXMLNodeArena* tCurrentArena = nullptr;
}  // namespace

TXMLNodeArena* CurrentLoadArena() { return tCurrentArena; }

TXMLNodeArena* SetCurrentLoadArena(TXMLNodeArena* arena) { return std::exchange(tCurrentArena, arena); }

void* AllocateHeapNodeMemory(size_t size) {
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
  ARENA_POISON(slot, size ? ArenaRoom(size) : kSlot);
  AdjustBlock(block, -1);
}

}  // namespace xml
