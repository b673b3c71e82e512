// TXMLNodeArena: where a load takes the nodes and node lists it makes. A parse makes
// millions of small objects that mostly live and die with their document, so they are
// cut from blocks rather than allocated one by one.
//
// Every object remembers its block, and a block goes back to the heap once the arena
// has moved past it and its last object is freed. So a node may outlive its document
// and the arena, as any node can; the price is that the memory of a freed object comes
// back only with its whole block. Objects may be freed on any thread; an arena hands
// out memory on one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SANITIZE_ADDRESS__)
#define XML_ARENA_POISONS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define XML_ARENA_POISONS 1
#endif
#endif

namespace xml {

// Every object of an arena is preceded by one slot naming its block (none for heap
// memory); objects start on multiples of the slot, enough for every type of the model.
constexpr size_t kArenaSlot = 8;
// Objects larger than this (the item arrays of long lists) come from the heap: a block
// of their own would leave the rest of the current block unused.
constexpr size_t kLargeNodeObject = 16 * 1024;
// The room an object of size bytes takes in a block, its slot included.
constexpr size_t ArenaRoom(size_t size) { return kArenaSlot + ((size + kArenaSlot - 1) & ~(kArenaSlot - 1)); }

class TXMLNodeArena {
 public:
  TXMLNodeArena() = default;
  TXMLNodeArena(const TXMLNodeArena&) = delete;
  TXMLNodeArena& operator=(const TXMLNodeArena&) = delete;
  ~TXMLNodeArena();

  // size bytes, aligned for any object of the node model.
  void* Allocate(size_t size) {
    size_t need = ArenaRoom(size);
#if !defined(XML_ARENA_POISONS)
    if (static_cast<size_t>(FEnd - FNext) >= need) {
      char* slot = FNext;
      FNext += need;
      *reinterpret_cast<TBlock**>(slot) = FBlock;
      ++FHandedOut;
      return slot + kArenaSlot;
    }
#endif
    return AllocateSlow(need);
  }
  // Grows the object of size bytes at object to newSize bytes where it lies, when it is
  // the last one cut and its block has the room; false, and nothing changed, otherwise.
  bool Extend(void* object, size_t size, size_t newSize) {
    char* end = static_cast<char*>(object) - kArenaSlot + ArenaRoom(size);
    size_t more = ArenaRoom(newSize) - ArenaRoom(size);
    if (end != FNext || newSize < size || static_cast<size_t>(FEnd - FNext) < more) return false;
#if defined(XML_ARENA_POISONS)
    Unpoison(FNext, more);
#endif
    FNext += more;
    return true;
  }
  // A new load begins: block sizes start over from what a small document needs.
  void StartLoad() { FTaken = 0; }

  struct TBlock;

 private:
  // Allocate past the end of the block, and every allocation where memory is poisoned.
  void* AllocateSlow(size_t need);
  void NewBlock(size_t need);
  // Settles the count of the block allocated from and lets go of it.
  void LeaveBlock() noexcept;
#if defined(XML_ARENA_POISONS)
  static void Unpoison(void* p, size_t n);
#endif

  TBlock* FBlock = nullptr;
  int32_t FHandedOut = 0;  // objects cut from FBlock so far
  size_t FTaken = 0;       // bytes of the blocks taken since StartLoad
  char* FNext = nullptr;
  char* FEnd = nullptr;
  size_t FNextBlockSize = 0;  // 0 until the first block
};

// Memory for an object of the node model: from arena when there is one, else from the
// heap. FreeNodeMemory gives back either kind; size is the object's size, or 0 when
// it is not known.
void* AllocateHeapNodeMemory(size_t size);
inline void* AllocateNodeMemory(size_t size, TXMLNodeArena* arena) {
  if (arena && size <= kLargeNodeObject) return arena->Allocate(size);
  return AllocateHeapNodeMemory(size);
}
// Bytes of arena blocks mapped from the system directly (past the heap) that objects
// still use, process-wide.
size_t MappedArenaBytes();
// Bytes of such blocks that freed trees gave back and that are kept for the next large
// load instead of going back to the system (at most 256 MiB, 64 MiB in a 32-bit process).
size_t KeptArenaBytes();

// The arena of the load running on this thread, or none; Set returns the one before.
TXMLNodeArena* CurrentLoadArena();
TXMLNodeArena* SetCurrentLoadArena(TXMLNodeArena* arena);

// The allocator of the containers inside the node model (a list's items): from the
// arena of the load running on this thread, else from the heap.
template <class T>
struct TNodeAllocator {
  using value_type = T;
  TNodeAllocator() = default;
  template <class U>
  TNodeAllocator(const TNodeAllocator<U>&) noexcept {}
  T* allocate(size_t n) { return static_cast<T*>(AllocateNodeMemory(n * sizeof(T), CurrentLoadArena())); }
  void deallocate(T* p, size_t n) noexcept { FreeNodeMemory(p, n * sizeof(T)); }
  friend bool operator==(const TNodeAllocator&, const TNodeAllocator&) { return true; }
};
void FreeNodeMemory(void* object, size_t size) noexcept;
constexpr size_t kNodeMemoryAlign = 8;

// The class operators that route an object of the node model through these: plain new
// uses the heap, new (arena) the arena when it is not null.
#define XML_NODE_MEMORY_OPERATORS                                                                          \
  static void* operator new(size_t size) { return AllocateNodeMemory(size, nullptr); }                     \
  static void* operator new(size_t size, TXMLNodeArena* arena) { return AllocateNodeMemory(size, arena); } \
  static void operator delete(void* object, size_t size) noexcept { FreeNodeMemory(object, size); }        \
  static void operator delete(void* object, TXMLNodeArena*) noexcept { FreeNodeMemory(object, 0); }

}  // namespace xml
