// The in-process table of locked byte ranges; see range_lock_table.h.
#include "platform/os/range_lock_table.h"

#include <algorithm>
#include <cassert>
#include <iterator>

namespace platform {

TRangeLockTable& TRangeLockTable::Instance() {
  // Never destroyed: a holder closing during process exit must still find it.
  static TRangeLockTable* table = new TRangeLockTable;
  return *table;
}

bool TRangeLockTable::Acquire(TFileIdentity file, int64_t first, int64_t last, const void* owner) {
  assert(first <= last && "invariant (2)");
  std::map<int64_t, TRange>& ranges = files_[file];
  // Invariant (1): only the ranges on either side of first can overlap [first, last].
  const auto next = ranges.lower_bound(first);
  if (next != ranges.end() && next->first <= last) return false;
  if (next != ranges.begin() && std::prev(next)->second.last >= first) return false;
  ranges.emplace_hint(next, first, TRange{last, owner});
  return true;
}

bool TRangeLockTable::Release(TFileIdentity file, int64_t first, int64_t last, const void* owner) {
  const auto found = files_.find(file);
  if (found == files_.end()) return false;
  std::map<int64_t, TRange>& ranges = found->second;
  const auto range = ranges.find(first);
  if (range == ranges.end() || range->second.last != last || range->second.owner != owner) {
    return false;
  }
  ranges.erase(range);
  if (ranges.empty()) files_.erase(found);
  return true;
}

void TRangeLockTable::ReleaseAll(const void* owner) {
  for (auto file = files_.begin(); file != files_.end();) {
    std::erase_if(file->second, [&](const auto& held) { return held.second.owner == owner; });
    file = file->second.empty() ? files_.erase(file) : std::next(file);
  }
}

size_t TRangeLockTable::HeldCount(TFileIdentity file) {
  std::lock_guard<std::mutex> hold(mutex_);
  const auto found = files_.find(file);
  return found == files_.end() ? 0 : found->second.size();
}

}  // namespace platform
