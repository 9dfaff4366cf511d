// The slab chunks behind AllocateArenaObject (see entry_arena.h).
#include "db/storage/files/entry_arena.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <new>

#include "platform/os/memory_chunks.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUseArena = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUseArena = false;
#else
constexpr bool kUseArena = true;
#endif
#else
constexpr bool kUseArena = true;
#endif

constexpr size_t kChunkBytes = size_t{2} << 20;
constexpr size_t kGranule = 16;

// The head of a chunk; its slots follow at kHeaderBytes.
struct TChunk {
  size_t Slot = 0;         // bytes per object
  uint32_t Capacity = 0;   // objects the chunk holds
  uint32_t Live = 0;       // objects handed out and not given back
  uint32_t Untouched = 0;  // slots never handed out start here
  void* Free = nullptr;    // given-back slots, linked through their first word
  TChunk* Prev = nullptr;  // the class's chunks with room
  TChunk* Next = nullptr;
  bool Listed = false;
};
constexpr size_t kHeaderBytes = (sizeof(TChunk) + 63) / 64 * 64;

struct TClass {
  TChunk* Room = nullptr;  // chunks with a free slot
  uint32_t Empty = 0;      // chunks without a live object (at most one is kept)
};

std::mutex& Guard() {
  static std::mutex guard;
  return guard;
}

std::map<size_t, TClass>& Classes() {
  static auto* classes = new std::map<size_t, TClass>();  // outlives every static cache
  return *classes;
}

void Link(TClass& c, TChunk* k) {
  k->Prev = nullptr;
  k->Next = c.Room;
  if (c.Room) c.Room->Prev = k;
  c.Room = k;
  k->Listed = true;
}

void Unlink(TClass& c, TChunk* k) {
  if (k->Prev) k->Prev->Next = k->Next;
  if (k->Next) k->Next->Prev = k->Prev;
  if (c.Room == k) c.Room = k->Next;
  k->Prev = k->Next = nullptr;
  k->Listed = false;
}

TChunk* ChunkOf(void* object) {
  return reinterpret_cast<TChunk*>(reinterpret_cast<uintptr_t>(object) & ~(kChunkBytes - 1));
}

}  // namespace

void* AllocateArenaObject(size_t bytes) {
  if (!kUseArena || bytes > kLargestArenaObject) return ::operator new(bytes);
  const size_t slot = (bytes + kGranule - 1) / kGranule * kGranule;
  std::lock_guard hold(Guard());
  TClass& c = Classes()[slot];
  TChunk* k = c.Room;
  if (k == nullptr) {
    void* memory = platform::MapAlignedChunk(kChunkBytes);
    if (memory == nullptr) throw std::bad_alloc();
    k = new (memory) TChunk();
    k->Slot = slot;
    k->Capacity = static_cast<uint32_t>((kChunkBytes - kHeaderBytes) / slot);
    Link(c, k);
    ++c.Empty;
  }
  void* object = nullptr;
  if (k->Free != nullptr) {
    object = k->Free;
    k->Free = *static_cast<void**>(object);
  } else {
    object = reinterpret_cast<uint8_t*>(k) + kHeaderBytes + size_t{k->Untouched} * slot;
    ++k->Untouched;
  }
  if (k->Live++ == 0) --c.Empty;
  if (k->Free == nullptr && k->Untouched == k->Capacity) Unlink(c, k);
  return object;
}

void FreeArenaObject(void* object, size_t bytes) {
  if (object == nullptr) return;
  if (!kUseArena || bytes > kLargestArenaObject) {
    ::operator delete(object);
    return;
  }
  std::lock_guard hold(Guard());
  TChunk* k = ChunkOf(object);
  TClass& c = Classes()[k->Slot];
  *static_cast<void**>(object) = k->Free;
  k->Free = object;
  if (!k->Listed) Link(c, k);
  if (--k->Live != 0) return;
  if (c.Empty == 0) {
    ++c.Empty;  // kept: the next object of this size goes here without a new mapping
    return;
  }
  Unlink(c, k);
  platform::UnmapChunk(k, kChunkBytes);
}
