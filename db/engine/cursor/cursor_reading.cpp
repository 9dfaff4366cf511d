// TDataCursor: the read bracket, synchronisation with the table's changes, index choice,
// reading records, searching keys and computed fields.
//
// Read bracket. Every read-type operation runs between BeginCursorRead and EndCursorRead. With
// strict change detection a cursor takes the table's read lock (which rereads changed
// headers) and resynchronises when the table changed; without it no lock is taken and the
// cursor resynchronises only when its snapshot of the change counters differs from the
// table's (this session's own changes, or others' found by a lock or a cache miss). Exclusive
// cursors that share their table with no clone, and cursors on read-only files, never
// resynchronise.
#include <algorithm>
#include <cstring>

#include "db/engine/cursor/cursor_environment.h"
#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/engine/session/table_file_names.h"
#include "db/sql/expressions/evaluate.h"
#include "db/sql/expressions/value_conversion.h"
#include "db/storage/index/btree.h"
#include "db/storage/index/compare_keys.h"
#include "db/storage/index/index_header.h"
#include "db/storage/le_codec.h"
#include "db/storage/names.h"

bool TDataCursor::SnapshotDiffers() const {
  if (!snapshot_taken_) return true;
  return snapshot_[0] != table_->DataFile().ChangeCount() ||
         snapshot_[1] != table_->IndexFile().Header().ChangeCount ||
         snapshot_[2] != (table_->HasBlobFile() ? table_->BlobFile().ChangeCount() : 0);
}

void TDataCursor::TakeSnapshot() {
  snapshot_[0] = table_->DataFile().ChangeCount();
  snapshot_[1] = table_->IndexFile().Header().ChangeCount;
  snapshot_[2] = table_->HasBlobFile() ? table_->BlobFile().ChangeCount() : 0;
  snapshot_taken_ = true;
}

void TDataCursor::BeginCursorRead(bool locked) {
  // Every bracketed operation that is not served from pending rows needs the table's records.
  MaterializePendingRows();
  if (read_depth_++ > 0) return;
  moved_past_gone_ = 0;
  if (files_read_only_) return;
  // A bracket that fails while it synchronises is left again, so the depth and the read lock
  // never outlive the failed operation.
  try {
    // An exclusive cursor needs no lock: only its own session changes the table, which the
    // checks below follow.
    const bool strict = (locked && !exclusive_) || directory_.Session().StrictChangeDetection();
    if (strict) {
      if (exclusive_) {
        if (view_stale_) Resynchronise();
        return;
      }
      const bool changed = table_->BeginRead();
      if (changed || view_stale_ || SnapshotDiffers()) Resynchronise();
      return;
    }
    if (exclusive_ && !shares_exclusive_ && table_->OpenCount() <= 1 && snapshot_taken_ &&
        !view_stale_) {
      return;
    }
    if (view_stale_ || SnapshotDiffers()) Resynchronise();
  } catch (...) {
    try {
      EndCursorRead();
    } catch (const EVUZODEEngineError&) {
      // The synchronisation's error is the one reported.
    }
    throw;
  }
}

void TDataCursor::EndCursorRead() {
  if (read_depth_ == 0 || --read_depth_ > 0) return;
  if (exclusive_ || files_read_only_ || table_ == nullptr) return;
  // Also a read lock a cache miss took for this operation.
  table_->EndRead();
}

void TDataCursor::Resynchronise() {
  uint8_t bookmark[kMaxKeyLength];
  const bool had = GetBookmark(bookmark);
  const bool wasBof = bof_;
  TMissLockScope missLock(*this);
  auto follow = [&] { ResynchroniseTo(had, bookmark, wasBof); };
  Restartable(follow, follow);
}

void TDataCursor::RaiseTreeUnsettled() const {
  table_->IndexFile().RaiseIndexCorrupt(slot_, "the tree changes under the read lock");
}

