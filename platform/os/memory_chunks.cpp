// Aligned chunks through anonymous mappings: twice the size is mapped and the unaligned ends
// are given back, so the chunk can be found from any address inside it by masking.
#include "platform/os/memory_chunks.h"

#include <sys/mman.h>

#include <cstdint>

namespace platform {

void* MapAlignedChunk(size_t bytes) {
  void* mapped =
      mmap(nullptr, bytes * 2, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t aligned = (start + bytes - 1) & ~(uintptr_t{bytes} - 1);
  if (aligned > start) munmap(mapped, aligned - start);
  const uintptr_t end = start + bytes * 2;
  if (end > aligned + bytes)
    munmap(reinterpret_cast<void*>(aligned + bytes), end - aligned - bytes);
  void* chunk = reinterpret_cast<void*>(aligned);
  AdviseHugePages(chunk, bytes);
  return chunk;
}

void AdviseHugePages(void* address, size_t bytes) {
#ifdef MADV_HUGEPAGE
  // Advice covers whole pages: those inside the block (memory from malloc starts anywhere).
  constexpr uintptr_t kPage = 4096;
  const uintptr_t from = (reinterpret_cast<uintptr_t>(address) + kPage - 1) & ~(kPage - 1);
  const uintptr_t to = (reinterpret_cast<uintptr_t>(address) + bytes) & ~(kPage - 1);
  if (to > from)
    static_cast<void>(madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE));
#endif
}

void UnmapChunk(void* chunk, size_t bytes) {
  munmap(chunk, bytes);
}

}  // namespace platform
