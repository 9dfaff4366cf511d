// Cache entries' memory (from the entry arena) and TEntryStack: recycling of cache entries.
#include "db/storage/files/cache_entry.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "db/storage/files/entry_arena.h"

std::unique_ptr<TCacheEntry> TCacheEntry::Make(uint32_t unitSize) {
  void* memory = AllocateArenaObject(sizeof(TCacheEntry) + unitSize);
  std::memset(static_cast<uint8_t*>(memory) + sizeof(TCacheEntry), 0, unitSize);
  return std::unique_ptr<TCacheEntry>(new (memory) TCacheEntry(unitSize));
}

void TCacheEntry::operator delete(TCacheEntry* entry, std::destroying_delete_t) {
  const size_t bytes = sizeof(TCacheEntry) + entry->Buffer.size();
  entry->~TCacheEntry();
  FreeArenaObject(entry, bytes);
}

std::unique_ptr<TCacheEntry> TEntryStack::Take() {
  if (free_.empty()) {
    return TCacheEntry::Make(unit_size_);
  }
  std::unique_ptr<TCacheEntry> entry = std::move(free_.back());
  free_.pop_back();
  std::fill(entry->Buffer.begin(), entry->Buffer.end(), 0);
  entry->Dirty = false;
  entry->Referenced = false;
  entry->Listed = false;
  entry->PinCount = 0;
  entry->Number = 0;
  entry->Newer = nullptr;
  entry->Older = nullptr;
  return entry;
}

void TEntryStack::Return(std::unique_ptr<TCacheEntry> entry) {
  if (free_.size() < capacity_ && entry->Buffer.size() == unit_size_) {
    free_.push_back(std::move(entry));
  }
}
