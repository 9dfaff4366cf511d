// TDataCursor: the position. In index order the position is a leaf page and slot of the
// current index with a copy of the key there, so a step that finds the page changed (another
// session replaced it, or it was evicted and reloaded) finds its key again; in record order it
// is a record number among the view's bitmap. Under a filter, index order walks the keys of the
// range and stops only on keys whose records are in the view bitmap.
//
// Invariants:
//   (1) bof_ and eof_ both set exactly when the view holds no record; otherwise at most one
//       is set, and with neither the position names a record (current_record_) of the view.
//   (2) Record order: logical_ is the 1-based place of the current record in the view. Index
//       order: logical_ is the 1-based rank of the current key in the whole index, within the
//       range's bounds; under a filter the place in the view is ViewPlace() (view_place_ once
//       known: steps keep it, seeks forget it).
//   (3) In index order current_key_ holds the key at (leaf_page_, leaf_pos_) as last seen.
//   (4) After-last under a filter stands on the view's last record (SeekKey), so a step back
//       and FindKey's move onto the last record land inside the view.
#include <algorithm>
#include <cstring>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/filter/key_range.h"
#include "db/engine/session/data_directory.h"
#include "db/storage/index/btree.h"
#include "db/storage/index/compare_keys.h"
#include "db/storage/index/index_header.h"

void TDataCursor::LoadIndex(int number) {
  TIndexFile& index = table_->IndexFile();
  const int secondary = index.Header().SecondaryIndexCount;
  const bool valid = number == kRecordOrder || number == kRowIdIndex ||
                     (number == kTextIndex && index.Descriptor(kTextSlot).FieldCount > 0) ||
                     (number >= 0 && number <= secondary);
  if (!valid) Raise(VUZODE_INVALIDINDEXNAME, {}, std::to_string(number));
  index_no_ = number;
  record_order_ = number == kRecordOrder ||
                  (number == 0 && (index.NoPrimaryIndex() || index.Descriptor(0).KeyLength == 0));
  if (record_order_) {
    slot_ = 0;
    key_length_ = 4;
    layout_ = nullptr;
    index_name_.clear();
    return;
  }
  slot_ = number;
  key_length_ = index.Descriptor(slot_).KeyLength;
  layout_ = &index.Layout(slot_);
  index_name_ = index.Descriptor(slot_).Name;
}

void TDataCursor::ClearPosition() {
  leaf_page_ = 0;
  leaf_pos_ = 0;
  current_record_ = 0;
  logical_ = 0;
  view_place_ = -1;
  bof_ = eof_ = true;
}

uint32_t TDataCursor::ViewCount() {
  if (view_flag_) return filtered_count_;
  if (range_active_) {
    return range_first_ == 0 ? 0 : static_cast<uint32_t>(range_last_ - range_first_ + 1);
  }
  return static_cast<uint32_t>(TBTree(table_->IndexFile(), slot_).Count());
}

bool TDataCursor::PositionEntry(const uint8_t*& key, int32_t& record) {
  TPage* page = table_->IndexFile().FetchPage(slot_, leaf_page_);
  if (!page->IsLeaf() || leaf_pos_ < 0 || leaf_pos_ >= page->Count()) return false;
  key = page->Key(leaf_pos_);
  record = page->Reference(leaf_pos_);
  return true;
}

bool TDataCursor::PlaceAtRank(int64_t rank) {
  IndexKey key;
  int32_t record = 0;
  if (rank < 1 || !TBTree(table_->IndexFile(), slot_).EntryAtRank(rank - 1, key, record)) {
    ClearPosition();
    return false;
  }
  // The entry itself, whatever the range says.
  const bool saved = range_active_;
  range_active_ = false;
  bool on = false;
  try {
    on = SeekKeyRaw(key.data());
  } catch (...) {
    range_active_ = saved;
    throw;
  }
  range_active_ = saved;
  return on;
}

