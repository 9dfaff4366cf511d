// TUnitMap: the entries of one buffer cache by unit number, in an open-addressing table with
// linear probing, so that finding a unit costs one or two memory reads whatever the cache's
// size (a cache may hold a whole table's records).
//
// Invariants:
//   (1) Unit numbers are at least 1; a slot whose Number is 0 is empty.
//   (2) Every stored unit lies on the probe run that starts at its home slot, with no empty slot
//       between (Erase shifts the run's later entries back to keep this).
//   (3) At most three quarters of the slots are used (Insert grows the table first), so a probe
//       run ends.
//   (4) The map owns the entries its slots point at. The slots come zeroed from calloc, so a
//       table of a million slots is not written once before use, and large ones ask for huge
//       pages, whose first touch costs less per byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "db/storage/files/cache_entry.h"
#include "platform/os/memory_chunks.h"
#include "platform/os/prefetch.h"

class TUnitMap {
 public:
  TUnitMap() = default;
  ~TUnitMap() { Release(); }
  TUnitMap(const TUnitMap&) = delete;
  TUnitMap& operator=(const TUnitMap&) = delete;

  size_t Size() const { return size_; }

  // The entry of unit n, or null.
  TCacheEntry* Find(uint32_t n) const {
    if (size_ == 0) return nullptr;
    for (size_t i = Home(n);; i = (i + 1) & mask_) {
      const TSlot& slot = slots_[i];
      if (slot.Number == n) return slot.Entry;
      if (slot.Number == 0) return nullptr;
    }
  }

  // Asks the processor to bring n's home slot into its cache: a walk in unit order finds its
  // next block of slots there instead of waiting for memory at every block.
  void Prefetch(uint32_t n) const {
    if (size_ != 0) platform::PrefetchForRead(slots_ + Home(n));
  }

  static constexpr uint32_t kRun = 16;

  // Stores entry under n. False, leaving entry with the caller, when n is stored already.
  // REQUIRES: n >= 1.
  bool Insert(uint32_t n, std::unique_ptr<TCacheEntry>& entry) {
    if ((size_ + 1) * 4 > capacity_ * 3) Grow();
    size_t i = Home(n);
    for (; slots_[i].Number != 0; i = (i + 1) & mask_) {
      if (slots_[i].Number == n) return false;
    }
    slots_[i].Number = n;
    slots_[i].Entry = entry.release();
    ++size_;
    return true;
  }

  // Takes the entry of n out; null when n is not stored.
  std::unique_ptr<TCacheEntry> Erase(uint32_t n) {
    if (size_ == 0) return nullptr;
    size_t hole = Home(n);
    while (slots_[hole].Number != n) {
      if (slots_[hole].Number == 0) return nullptr;
      hole = (hole + 1) & mask_;
    }
    std::unique_ptr<TCacheEntry> entry(slots_[hole].Entry);
    slots_[hole] = TSlot{};
    --size_;
    // Invariant (2): move back each later entry of the run whose home is not between the hole
    // and it (cyclically).
    for (size_t i = (hole + 1) & mask_; slots_[i].Number != 0; i = (i + 1) & mask_) {
      const size_t home = Home(slots_[i].Number);
      if (((i - home) & mask_) >= ((i - hole) & mask_)) {
        slots_[hole] = slots_[i];
        slots_[i] = TSlot{};
        hole = i;
      }
    }
    return entry;
  }

  // Calls f(std::unique_ptr<TCacheEntry>&) for every stored entry, in no particular order; f
  // may take the entry.
  template <typename F>
  void ForEach(F&& f) {
    for (size_t i = 0; i < capacity_; ++i) {
      TSlot& slot = slots_[i];
      if (slot.Number == 0) continue;
      std::unique_ptr<TCacheEntry> entry(slot.Entry);
      slot.Entry = nullptr;
      f(entry);
      slot.Entry = entry.release();
    }
  }

  // Empties the map; the entries still in it are freed.
  void Clear() {
    for (size_t i = 0; i < capacity_; ++i) {
      delete slots_[i].Entry;
      slots_[i] = TSlot{};
    }
    size_ = 0;
  }

 private:
  struct TSlot {
    uint32_t Number = 0;
    TCacheEntry* Entry = nullptr;
  };
  static_assert(std::is_trivially_copyable_v<TSlot>);

  // Zeroed slots: calloc spares the writing of fresh pages, which come zeroed.
  static TSlot* Allocate(size_t capacity) {
    void* memory = std::calloc(capacity, sizeof(TSlot));
    if (memory == nullptr) throw std::bad_alloc();
    if (capacity * sizeof(TSlot) >= kHugeFrom) {
      platform::AdviseHugePages(memory, capacity * sizeof(TSlot));
    }
    return static_cast<TSlot*>(memory);
  }
  void Release() {
    // The slots go with the table: only the entries need freeing.
    for (size_t i = 0; i < capacity_; ++i) delete slots_[i].Entry;
    std::free(slots_);
    slots_ = nullptr;
    size_ = capacity_ = 0;
  }
  static constexpr size_t kHugeFrom = size_t{4} << 20;

  size_t Home(uint32_t n) const {
    // Units come in runs (read-ahead, scans in file order): each block of kRun consecutive
    // numbers keeps its slots side by side, so walking a run reads the table in order, while
    // the blocks themselves are spread by Fibonacci hashing so that runs do not pile up.
    const uint64_t block = static_cast<uint64_t>(n / kRun) * 0x9E3779B97F4A7C15ull;
    return (static_cast<size_t>(block >> shift_) + n % kRun) & mask_;
  }

  void Grow() {
    TSlot* old = slots_;
    const size_t oldCapacity = capacity_;
    const size_t capacity = oldCapacity == 0 ? 16 : oldCapacity * 2;
    slots_ = Allocate(capacity);
    capacity_ = capacity;
    mask_ = capacity - 1;
    shift_ = 64 - static_cast<unsigned>(__builtin_ctzll(capacity));
    for (size_t k = 0; k < oldCapacity; ++k) {
      const TSlot& slot = old[k];
      if (slot.Number == 0) continue;
      size_t i = Home(slot.Number);
      while (slots_[i].Number != 0) i = (i + 1) & mask_;
      slots_[i] = slot;
    }
    std::free(old);
  }

  TSlot* slots_ = nullptr;
  size_t capacity_ = 0;
  size_t size_ = 0;
  size_t mask_ = 0;
  unsigned shift_ = 64;
};
