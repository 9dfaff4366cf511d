// Cache entries (records, index pages, BLOB blocks) and the pools that recycle them.
//
// An entry is in exactly one of: its pool (free); a cache, clean or dirty, pinned or not. Only
// clean unpinned entries are evicted; a dirty entry becomes clean only by a flush.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

// The bytes of one unit, stored right behind the entry that owns them, so that an entry and
// its unit share one allocation and, for small units, the same cache lines.
class TUnitBytes {
 public:
  TUnitBytes(uint8_t* data, uint32_t size) : data_(data), size_(size) {}
  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  uint8_t* begin() { return data_; }
  uint8_t* end() { return data_ + size_; }
  const uint8_t* begin() const { return data_; }
  const uint8_t* end() const { return data_ + size_; }
  uint8_t& operator[](size_t i) { return data_[i]; }
  uint8_t operator[](size_t i) const { return data_[i]; }

 private:
  uint8_t* data_;
  uint32_t size_;
};

struct TCacheEntry {
  // A new entry with a zeroed unit of unitSize bytes.
  static std::unique_ptr<TCacheEntry> Make(uint32_t unitSize);
  // Entries come only from Make: the unit is part of the allocation, which the arena gives
  // (entry_arena.h); it goes back with the size the unit makes it.
  static void operator delete(TCacheEntry* entry, std::destroying_delete_t);
  TCacheEntry(const TCacheEntry&) = delete;
  TCacheEntry& operator=(const TCacheEntry&) = delete;

  void* Owner = nullptr;         // the table file whose cache holds the entry
  bool Dirty = false;            // changed since it was read or written
  bool Referenced = false;       // used since it last reached the tail (second chance)
  bool Listed = false;           // on its cache's list of changed entries
  uint16_t PinCount = 0;         // users holding the entry; a pinned entry stays put
  uint32_t Number = 0;           // 1-based record, page or block number
  TUnitBytes Buffer;             // one unit
  TCacheEntry* Newer = nullptr;  // most-recently-used list, towards the head
  TCacheEntry* Older = nullptr;  // towards the tail

 private:
  explicit TCacheEntry(uint32_t unitSize)
      : Buffer(reinterpret_cast<uint8_t*>(this + 1), unitSize) {}
};

// The fixed capacities of the pools of the three table files.
inline constexpr size_t kRecordStackCapacity = 64;
inline constexpr size_t kPageStackCapacity = 4;
inline constexpr size_t kBlockStackCapacity = 32;

// A pool of free entries of one unit size (TRecordStack, TPageStack, TBlockStack are pools of
// their capacities).
class TEntryStack {
 public:
  TEntryStack(size_t capacity, uint32_t unitSize) : capacity_(capacity), unit_size_(unitSize) {}

  // The last pooled entry, cleared (zero buffer, not dirty, not pinned, unlinked), or a new one.
  std::unique_ptr<TCacheEntry> Take();
  // Keeps entry for reuse, or frees it when the pool is full.
  void Return(std::unique_ptr<TCacheEntry> entry);

  size_t Count() const { return free_.size(); }
  size_t Capacity() const { return capacity_; }

 private:
  size_t capacity_;
  uint32_t unit_size_;
  std::vector<std::unique_ptr<TCacheEntry>> free_;
};
