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
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "db/storage/files/cache_entry.h"
#include "platform/os/prefetch.h"

class TUnitMap {
 public:
  size_t Size() const { return size_; }

  // The entry of unit n, or null.
  TCacheEntry* Find(uint32_t n) const {
    if (size_ == 0) return nullptr;
    for (size_t i = Home(n);; i = (i + 1) & mask_) {
      const TSlot& slot = slots_[i];
      if (slot.Number == n) return slot.Entry.get();
      if (slot.Number == 0) return nullptr;
    }
  }

  // Asks the processor to bring n's home slot into its cache: a walk in unit order finds its
  // next block of slots there instead of waiting for memory at every block.
  void Prefetch(uint32_t n) const {
    if (size_ != 0) platform::PrefetchForRead(slots_.data() + Home(n));
  }

  static constexpr uint32_t kRun = 16;

  // Stores entry under n. False, leaving entry with the caller, when n is stored already.
  // REQUIRES: n >= 1.
  bool Insert(uint32_t n, std::unique_ptr<TCacheEntry>& entry) {
    if ((size_ + 1) * 4 > slots_.size() * 3) Grow();
    size_t i = Home(n);
    for (; slots_[i].Number != 0; i = (i + 1) & mask_) {
      if (slots_[i].Number == n) return false;
    }
    slots_[i].Number = n;
    slots_[i].Entry = std::move(entry);
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
    std::unique_ptr<TCacheEntry> entry = std::move(slots_[hole].Entry);
    slots_[hole].Number = 0;
    --size_;
    // Invariant (2): move back each later entry of the run whose home is not between the hole
    // and it (cyclically).
    for (size_t i = (hole + 1) & mask_; slots_[i].Number != 0; i = (i + 1) & mask_) {
      const size_t home = Home(slots_[i].Number);
      if (((i - home) & mask_) >= ((i - hole) & mask_)) {
        slots_[hole] = std::move(slots_[i]);
        slots_[i].Number = 0;
        hole = i;
      }
    }
    return entry;
  }

  // Calls f(std::unique_ptr<TCacheEntry>&) for every stored entry, in no particular order.
  template <typename F>
  void ForEach(F&& f) {
    for (TSlot& slot : slots_) {
      if (slot.Number != 0) f(slot.Entry);
    }
  }

  // Empties the map; the entries must have been taken out (ForEach) or are freed.
  void Clear() {
    for (TSlot& slot : slots_) {
      slot.Number = 0;
      slot.Entry.reset();
    }
    size_ = 0;
  }

 private:
  struct TSlot {
    uint32_t Number = 0;
    std::unique_ptr<TCacheEntry> Entry;
  };

  size_t Home(uint32_t n) const {
    // Units come in runs (read-ahead, scans in file order): each block of kRun consecutive
    // numbers keeps its slots side by side, so walking a run reads the table in order, while
    // the blocks themselves are spread by Fibonacci hashing so that runs do not pile up.
    const uint64_t block = static_cast<uint64_t>(n / kRun) * 0x9E3779B97F4A7C15ull;
    return (static_cast<size_t>(block >> shift_) + n % kRun) & mask_;
  }

  void Grow() {
    std::vector<TSlot> old = std::move(slots_);
    const size_t capacity = old.empty() ? 16 : old.size() * 2;
    slots_ = std::vector<TSlot>(capacity);
    mask_ = capacity - 1;
    shift_ = 64 - static_cast<unsigned>(__builtin_ctzll(capacity));
    for (TSlot& slot : old) {
      if (slot.Number == 0) continue;
      size_t i = Home(slot.Number);
      while (slots_[i].Number != 0) i = (i + 1) & mask_;
      slots_[i] = std::move(slot);
    }
  }

  std::vector<TSlot> slots_;
  size_t size_ = 0;
  size_t mask_ = 0;
  unsigned shift_ = 64;
};
