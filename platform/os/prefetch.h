// Asking the processor to bring memory into its cache ahead of use, for walks whose next
// addresses are known before their data is needed (cache lookups of the next record).
#pragma once

namespace platform {

inline void PrefetchForRead(const void* address) {
#if defined(__x86_64__) || defined(__i386__)
  // GCC drops __builtin_prefetch of addresses loaded from a table; the instruction is asked
  // for directly.
  asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(address)));
#else
  __builtin_prefetch(address);
#endif
}

}  // namespace platform
