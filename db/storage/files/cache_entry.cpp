// TEntryStack: recycling of cache entries.
#include "db/storage/files/cache_entry.h"

#include <algorithm>

std::unique_ptr<TCacheEntry> TEntryStack::Take() {
  if (free_.empty()) {
    auto entry = std::make_unique<TCacheEntry>();
    entry->Buffer.assign(unit_size_, 0);
    return entry;
  }
  std::unique_ptr<TCacheEntry> entry = std::move(free_.back());
  free_.pop_back();
  std::fill(entry->Buffer.begin(), entry->Buffer.end(), 0);
  entry->Dirty = false;
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
