// Large, aligned memory chunks from the system, for allocators that carve many small objects out
// of them. A chunk is asked to be backed by huge pages where the system allows it, so that
// filling it costs a few page faults instead of one per 4 KiB page.
#pragma once

#include <cstddef>

namespace platform {

// A chunk of bytes aligned to bytes (a power of two), zero-filled; nullptr when the system has
// no memory for it.
void* MapAlignedChunk(size_t bytes);
// Gives back a chunk MapAlignedChunk returned, with the same size.
void UnmapChunk(void* chunk, size_t bytes);
// Asks for the whole pages among bytes of memory at address (any address) to be backed by huge
// pages (only advice: where huge pages are off it stays ordinary memory).
void AdviseHugePages(void* address, size_t bytes);

}  // namespace platform
