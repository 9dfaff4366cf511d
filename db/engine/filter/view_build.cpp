// TDataCursor: building the view bitmap. The view is held as a bitmap while some filter is
// active or the cursor is in record order (view_flag_); it is
//     (range bitmap, in index order with a range) AND active records AND each active filter.
// The range bitmap holds the records whose keys lie in the range's rank bounds, collected from
// the index (from its complement when the range holds more than half of the active records);
// the active-records bitmap is all ones for a table without deleted records, otherwise all
// ones less the records of the row-id index's deleted keys.
//
// Invariants (RebuildView, Recombine, and the upkeep of view_upkeep.cpp):
//   (1) visible_ equals the combination above over records 1 .. the highest record number.
//   (2) filtered_count_ == visible_.Count() whenever view_flag_ is set.
//   (3) A build that meets pages or records another session changed meanwhile starts again,
//       so the view never mixes two states of the table.
#include "db/engine/cursor/data_cursor.h"
#include "db/engine/filter/key_range.h"
#include "db/sql/bitmaps/records_bitmap_stack.h"
#include "db/storage/index/btree.h"
#include "db/storage/index/index_header.h"

namespace {

constexpr int kBuildAttempts = 16;

void Ensure(std::unique_ptr<TRecordsBitmap>& bitmap) {
  if (!bitmap) bitmap = ViewBitmapPool().Take();
}

}  // namespace

void TDataCursor::RebuildView() {
  view_built_ = false;
  view_place_ = -1;
  view_flag_ = record_order_;
  for (const auto& f : filters_) view_flag_ = view_flag_ || f->Active;
  if (!view_flag_) {
    visible_.SetSize(0);
    if (range_bitmap_) range_bitmap_->SetSize(0);
    if (active_bitmap_) active_bitmap_->SetSize(0);
    filtered_count_ = 0;
    return;
  }
  // The build reads under the table's read lock, so that it sees one state of the table and
  // its cache misses need no check of their own; taken here unless some lock is held already.
  const bool wasHeld = table_->ReadLockHeld();
  const bool changed = !wasHeld && table_->BeginRead();
  const bool took = !wasHeld && table_->ReadLockHeld();
  if (changed) ComputeRangeBounds();
  try {
    BuildUntilStable();
  } catch (...) {
    if (took) table_->EndRead();
    throw;
  }
  if (took) table_->EndRead();
  view_built_ = true;
}

void TDataCursor::BuildUntilStable() {
  TDataFile& data = table_->DataFile();
  TIndexFile& index = table_->IndexFile();
  for (int attempt = 1;; ++attempt) {
    const int32_t dataMark = data.ChangeCount();
    const int32_t indexMark = index.Header().ChangeCount;
    bool changed = false;
    try {
      BuildViewOnce();
    } catch (const TViewChanged&) {
      changed = true;
    }
    if (!changed && dataMark == data.ChangeCount() && indexMark == index.Header().ChangeCount)
      break;
    if (attempt == kBuildAttempts) index.RaiseIndexCorrupt(slot_, "the view keeps changing");
    // Another session's change came in: bounds first, then the view over the new state.
    ComputeRangeBounds();
  }
}

void TDataCursor::BuildViewOnce() {
  const uint32_t highest = table_->DataFile().RecordCount();
  visible_.SetSize(highest);
  Ensure(range_bitmap_);
  Ensure(active_bitmap_);
  range_bitmap_->SetSize(highest);
  active_bitmap_->SetSize(highest);
  if (highest == 0) {
    range_bitmap_->ClearAll();
    active_bitmap_->ClearAll();
    visible_.ClearAll();
    filtered_count_ = 0;
    return;
  }
  if (range_active_ && !record_order_) BuildRangeBitmap(highest);
  BuildActiveBitmap(highest);
  std::unique_ptr<TRecordsBitmap> candidates = ViewBitmapPool().Take();
  try {
    for (const auto& f : filters_) {
      if (!f->Active) continue;
      candidates->SetSize(highest);
      candidates->CopyFrom(*active_bitmap_);
      if (range_active_ && !record_order_) candidates->AndWith(*range_bitmap_);
      if (f->AfterOthers && f->Servability != 2) {
        for (const auto& before : filters_) {
          if (before.get() == f.get()) break;
          if (before->Active) candidates->AndWith(*before->Bitmap);
        }
      }
      ComputeFilter(*f, *candidates);
    }
  } catch (...) {
    ViewBitmapPool().Return(candidates);
    throw;
  }
  ViewBitmapPool().Return(candidates);
  Recombine();
}

void TDataCursor::BuildRangeBitmap(uint32_t highest) {
  TRecordsBitmap& range = *range_bitmap_;
  range.SetSize(highest);
  range.ClearAll();
  if (range_first_ == 0) return;
  TIndexFile& index = table_->IndexFile();
  const int64_t total = TBTree(index, slot_).Count();
  const int64_t inside = range_last_ - range_first_ + 1;
  if (inside * 2 > index.ActiveRecordCount()) {
    // Most records are inside: collect the few outside and invert.
    CollectRanks(index, slot_, 0, range_first_ - 1, range);
    CollectRanks(index, slot_, range_last_, total, range);
    range.Not();
  } else {
    CollectRanks(index, slot_, range_first_ - 1, range_last_, range);
  }
}

void TDataCursor::BuildActiveBitmap(uint32_t highest) {
  TRecordsBitmap& active = *active_bitmap_;
  TIndexFile& index = table_->IndexFile();
  active.SetSize(highest);
  active.ClearAll();
  if (static_cast<uint32_t>(index.ActiveRecordCount()) == highest) {
    active.SetAll();
    return;
  }
  // The row-id index orders its keys by status, active (0) first: the deleted records are the
  // keys after the active ones.
  TBTree rowIds(index, kDeletedSlot);
  uint8_t probe[kMaxKeyLength] = {kRecordActive};
  const int64_t activeKeys = rowIds.CountBefore(probe, 1, true);
  CollectRanks(index, kDeletedSlot, activeKeys, rowIds.Count(), active);
  active.Not();
}

void TDataCursor::Recombine() {
  view_place_ = -1;
  if (!view_flag_) return;
  if (!active_bitmap_) {
    filtered_count_ = visible_.Count();
    return;
  }
  visible_.SetSize(active_bitmap_->BitCount());
  visible_.CopyFrom(*active_bitmap_);
  if (range_active_ && !record_order_ && range_bitmap_) visible_.AndWith(*range_bitmap_);
  for (const auto& f : filters_) {
    if (f->Active) visible_.AndWith(*f->Bitmap);
  }
  filtered_count_ = visible_.Count();
}
