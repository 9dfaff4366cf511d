// Cache entries (records, index pages, BLOB blocks) and the pools that recycle them.
//
// An entry is in exactly one of: its pool (free); a cache, clean or dirty, pinned or not. Only
// clean unpinned entries are evicted; a dirty entry becomes clean only by a flush.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct TCacheEntry {
  void* Owner = nullptr;         // the table file whose cache holds the entry
  bool Dirty = false;            // changed since it was read or written
  uint16_t PinCount = 0;         // users holding the entry; a pinned entry stays put
  uint32_t Number = 0;           // 1-based record, page or block number
  std::vector<uint8_t> Buffer;   // one unit
  TCacheEntry* Newer = nullptr;  // most-recently-used list, towards the head
  TCacheEntry* Older = nullptr;  // towards the tail
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