bool TDataCursor::SeekKeyRaw(const uint8_t* key) {
  if (range_active_ && range_first_ == 0) {
    ClearPosition();
    return false;
  }
  TBTree tree(table_->IndexFile(), slot_);
  TIndexPath path;
  int64_t rank = 0;
  tree.FindKey(key, true, path, rank);
  if (path.Levels == 0) {
    ClearPosition();
    return false;
  }
  leaf_page_ = path.Level[path.Levels - 1].Page;
  leaf_pos_ = path.Level[path.Levels - 1].Position;
  const uint8_t* at = nullptr;
  int32_t record = 0;
  if (!PositionEntry(at, record)) table_->IndexFile().RaiseIndexCorrupt(slot_, "search position");
  std::memcpy(current_key_.data(), at, key_length_);
  current_key_.Length = key_length_;
  current_record_ = static_cast<uint32_t>(record);
  logical_ = rank + 1;
  bof_ = eof_ = false;
  // All keys smaller: the search stops on the last one, and the cursor goes after it.
  const bool beyond = CompareKeys(*layout_, at, key, key_length_) < 0;
  if (range_active_) {
    // Before the range: its first key; after it: after its last key.
    if (beyond || logical_ > range_last_) {
      PlaceAtRank(range_last_);
      eof_ = true;
      return false;
    }
    if (logical_ < range_first_) return PlaceAtRank(range_first_);
    return true;
  }
  if (beyond) {
    eof_ = true;
    return false;
  }
  return true;
}

bool TDataCursor::SeekKey(const uint8_t* key) {
  view_place_ = -1;
  const bool on = SeekKeyRaw(key);
  if (!IndexFiltered() || (bof_ && eof_)) return on;
  if (on && (visible_.Test(current_record_) || StepIndex(true))) return true;
  // No record of the view at or after key: after the view's last record (invariant (4)).
  GoLast();
  if (!(bof_ && eof_)) eof_ = true;
  return false;
}

bool TDataCursor::StepIndexRaw(bool forward) {
  TIndexFile& index = table_->IndexFile();
  if (range_active_ && !eof_ && !bof_ &&
      (forward ? logical_ >= range_last_ : logical_ <= range_first_)) {
    return false;
  }
  const uint8_t* at = nullptr;
  int32_t record = 0;
  // The page may have changed since the position was taken: find the key again.
  if (!PositionEntry(at, record) || std::memcmp(at, current_key_.data(), key_length_) != 0) {
    view_place_ = -1;
    std::memcpy(scratch_key_.data(), current_key_.data(), key_length_);
    if (!SeekKeyRaw(scratch_key_.data())) {
      // Every key of the range is smaller than the old one: forward there is nothing more;
      // backward the last key is the step.
      if (forward || (bof_ && eof_)) return false;
      eof_ = false;
      return true;
    }
    // On the first key after a key that is gone: forward that is the step.
    if (forward && std::memcmp(current_key_.data(), scratch_key_.data(), key_length_) != 0) {
      return true;
    }
    if (range_active_ && (forward ? logical_ >= range_last_ : logical_ <= range_first_)) {
      return false;
    }
  }
  TPage* page = index.FetchPage(slot_, leaf_page_);
  int pos = leaf_pos_ + (forward ? 1 : -1);
  int32_t pageNumber = leaf_page_;
  for (int guard = 0; pos < 0 || pos >= page->Count(); ++guard) {
    const int32_t next = forward ? page->Right : page->Left;
    if (next == 0 || guard > 1000000) return false;
    pageNumber = next;
    page = index.FetchPage(slot_, pageNumber);
    if (!page->IsLeaf()) index.RaiseIndexCorrupt(slot_, "leaf link");
    pos = forward ? 0 : page->Count() - 1;
  }
  leaf_page_ = pageNumber;
  leaf_pos_ = pos;
  std::memcpy(current_key_.data(), page->Key(pos), key_length_);
  current_key_.Length = key_length_;
  current_record_ = static_cast<uint32_t>(page->Reference(pos));
  logical_ += forward ? 1 : -1;
  return true;
}

bool TDataCursor::StepIndex(bool forward) {
  if (!IndexFiltered()) return StepIndexRaw(forward);
  const int32_t page = leaf_page_;
  const int pos = leaf_pos_;
  const IndexKey key = current_key_;
  const uint32_t record = current_record_;
  const int64_t logical = logical_;
  const bool bof = bof_, eof = eof_;
  const int64_t place = view_place_;
  while (StepIndexRaw(forward)) {
    bof_ = eof_ = false;
    if (visible_.Test(current_record_)) {
      if (view_place_ >= 0) view_place_ += forward ? 1 : -1;
      return true;
    }
  }
  // Nothing more of the view that way: stay where the step began.
  leaf_page_ = page;
  leaf_pos_ = pos;
  current_key_ = key;
  current_record_ = record;
  logical_ = logical;
  bof_ = bof;
  eof_ = eof;
  view_place_ = view_place_ < 0 ? -1 : place;
  return false;
}

