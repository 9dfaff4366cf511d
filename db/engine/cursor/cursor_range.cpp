// TDataCursor: key ranges on the current index. A range is a start and an end key of the
// index's key length; its bounds are the logical positions of the first key at or after the
// start and of the last key at or before the end, in the index's own order (descending
// indexes included), found through the subtree counts of the branch pages. The view of an
// index-order cursor is the keys between the bounds.
//
// Invariant: with a range, 0 <= range_first_ and range_last_, and either both are 0 (an empty
// range) or 1 <= range_first_ <= range_last_ <= the index's entry count
// (ComputeRangeBounds, after every change of range, index or data).
#include <cstring>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/storage/index/btree.h"
#include "db/storage/index/compare_keys.h"

namespace {

// Fills key from field first on with the filler that puts it first (low) or last (high) among
// the keys that share its bytes before: 0x00 or 0xFF, the other way round where the index
// compares in reverse. Byte-wise layouts reverse as a whole (their descending fields are
// inverted in the key already); the others field by field (descending index or field), the
// row id after the fields with the index.
void FillKey(const TKeyLayout& layout, uint16_t keyLength, size_t first, bool high, IndexKey& key) {
  const size_t from = first < layout.Fields.size() ? layout.Fields[first].KeyOffset
                      : layout.Fields.empty()
                          ? 0u
                          : layout.Fields.back().KeyOffset + 1u + layout.Fields.back().KeyLength;
  auto filler = [high](bool reversed) -> uint8_t { return (high != reversed) ? 0xFF : 0x00; };
  std::memset(key.data() + from, filler(layout.Descending), keyLength - from);
  if (layout.Bytewise) return;
  for (size_t i = first; i < layout.Fields.size(); ++i) {
    const TKeyField& f = layout.Fields[i];
    std::memset(key.data() + f.KeyOffset, filler(layout.Descending || f.Descending),
                1u + f.KeyLength);
  }
}

}  // namespace

void TDataCursor::RangeKey(bool keysGiven, const uint8_t* source, uint16_t fields, bool high,
                           IndexKey& key) const {
  key.Length = key_length_;
  if (source == nullptr) {
    // No key: the lowest or the highest key of the index.
    FillKey(*layout_, key_length_, 0, high, key);
    return;
  }
  if (keysGiven) {
    std::memcpy(key.data(), source, key_length_);
  } else {
    BuildKey(source, key);
  }
  const size_t keyFields = layout_->Fields.size();
  const bool cut = (fields >= 1 && fields < keyFields) || !layout_->Unique;
  if (!cut || keyFields == 0) return;
  const size_t count = (fields == 0 || fields > keyFields) ? keyFields : fields;
  FillKey(*layout_, key_length_, count, high, key);
}

int64_t TDataCursor::LastPosition() {
  if (range_active_) return range_last_;
  return static_cast<int64_t>(TBTree(table_->IndexFile(), slot_).Count());
}

void TDataCursor::ComputeRangeBounds() {
  if (!range_active_ || record_order_) return;
  TBTree tree(table_->IndexFile(), slot_);
  const int64_t total = tree.Count();
  range_first_ = range_last_ = 0;
  if (total == 0 ||
      CompareKeys(*layout_, range_start_.data(), range_end_.data(), key_length_) > 0) {
    return;
  }
  const int64_t first = tree.CountBefore(range_start_.data(), 0, false) + 1;
  const int64_t last = tree.CountBefore(range_end_.data(), 0, true);
  if (first > total || last < first) return;
  range_first_ = first;
  range_last_ = last;
}

void TDataCursor::StayOnCurrentKey(const IndexKey& here, bool onRecord) {
  ClearPosition();
  if (onRecord) {
    SeekKey(here.data());
  } else {
    GoFirst();
    if (!(bof_ && eof_)) {
      bof_ = true;
      logical_ = FirstPosition() - 1;
    }
  }
  if (!bof_ && !eof_) LoadCurrentRecord();
}

void TDataCursor::SetRange(bool keysGiven, const uint8_t* start, uint16_t startFields,
                           const uint8_t* end, uint16_t endFields) {
  if (!Opened()) Raise(VUZODE_NOCURRREC);
  if (record_order_) return;
  TCursorReadScope bracket(*this, true);
  {
    IndexKey startKey;
    IndexKey endKey;
    RangeKey(keysGiven, start, startFields, false, startKey);
    // Without an end key the range runs to the end of the index.
    RangeKey(keysGiven, end, endFields, true, endKey);
    const bool onRecord = !bof_ && !eof_;
    const IndexKey here = current_key_;
    range_start_ = startKey;
    range_end_ = endKey;
    range_active_ = true;
    ComputeRangeBounds();
    // Under a filter the view holds only the range's records.
    RebuildView();
    StayOnCurrentKey(here, onRecord);
  }
}

void TDataCursor::ResetRange() {
  if (!Opened()) Raise(VUZODE_NOCURRREC);
  if (record_order_ || !range_active_) {
    range_active_ = false;
    return;
  }
  TCursorReadScope bracket(*this, true);
  {
    const bool onRecord = !bof_ && !eof_;
    const IndexKey here = current_key_;
    range_active_ = false;
    std::memset(range_start_.data(), 0x00, kMaxKeyLength);
    std::memset(range_end_.data(), 0xFF, kMaxKeyLength);
    RebuildView();
    StayOnCurrentKey(here, onRecord);
  }
}