void TDataCursor::ResynchroniseTo(bool had, const uint8_t* bookmark, bool wasBof) {
  TakeSnapshot();
  view_stale_ = false;
  moved_past_gone_ = 0;
  LoadIndex(index_no_);
  // The range's bitmap in the view is built from the bounds.
  ComputeRangeBounds();
  RebuildView();
  if (!had) {
    if (wasBof) {
      GoFirst();
      if (!(bof_ && eof_)) {
        bof_ = true;
        logical_ = 0;
      }
    } else {
      GoLast();
      if (!(bof_ && eof_)) {
        eof_ = true;
        logical_ = ViewCount() + 1;
      }
    }
    return;
  }
  if (record_order_) {
    uint32_t n = 0;
    std::memcpy(&n, bookmark, 4);
    if (visible_.Test(n)) {
      current_record_ = n;
      logical_ = visible_.Rank(n) + 1;
      bof_ = eof_ = false;
    } else {
      current_record_ = n;
      bof_ = eof_ = false;
      moved_past_gone_ = Step(true) ? 1 : (Step(false) ? -1 : 0);
    }
    return;
  }
  if (SeekKey(bookmark) && std::memcmp(current_key_.data(), bookmark, key_length_) != 0) {
    moved_past_gone_ = 1;
  }
}

void TDataCursor::Refresh() {
  Reading([&] {
    Resynchronise();
    if (!bof_ && !eof_) LoadCurrentRecord();
  });
}

void TDataCursor::SetIndexName(std::string_view name) {
  if (!Opened()) Raise(VUZODE_NOCURRREC);
  TIndexFile& index = table_->IndexFile();
  const std::string wanted = TrimmedText(name);
  const auto same = SameNameIgnoringCase;
  if (!record_order_ && same(wanted, index_name_) && (index_no_ != 0 || wanted.empty())) return;
  int number = -1;
  if (wanted.empty()) {
    number = 0;
  } else {
    for (int slot = 1; slot <= index.Header().SecondaryIndexCount; ++slot) {
      if (same(wanted, TrimmedText(index.Descriptor(slot).Name))) number = slot;
    }
  }
  if (number < 0) Raise(VUZODE_INVALIDINDEXNAME, {}, wanted);
  SetIndexNumber(number);
}

void TDataCursor::SetIndexNumber(int number) {
  RequireTable();
  // Under the read lock whatever the strict setting: the new order is read afresh.
  if (!exclusive_ && !files_read_only_) table_->BeginRead();
  try {
    // Stay on the current record: its record number, from which the new key is built.
    const uint32_t record = (!bof_ && !eof_) ? current_record_ : 0;
    LoadIndex(number);
    // A change of index ends the range.
    range_active_ = false;
    RebuildView();
    TakeSnapshot();
    ClearPosition();
    if (record == 0) {
      GoFirst();
      if (!(bof_ && eof_)) {
        bof_ = true;
        logical_ = 0;
      }
    } else if (record_order_) {
      current_record_ = record;
      bof_ = eof_ = false;
      if (visible_.Test(record)) {
        logical_ = visible_.Rank(record) + 1;
      } else if (!Step(true)) {
        Step(false);
      }
    } else {
      TRecord r = table_->DataFile().FetchRecord(record);
      if (r.Valid()) {
        BuildKey(r.Image().data(), scratch_key_);
        table_->DataFile().Unpin(r);
        SeekKey(scratch_key_.data());
      } else {
        GoFirst();
      }
    }
  } catch (...) {
    if (!exclusive_ && !files_read_only_) table_->EndRead();
    throw;
  }
  if (!exclusive_ && !files_read_only_) table_->EndRead();
}

void TDataCursor::BuildKey(const uint8_t* record, IndexKey& key) const {
  if (slot_ == kRowIdIndex) {
    int32_t rowId = 0;
    std::memcpy(&rowId, record + kRowIdOffset, 4);
    EncodeDeletedKey(record[0], rowId, key);
    return;
  }
  EncodeKey(*layout_, TConstRecordImage(record, stored_size_), key);
}

