// The memory of cache entries and index pages: many objects of a few sizes, made and dropped
// by the million in a large transaction. They are carved out of 2 MiB chunks per size (slabs),
// which the system backs with huge pages where it can: filling a cache then costs a page fault
// per chunk instead of one per 4 KiB, and no general allocator walk per object.
//
// Invariants: every object of a size lives in a chunk of that size's class, found from its
// address by masking; a chunk with no live object is given back, except one kept per size
// against mapping and unmapping on a boundary. Thread-safe (one guard). Objects larger than
// kLargestArenaObject, and every object in a sanitizer build (so overflows are still caught),
// come from the general allocator.
#pragma once

#include <cstddef>

inline constexpr size_t kLargestArenaObject = 64 * 1024;

// bytes of uninitialised memory, aligned for any object of up to 16-byte alignment; raises
// std::bad_alloc when the system has none.
void* AllocateArenaObject(size_t bytes);
// Gives back an object AllocateArenaObject returned, with the same size.
void FreeArenaObject(void* object, size_t bytes);