bool TDataCursor::StepRecordOrder(bool forward) {
  uint32_t position = current_record_;
  if (forward && bof_) position = 0;
  if (!forward && eof_) position = visible_.BitCount() + 1;
  int64_t counter = 0;
  const TBitmapWalk walk =
      forward ? visible_.Next(position, 1, counter) : visible_.Prior(position, 1, counter);
  if (!walk.complete) return false;
  current_record_ = position;
  logical_ = visible_.Rank(position) + 1;
  return true;
}

bool TDataCursor::Step(bool forward) {
  const bool moved = record_order_ ? StepRecordOrder(forward) : StepIndex(forward);
  if (moved) {
    bof_ = eof_ = false;
    return true;
  }
  if (ViewCount() == 0) {
    ClearPosition();
    return false;
  }
  // Off the end: keep the last position, flag the side.
  if (forward) {
    eof_ = true;
    bof_ = false;
  } else {
    bof_ = true;
    eof_ = false;
  }
  return false;
}

void TDataCursor::GoFirst() {
  if (record_order_) {
    bof_ = true;
    eof_ = false;
    current_record_ = 0;
    Step(true);
    return;
  }
  if (ViewCount() == 0 || !PlaceAtRank(FirstPosition())) {
    ClearPosition();
    return;
  }
  if (IndexFiltered()) {
    if (!visible_.Test(current_record_) && !StepIndex(true)) {
      ClearPosition();
      return;
    }
    view_place_ = 1;
  }
}

void TDataCursor::GoLast() {
  if (record_order_) {
    bof_ = false;
    eof_ = true;
    Step(false);
    return;
  }
  if (ViewCount() == 0 || !PlaceAtRank(LastPosition())) {
    ClearPosition();
    return;
  }
  if (IndexFiltered()) {
    if (!visible_.Test(current_record_) && !StepIndex(false)) {
      ClearPosition();
      return;
    }
    view_place_ = filtered_count_;
  }
}

void TDataCursor::StandBeforeFirst() {
  if (bof_ && eof_) return;
  bof_ = true;
  eof_ = false;
  logical_ = 0;
}

void TDataCursor::StandAfterLast(int64_t last) {
  if (bof_ && eof_) return;
  eof_ = true;
  bof_ = false;
  logical_ = last + 1;
}

uint16_t TDataCursor::EdgeCode() const {
  if (bof_ && eof_) return VUZODE_NOCURRREC;
  if (bof_) return VUZODE_BOF;
  if (eof_) return VUZODE_EOF;
  return 0;
}

void TDataCursor::SetToBegin() {
  if (pending_) return PendingSetToBegin();
  Reading([&] {
    GoFirst();
    StandBeforeFirst();
  });
}

void TDataCursor::SetToEnd() {
  if (pending_) return PendingSetToEnd();
  Reading([&] {
    GoLast();
    if (!(bof_ && eof_)) StandAfterLast(record_order_ ? ViewCount() : LastPosition());
  });
}

uint32_t TDataCursor::RecordCount() {
  if (pending_) return pending_count_;
  return Reading([&] { return static_cast<uint32_t>(ViewCount()); });
}

uint32_t TDataCursor::RecordNumber() const {
  if (bof_ || eof_) return 0;
  if (record_order_) return static_cast<uint32_t>(logical_);
  if (IndexFiltered()) return static_cast<uint32_t>(ViewPlace());
  // Counted within the view: the range's first record is number 1.
  return static_cast<uint32_t>(logical_ - FirstPosition() + 1);
}

int64_t TDataCursor::ViewPlace() const {
  if (view_place_ >= 0) return view_place_;
  // Counted over the keys on the nearer side of the position.
  TIndexFile& index = table_->IndexFile();
  const int64_t first = FirstPosition() - 1;
  const int64_t last = range_active_ ? range_last_ : TBTree(index, slot_).Count();
  const int64_t here = logical_ - 1;
  try {
    if (here - first <= last - here) {
      view_place_ = CountMembers(index, slot_, first, here + 1, visible_);
    } else {
      view_place_ = filtered_count_ - CountMembers(index, slot_, here + 1, last, visible_);
    }
  } catch (const TViewChanged&) {
    // The index changed under the position: its place is not known until the next read
    // resynchronises.
    return 0;
  }
  return view_place_;
}