void TDataCursor::LoadCurrentRecord() {
  TDataFile& data = table_->DataFile();
  for (int attempt = 0;; ++attempt) {
    // A miss reads ahead when the records come in file order (a scan in record order, or an
    // index whose order is the file's), so such a walk costs one read and one change check per
    // cache-full of records; records met in another order are read one at a time, since
    // reading ahead would only push out what the cache holds.
    const bool forward = current_record_ == last_loaded_ + 1;
    const bool backward = last_loaded_ != 0 && current_record_ + 1 == last_loaded_;
    TRecord record = data.FetchRecord(current_record_, !backward, forward || backward);
    last_loaded_ = current_record_;
    if (record.Valid()) {
      std::memcpy(record_buffer_.data(), record.Image().data(), stored_size_);
      data.Unpin(record);
      break;
    }
    // The table changed under a cache miss: follow it and read the record of the position.
    if (attempt > 8) Raise(VUZODE_RECNOTFOUND);
    Resynchronise();
    if (bof_ || eof_) return;
  }
  ComputeFields(record_buffer_.data());
}

void TDataCursor::PrefetchFollowingRecords() {
  // In index order the next records lie anywhere in the file, and each read would wait for
  // memory twice (the cache's slot, then the record). The leaf names them: the slot of the one
  // after next and the record of the next (its slot asked for one step earlier) are brought
  // into the processor's cache while this record is used.
  if (record_order_ || leaf_page_ == 0) return;
  const TBufferCache* cache = table_->DataFile().RecordCache();
  if (cache == nullptr) return;
  TPage* page = table_->IndexFile().FetchPage(slot_, leaf_page_);
  if (!page->IsLeaf()) return;
  const int count = page->Count();
  if (leaf_pos_ + 2 < count)
    cache->PrefetchSlot(static_cast<uint32_t>(page->Reference(leaf_pos_ + 2)));
  if (leaf_pos_ + 1 < count)
    cache->PrefetchUnit(static_cast<uint32_t>(page->Reference(leaf_pos_ + 1)));
}

void TDataCursor::CopyOut(uint8_t* buffer) const {
  if (buffer != nullptr) std::memcpy(buffer, record_buffer_.data(), record_size_);
}

void TDataCursor::ComputeFields(uint8_t* buffer) {
  if (computed_trees_.empty() || computing_) return;
  computing_ = true;
  try {
    for (size_t i = 0; i < fields_.size(); ++i) {
      const FieldDescriptor& f = fields_[i];
      if (!f.Computed || computed_trees_[i] == nullptr) continue;
      uint8_t* at = buffer + f.Offset;
      std::memset(at, 0, f.StoredLength + 1u);
      TExpToken* value = evaluator_->Evaluate(*computed_trees_[i], buffer);
      TExpToken converted;
      if (!value->IsNull &&
          ConvertValue(*value, converted, f.Type, f.SubType,
                       f.Type == kFieldString ? f.Size + 1 : f.Size, f.Scale) &&
          !converted.IsNull) {
        at[0] = 1;
        std::memcpy(at + 1, converted.Value(),
                    std::min<size_t>(f.StoredLength, static_cast<size_t>(converted.ValueSize())));
      }
      GlobalExpTokenStack().Return(value);
    }
  } catch (...) {
    computing_ = false;
    throw;
  }
  computing_ = false;
}

