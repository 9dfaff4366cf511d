// The in-process table of locked byte ranges; see range_lock_table.h.
#include "platform/os/range_lock_table.h"

#include <algorithm>
#include <cassert>

namespace platform {

TRangeLockTable& TRangeLockTable::Instance() {
  // Never destroyed: a holder closing during process exit must still find it.
  static TRangeLockTable* table = new TRangeLockTable;
  return *table;
}

bool TRangeLockTable::Acquire(TFileIdentity file, int64_t first, int64_t last, const void* owner) {
  assert(first <= last && "invariant (2)");
  std::vector<TRange>& ranges = files_[file];
  for (const TRange& held : ranges) {
    if (first <= held.last && held.first <= last) return false;
  }
  ranges.push_back({first, last, owner});
  return true;
}

bool TRangeLockTable::Release(TFileIdentity file, int64_t first, int64_t last, const void* owner) {
  const auto found = files_.find(file);
  if (found == files_.end()) return false;
  std::vector<TRange>& ranges = found->second;
  const auto range = std::find_if(ranges.begin(), ranges.end(), [&](const TRange& held) {
    return held.first == first && held.last == last && held.owner == owner;
  });
  if (range == ranges.end()) return false;
  ranges.erase(range);
  if (ranges.empty()) files_.erase(found);
  return true;
}

void TRangeLockTable::ReleaseAll(const void* owner) {
  for (auto file = files_.begin(); file != files_.end();) {
    std::erase_if(file->second, [&](const TRange& held) { return held.owner == owner; });
    file = file->second.empty() ? files_.erase(file) : std::next(file);
  }
}

size_t TRangeLockTable::HeldCount(TFileIdentity file) {
  std::lock_guard<std::mutex> hold(mutex_);
  const auto found = files_.find(file);
  return found == files_.end() ? 0 : found->second.size();
}

}  // namespace platform