bool TDataCursor::SetToRecNo(uint32_t n) {
  if (pending_) return PendingSetToRecNo(n);
  return Reading([&] {
    bool on = false;
    const uint32_t count = ViewCount();
    if (n == 0) {
      GoFirst();
      if (!(bof_ && eof_)) {
        bof_ = true;
        logical_ = 0;
      }
    } else if (n > count) {
      GoLast();
      if (!(bof_ && eof_)) {
        eof_ = true;
        logical_ = record_order_ ? count + 1 : LastPosition() + 1;
      }
    } else if (record_order_) {
      uint32_t position = 0;
      int64_t counter = 0;
      visible_.Next(position, n, counter);
      current_record_ = position;
      logical_ = n;
      bof_ = eof_ = false;
      on = true;
    } else if (IndexFiltered()) {
      // The n-th record of the view, walked to from the nearer end.
      if (n - 1 <= count - n) {
        GoFirst();
        for (uint32_t i = 1; i < n && !(bof_ || eof_); ++i) StepIndex(true);
      } else {
        GoLast();
        for (uint32_t i = count; i > n && !(bof_ || eof_); --i) StepIndex(false);
      }
      on = !bof_ && !eof_;
      if (on) view_place_ = n;
    } else {
      // The n-th key of the view (n counted from the range's first key) through the subtree
      // counts of the branch pages.
      on = PlaceAtRank(FirstPosition() + n - 1);
    }
    if (on) LoadCurrentRecord();
    return on && RecordNumber() == n;
  });
}

bool TDataCursor::GetBookmark(uint8_t* bookmark) const {
  if (bof_ || eof_) return false;
  if (record_order_) {
    std::memcpy(bookmark, &current_record_, 4);
  } else {
    std::memcpy(bookmark, current_key_.data(), key_length_);
  }
  return true;
}

int TDataCursor::CompareBookmarks(const uint8_t* a, const uint8_t* b) const {
  if (record_order_) {
    uint32_t x = 0, y = 0;
    std::memcpy(&x, a, 4);
    std::memcpy(&y, b, 4);
    return (x > y) - (x < y);
  }
  return CompareKeys(*layout_, a, b, key_length_);
}

bool TDataCursor::SetToBookmark(const uint8_t* bookmark, bool exact) {
  // Exact or not, the answer is whether the record reached is the bookmark's: a deleted
  // record's bookmark must not read as found.
  (void)exact;
  return Reading([&] {
    if (record_order_) {
      uint32_t n = 0;
      std::memcpy(&n, bookmark, 4);
      const uint32_t highest = visible_.BitCount();
      n = std::clamp<uint32_t>(n, 1, std::max<uint32_t>(highest, 1));
      if (visible_.Test(n)) {
        current_record_ = n;
        logical_ = visible_.Rank(n) + 1;
        bof_ = eof_ = false;
      } else {
        // The nearest visible record after it, else the last.
        current_record_ = n;
        bof_ = false;
        eof_ = false;
        if (!Step(true)) Step(false);
      }
    } else {
      SeekKey(bookmark);
    }
    if (!bof_ && !eof_) LoadCurrentRecord();
    uint8_t here[kMaxKeyLength];
    return GetBookmark(here) && CompareBookmarks(here, bookmark) == 0 &&
           std::memcmp(here, bookmark, BookmarkSize()) == 0;
  });
}

uint16_t TDataCursor::SetToCursor(TDataCursor& other) {
  if (other.bof_ || other.eof_ || other.current_record_ == 0) return VUZODE_NOCURRREC;
  return Reading([&] {
    uint16_t code = 0;
    if (record_order_) {
      const uint32_t n = other.current_record_;
      if (visible_.Test(n)) {
        current_record_ = n;
        logical_ = visible_.Rank(n) + 1;
        bof_ = eof_ = false;
      } else {
        code = VUZODE_RECNOTFOUND;
      }
    } else {
      TRecord record = table_->DataFile().FetchRecord(other.current_record_);
      if (!record.Valid()) {
        code = VUZODE_RECNOTFOUND;
      } else {
        IndexKey key;
        BuildKey(record.Image().data(), key);
        table_->DataFile().Unpin(record);
        if (!SeekKey(key.data()) ||
            std::memcmp(current_key_.data(), key.data(), key_length_) != 0) {
          code = VUZODE_RECNOTFOUND;
        }
      }
    }
    if (code == 0) LoadCurrentRecord();
    return code;
  });
}