void TDataCursor::SetFieldDescriptors(std::vector<FieldDescriptor> fields,
                                      std::vector<TExpToken*> trees) {
  RequireTable();
  TDataFile& data = table_->DataFile();
  trees.resize(fields.size(), nullptr);
  uint32_t offset = data.RecordSize();
  bool anyComputed = false;
  for (size_t i = 0; i < fields.size(); ++i) {
    FieldDescriptor& f = fields[i];
    if (!f.Computed) {
      if (i >= data.FieldCount() ||
          data.Descriptor(static_cast<uint16_t>(i + 1)).Offset != f.Offset) {
        Raise(VUZODE_INVALIDFLDTYPE, f.Name);
      }
      continue;
    }
    if (trees[i] == nullptr || !IsValidFieldType(f.Type) || f.Type == kFieldBlob) {
      Raise(VUZODE_INVALIDFLDTYPE, f.Name);
    }
    f.StoredLength = static_cast<uint8_t>(StoredLengthOf(f.Type, f.Size));
    f.Offset = static_cast<uint16_t>(offset);
    offset += f.StoredLength + 1u;
    anyComputed = true;
  }
  if (offset > kMaxRecordSize) Raise(VUZODE_RECTOOBIG);
  fields_ = std::move(fields);
  computed_trees_ = anyComputed ? std::move(trees) : std::vector<TExpToken*>{};
  record_size_ = offset;
  record_buffer_.assign(record_size_, 0);
  environment_ = std::make_unique<TCursorEnvironment>(fields_);
  evaluator_ =
      std::make_unique<TExpEvaluator>(environment_.get(), static_cast<uint16_t>(data.SortId()),
                                      static_cast<uint16_t>(data.LanguageId()));
  if (!bof_ && !eof_) LoadCurrentRecord();
}

uint16_t TDataCursor::GetCurRecord(uint8_t* buffer, bool lock) {
  if (pending_ && !lock) return PendingCurRecord(buffer);
  return Reading([&] {
    uint16_t code = 0;
    if (lock && !bof_ && !eof_) {
      // The record as the caller read it must still be the record: lock, then compare.
      const bool pessimistic = directory_.Session().LockProtocol() == 0;
      const uint32_t n = current_record_;
      if (pessimistic) LockRecord(n);
      LoadCurrentRecord();
      if (!exclusive_ && buffer != nullptr && !SameRecord(buffer, record_buffer_.data(), 0)) {
        if (pessimistic) UnlockCurrentRecord(n);
        Raise(VUZODE_KEYORRECDELETED);
      }
    }
    code = EdgeCode();
    if (code == 0) {
      LoadCurrentRecord();
      if (bof_ || eof_) code = eof_ ? VUZODE_EOF : VUZODE_BOF;
    }
    if (code != 0) {
      if (buffer != nullptr) std::memset(buffer, 0, record_size_);
    } else {
      CopyOut(buffer);
    }
    return code;
  });
}

uint16_t TDataCursor::GetNextRecord(uint8_t* buffer) {
  return MoveAndRead(true, buffer);
}

uint16_t TDataCursor::GetPriorRecord(uint8_t* buffer) {
  return MoveAndRead(false, buffer);
}

uint16_t TDataCursor::MoveAndRead(bool forward, uint8_t* buffer) {
  if (pending_) return PendingMoveAndRead(forward, buffer);
  return Reading([&] {
    uint16_t code = 0;
    // From before the first (after the last) record the move is onto the first (last).
    const bool fromOtherEnd = forward ? bof_ : eof_;
    bool on;
    if (bof_ && eof_) {
      on = false;
    } else if (fromOtherEnd) {
      forward ? GoFirst() : GoLast();
      on = !bof_ && !eof_;
      if (!on) (forward ? eof_ : bof_) = true;
    } else if (moved_past_gone_ == (forward ? 1 : -1)) {
      // The record was gone and the resynchronisation stopped on its neighbour this way.
      on = true;
    } else {
      on = Step(forward);
    }
    moved_past_gone_ = 0;
    if (on) {
      LoadCurrentRecord();
      if (forward && !eof_) PrefetchFollowingRecords();
    }
    if (!on || (forward ? eof_ : bof_)) {
      code = forward ? VUZODE_EOF : VUZODE_BOF;
      if (buffer != nullptr) std::memset(buffer, 0, record_size_);
    } else {
      CopyOut(buffer);
    }
    return code;
  });
}

