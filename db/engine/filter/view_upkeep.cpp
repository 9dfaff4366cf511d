// TDataCursor: keeping the view current after a change through the cursor, for the one record
// changed, without a rebuild: the record's bit in the range bitmap follows its key, in the
// active-records bitmap it is set (cleared for a deletion), each active filter is evaluated on
// it alone, and the view is recombined. The range's rank bounds are counted again, since the
// change moved keys of the current index.
#include <algorithm>

#include "db/engine/cursor/data_cursor.h"
#include "db/storage/index/compare_keys.h"

void TDataCursor::NoteRecordChanged(uint32_t record, const uint8_t* image) {
  if (!Opened() || record == 0) return;
  if (range_active_ && !record_order_) ComputeRangeBounds();
  if (!view_flag_ || !view_built_ || !active_bitmap_ || !range_bitmap_) return;
  const uint32_t highest = std::max(table_->DataFile().RecordCount(), record);
  visible_.SetSize(highest);
  active_bitmap_->SetSize(highest);
  range_bitmap_->SetSize(highest);
  if (range_active_ && !record_order_) {
    IndexKey key;
    BuildKey(image, key);
    const bool inside = CompareKeys(*layout_, key.data(), range_start_.data(), key_length_) >= 0 &&
                        CompareKeys(*layout_, key.data(), range_end_.data(), key_length_) <= 0;
    if (inside) {
      range_bitmap_->Set(record);
    } else {
      range_bitmap_->Clear(record);
    }
  }
  active_bitmap_->Set(record);
  // An after-others filter sees only records that passed the filters before it.
  bool passed = !(range_active_ && !record_order_) || range_bitmap_->Test(record);
  for (const auto& f : filters_) {
    if (!f->Active) continue;
    f->Bitmap->SetSize(highest);
    const bool asked = passed || !f->AfterOthers || f->Servability == 2;
    const bool holds = asked && FilterHolds(*f, nullptr, image, record);
    if (holds) {
      f->Bitmap->Set(record);
    } else {
      f->Bitmap->Clear(record);
    }
    passed = passed && holds;
  }
  Recombine();
}

void TDataCursor::NoteRecordDeleted(uint32_t record) {
  if (!Opened() || record == 0) return;
  if (range_active_ && !record_order_) ComputeRangeBounds();
  if (!view_flag_ || !view_built_) return;
  for (TRecordsBitmap* bitmap : {range_bitmap_.get(), active_bitmap_.get()}) {
    if (bitmap) bitmap->Clear(record);
  }
  for (const auto& f : filters_) {
    if (f->Active) f->Bitmap->Clear(record);
  }
  if (visible_.Test(record)) {
    visible_.Clear(record);
    --filtered_count_;
  }
  view_place_ = -1;
}