uint16_t TDataCursor::ReadRecordBlock(uint32_t& count, uint8_t* buffer) {
  if (pending_) return PendingReadBlock(count, buffer);
  // Under the read lock: a block half read could not be read again from its start.
  TCursorReadScope bracket(*this, true);
  uint32_t read = 0;
  uint16_t code = 0;
  {
    for (; read < count; ++read) {
      code = GetNextRecord(buffer + static_cast<size_t>(read) * record_size_);
      if (code != 0) break;
    }
  }
  count = read;
  return code;
}

bool TDataCursor::FindKey(const uint8_t* keyOrRecord, bool keyGiven, uint8_t* output,
                          uint16_t partialLength, bool nearest, uint16_t fieldCount) {
  if (record_order_) return false;
  // Exact or nearest, the cursor ends on the first key at or after the search key; the answer
  // says whether that key matches over the compared length.
  (void)nearest;
  return Reading([&] {
    bool found = false;
    IndexKey key(key_length_);
    if (keyGiven) {
      std::memcpy(key.data(), keyOrRecord, key_length_);
    } else {
      BuildKey(keyOrRecord, key);
    }
    const TKeyLayout& layout = *layout_;
    const size_t keyFields = layout.Fields.size();
    const bool partial = (fieldCount >= 1 && fieldCount < keyFields) || !layout.Unique ||
                         (fieldCount == 0 && partialLength > 0);
    if (partial && !layout.Fields.empty()) {
      size_t count = std::min<size_t>(fieldCount, keyFields);
      if (count == 0 && partialLength == 0) count = keyFields;
      // The compare length counts each whole field by its length in the key and its indicator
      // byte, then the field after them by its indicator and the characters asked for.
      size_t compare = 0;
      if (count > 0) {
        const TKeyField& last = layout.Fields[count - 1];
        compare = last.KeyOffset + 1u + last.KeyLength;
      }
      if (partialLength > 0 && count < keyFields) {
        compare += 1u + std::min<size_t>(partialLength, layout.Fields[count].KeyLength);
      }
      // Filler after the compared bytes: the lowest key with that prefix, in the index's
      // order. Byte-wise keys have their descending fields inverted already; otherwise a
      // field compared in reverse (descending index or field) takes high filler.
      const bool descending = layout.Descending;
      std::memset(key.data() + compare, descending ? 0xFF : 0x00, key_length_ - compare);
      if (!layout.Bytewise) {
        for (const TKeyField& f : layout.Fields) {
          const size_t end = f.KeyOffset + 1u + f.KeyLength;
          if (end <= compare || !(descending || f.Descending)) continue;
          const size_t from = std::max<size_t>(compare, f.KeyOffset);
          std::memset(key.data() + from, 0xFF, end - from);
        }
      }
      const bool onKey = SeekKey(key.data());
      found = onKey && CompareKeys(layout, current_key_.data(), key.data(), compare) == 0;
    } else {
      const bool onKey = SeekKey(key.data());
      found = onKey && std::memcmp(current_key_.data(), key.data(), key_length_) == 0;
    }
    // Past the last key: onto the last record.
    if (eof_ && !bof_) {
      eof_ = false;
    }
    if (!bof_ && !eof_) {
      LoadCurrentRecord();
      CopyOut(output);
    }
    return found;
  });
}

void TDataCursor::BeginQueryRead() {
  MaterializePendingRows();
  if (exclusive_ || files_read_only_ || !Opened()) return;
  uint8_t bookmark[kMaxKeyLength];
  const bool had = GetBookmark(bookmark);
  const bool changed = table_->BeginQueryRead();
  if (changed || SnapshotDiffers()) {
    Resynchronise();
    if (had) SetToBookmark(bookmark, false);
  }
}

void TDataCursor::EndQueryRead() {
  if (exclusive_ || files_read_only_ || !Opened()) return;
  table_->EndQueryRead();
}
