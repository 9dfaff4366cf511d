// TDataCursor: appending, modifying and deleting records, record locks for edits, and the
// validity checks of fields.
//
// Every change runs in a TChange: the table's write lock (none for exclusive cursors), a
// journal of the keys it inserts and deletes, and buffers held in the caches until the change
// is recorded. Invariants:
//   (1) Everything that can fail on the caller's record (read-only, validity, the changed
//       record, unique keys) is checked before the first key changes.
//   (2) A change that fails before it is written through leaves the table as it was: when the
//       caches held nothing unwritten at its start (a shared cursor outside a transaction) they
//       are dropped and the headers reread; otherwise its keys are taken back in reverse order
//       from the journal and its record restored.
//   (3) Recording a change writes the table's buffers through exactly when the cursor is not
//       exclusive and the table not in a transaction (TDataTable::FlushBuffers, the one write
//       path); otherwise only the change counters advance in memory.
#include <algorithm>
#include <cstring>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/sql/expressions/value_conversion.h"
#include "db/storage/index/btree.h"
#include "db/storage/index/compare_keys.h"
#include "db/storage/index/index_header.h"
#include "db/storage/le_codec.h"

// The scope of one record change (see above).
class TDataCursor::TChange {
 public:
  explicit TChange(TDataCursor& cursor)
      : c_(cursor), table_(*cursor.table_), journal_(cursor.key_journal_) {
    journal_.Clear();
    clean_ = !c_.exclusive_ && !table_.InTransaction();
    const bool locks = !c_.exclusive_ && !c_.files_read_only_;
    if (locks) {
      // Inside a transaction the change stays in the caches until the commit: readers need
      // not wait for it.
      const bool changed = table_.BeginWrite(false);
      locked_ = true;
      if (changed || c_.SnapshotDiffers()) c_.Resynchronise();
    } else if (c_.SnapshotDiffers()) {
      c_.Resynchronise();
    }
    table_.SetChangeInProgress(true);
    table_.IndexFile().SetKeyJournal(&journal_);
  }
  ~TChange() {
    table_.IndexFile().SetKeyJournal(nullptr);
    table_.SetChangeInProgress(false);
    if (locked_) {
      try {
        table_.EndWrite();
      } catch (const EVUZODEEngineError&) {
        // Released during unwinding of an earlier error, which is the one reported.
      }
    }
  }
  TChange(const TChange&) = delete;
  TChange& operator=(const TChange&) = delete;

  // Takes back what the change did (2); restore puts the record's old image back.
  template <typename TRestore>
  void Undo(TRestore&& restore) {
    table_.IndexFile().SetKeyJournal(nullptr);
    if (clean_) {
      table_.DiscardBuffers(false, true);
      return;
    }
    for (size_t i = journal_.Size(); i-- > 0;) {
      const TKeyJournal::TEntry& k = journal_[i];
      TBTree tree(table_.IndexFile(), k.Slot);
      if (k.Inserted) {
        tree.DeleteKey(journal_.KeyOf(k));
      } else {
        tree.InsertKey(journal_.KeyOf(k), k.Record);
      }
    }
    restore();
  }

  // The change is complete: keys need no taking back.
  void Done() { journal_.Clear(); }
  bool KeysChanged() const { return !journal_.Empty(); }

 private:
  TDataCursor& c_;
  TDataTable& table_;
  bool clean_ = false;
  bool locked_ = false;
  // The cursor's, kept from change to change so that recording keys allocates nothing.
  TKeyJournal& journal_;
};

namespace {

TRecord FetchPinned(TDataFile& data, uint32_t n) {
  for (int attempt = 0;; ++attempt) {
    TRecord record = data.FetchRecord(n);
    if (record.Valid() || attempt > 8) return record;
  }
}

// Compares the literal text of a minimum or maximum with a field's value in record: -1, 0, 1,
// or 2 when either has no value of the field's type.
int CompareWithLiteral(const FieldDescriptor& f, const uint8_t* record, const std::string& text) {
  TExpToken literal;
  literal.SetString(text);
  TExpToken bound;
  if (!ConvertValue(literal, bound, f.Type, f.SubType, f.Type == kFieldString ? f.Size + 1 : f.Size,
                    f.Scale) ||
      bound.IsNull) {
    return 2;
  }
  const uint8_t* value = record + f.Offset + 1;
  TNumber a, b;
  TExpToken field;
  field.ValueType = f.Type;
  field.SubType = f.SubType;
  field.Scale = f.Scale;
  if (f.Type == kFieldString) {
    const std::string_view v(reinterpret_cast<const char*>(value),
                             strnlen(reinterpret_cast<const char*>(value), f.StoredLength));
    const std::string_view w = bound.StringValue();
    return (v > w) - (v < w);
  }
  field.SetValueSize(f.StoredLength);
  std::memcpy(field.Value(), value, f.StoredLength);
  if (!NumberOf(field, a) || !NumberOf(bound, b)) return 2;
  const double x = NumberAsDouble(a);
  const double y = NumberAsDouble(b);
  return (x > y) - (x < y);
}

}  // namespace

void TDataCursor::CheckValidity(const uint8_t* record) {
  if (!has_validity_checks_) return;
  for (const FieldDescriptor& f : table_->DataFile().Descriptors()) {
    if (f.IsAutoIncrement()) continue;
    const bool null = record[f.Offset] == 0;
    if (f.Required && null) Raise(VUZODE_REQDERR, f.Name);
    if (null || f.Type == kFieldBlob) continue;
    if (!f.MinValue.empty()) {
      const int c = CompareWithLiteral(f, record, f.MinValue);
      if (c == -1) Raise(VUZODE_MINVALERR, f.Name);
    }
    if (!f.MaxValue.empty()) {
      const int c = CompareWithLiteral(f, record, f.MaxValue);
      if (c == 1) Raise(VUZODE_MAXVALERR, f.Name);
    }
  }
}

TDataCursor::TKeySlots TDataCursor::KeySlots() const {
  TKeySlots slots;
  TIndexFile& index = table_->IndexFile();
  if (!index.NoPrimaryIndex() && index.Descriptor(kPrimarySlot).KeyLength != 0) {
    slots.Slots[slots.Count++] = kPrimarySlot;
  }
  // The header's count was checked against the limit when the file was read.
  const int secondary = std::min<int>(index.Header().SecondaryIndexCount, kMaxSecondaryIndexes);
  for (int slot = 1; slot <= secondary; ++slot) slots.Slots[slots.Count++] = slot;
  return slots;
}

void TDataCursor::CheckUniqueKeys(const uint8_t* record, const uint8_t* old, bool rowIdToo) {
  if (result_cursor_ && !live_result_) return;
  TIndexFile& index = table_->IndexFile();
  IndexKey key, oldKey;
  const TConstRecordImage image(record, stored_size_);
  for (int slot : KeySlots()) {
    TBTree tree(index, slot);
    if (!tree.Layout().Unique) continue;
    EncodeKey(tree.Layout(), image, key);
    if (old != nullptr) {
      EncodeKey(tree.Layout(), TConstRecordImage(old, stored_size_), oldKey);
      if (std::memcmp(key.data(), oldKey.data(), tree.KeyLength()) == 0) continue;
    }
    int32_t found = 0;
    if (tree.Lookup(key.data(), found)) {
      RaiseEngineError(VUZODE_KEYVIOL, {}, {}, directory_.ErrorDatabaseText(), table_name_, {},
                       index.Descriptor(slot).Name);
    }
  }
  if (rowIdToo) {
    const int32_t rowId = GetI32(record + kRowIdOffset);
    if (old == nullptr || GetI32(old + kRowIdOffset) != rowId) {
      EncodeDeletedKey(0, rowId, key);
      int32_t found = 0;
      if (TBTree(index, kDeletedSlot).Lookup(key.data(), found)) {
        RaiseEngineError(VUZODE_KEYVIOL, {}, {}, directory_.ErrorDatabaseText(), table_name_, {},
                         "Sys Deleted");
      }
    }
  }
}

void TDataCursor::RecordChange() {
  table_->DataFile().MarkHeaderChanged();
  table_->IndexFile().MarkHeaderChanged();
  if (!exclusive_ && !table_->InTransaction()) {
    // The buffers leave the caches now: no longer held for the change.
    table_->SetChangeInProgress(false);
    table_->FlushBuffers();
  }
  TakeSnapshot();
}

void TDataCursor::PositionAfterChange(uint32_t record, const uint8_t* image, bool reposition) {
  if (!reposition) {
    // The cursor stays where it was, but its view must take the change: the next read
    // rebuilds it (a run of changes without reads rebuilds it once).
    view_stale_ = true;
    return;
  }
  try {
    TMissLockScope missLock(*this);
    Restartable(
        [&] {
          if (view_stale_) Resynchronise();
          PlaceAfterChange(record, image);
        },
        [&] {
          // Another session changed the table since this change: the view is built again from
          // the files, which hold this change too, and the cursor goes onto the record.
          Resynchronise();
          PlaceOnChangedRecord(record, image);
        });
  } catch (const EVUZODEEngineError&) {
    // The change itself is complete and recorded; only finding the record again failed (a
    // read error). The cursor forgets its position and resynchronises at its next read, which
    // meets the error again if it lasts.
    ClearPosition();
    snapshot_taken_ = false;
  }
}

void TDataCursor::PlaceAfterChange(uint32_t record, const uint8_t* image) {
  ComputeRangeBounds();
  NoteRecordChanged(record, image);
  PlaceOnChangedRecord(record, image);
}

void TDataCursor::PlaceOnChangedRecord(uint32_t record, const uint8_t* image) {
  if (record_order_) {
    // The view upkeep decided whether the record is in the view (its filters may reject it):
    // on it when it is, else on its nearest neighbour, as after a delete.
    current_record_ = record;
    bof_ = eof_ = false;
    if (record < visible_.BitCount() && visible_.Test(record)) {
      logical_ = visible_.Rank(record) + 1;
    } else if (!Step(true)) {
      Step(false);
    }
  } else {
    BuildKey(image, scratch_key_);
    IndexKey key = scratch_key_;
    SeekKey(key.data());
  }
  if (!bof_ && !eof_) LoadCurrentRecord();
}

void TDataCursor::LockRecord(uint32_t n) {
  RequireTable();
  if (exclusive_ || files_read_only_) return;
  if (n == 0) n = current_record_;
  if (n == 0) Raise(VUZODE_NOCURRREC);
  TDataTable& table = *table_;
  TRecordsBitmap& mine = table.CursorLockedRecords();
  if (n < mine.BitCount() && mine.Test(n)) Raise(VUZODE_RECLOCKFAILED);
  const bool changed = table.LockRecord(n);
  if (mine.BitCount() <= n) mine.SetSize(n + 1);
  mine.Set(n);
  locked_record_ = n;
  if (!changed && !SnapshotDiffers()) return;
  try {
    Resynchronise();
  } catch (...) {
    // The lock is held or not at all: a failed look at the changed table gives it back.
    try {
      UnlockCurrentRecord(n);
    } catch (const EVUZODEEngineError&) {
      // The look's own error is the one reported.
    }
    throw;
  }
}

bool TDataCursor::NeedsRecordLock(uint32_t n) const {
  if (exclusive_ || files_read_only_) return false;
  const TRecordsBitmap& mine = table_->CursorLockedRecords();
  if (n >= mine.BitCount() || !mine.Test(n)) return true;
  // Held by this session: by this cursor for its edit, else by another of its cursors.
  if (locked_record_ != n) Raise(VUZODE_RECLOCKFAILED);
  return false;
}

void TDataCursor::UnlockCurrentRecord(uint32_t n) {
  if (!Opened() || exclusive_ || files_read_only_) return;
  if (n == 0) n = locked_record_ != 0 ? locked_record_ : current_record_;
  if (n == 0) return;
  TRecordsBitmap& mine = table_->CursorLockedRecords();
  if (n < mine.BitCount()) mine.Clear(n);
  if (locked_record_ == n) locked_record_ = 0;
  table_->UnlockRecord(n);
}

void TDataCursor::CancelRecord() {
  if (directory_.Session().LockProtocol() == 1) {
    record_changed_mark_ = false;
    return;
  }
  if (locked_record_ != 0) UnlockCurrentRecord(0);
}

void TDataCursor::AppendRecord(const uint8_t* record, bool reposition) {
  RequireTable();
  if (read_only_) Raise(VUZODE_OSEACCES);
  CheckValidity(record);
  TDataFile& data = table_->DataFile();
  TIndexFile& index = table_->IndexFile();
  // The cursor's scratch image: an append allocates nothing once it has the record's size.
  std::vector<uint8_t>& image = append_image_;
  image.assign(record, record + stored_size_);
  uint32_t n = 0;
  bool unlock = false;
  {
    TChange change(*this);
    const bool suppress = SuppressAutoInc();
    const int32_t rowId = suppress ? GetI32(image.data() + kRowIdOffset) : data.LastRowId() + 1;
    PutI32(image.data() + kRowIdOffset, rowId);
    CheckUniqueKeys(image.data(), nullptr, suppress);
    // The slot the record takes: a deleted record's (whose row-id key it replaces) or a new one.
    const uint32_t head = static_cast<uint32_t>(data.FirstFreeRecord());
    int32_t oldRowId = 0;
    const bool reuse = head != 0;
    if (reuse) {
      TRecord old = FetchPinned(data, head);
      if (!old.Valid()) Raise(VUZODE_RECNOTFOUND);
      oldRowId = old.RowId();
      data.Unpin(old);
    }
    TRecord slot = data.AllocateRecord();
    if (!slot.Valid()) Raise(VUZODE_RECNOTFOUND);
    n = slot.Number();
    const bool newSlot = !reuse || n != head;
    try {
      // A new slot past the end is unseen by others until the change is written, and inside
      // a transaction no one else can write before the commit: its lock would only cost a lock
      // call and a held range per appended record.
      if (!exclusive_ && !files_read_only_ && !(newSlot && table_->TransactionLockHeld())) {
        table_->LockRecord(n);
        unlock = true;
      }
      if (suppress) {
        data.NoteSuppliedRowId(rowId);
      } else {
        data.NextRowId();
      }
      image[0] = 0;
      PutU32(image.data() + 1, n);
      IndexKey key;
      const TConstRecordImage view(image.data(), image.size());
      for (int s : KeySlots()) {
        TBTree tree(index, s);
        EncodeKey(tree.Layout(), view, key);
        tree.InsertKey(key.data(), static_cast<int32_t>(n));
      }
      TBTree rows(index, kDeletedSlot);
      if (!newSlot) {
        EncodeDeletedKey(1, oldRowId, key);
        rows.DeleteKey(key.data());
      }
      EncodeDeletedKey(0, rowId, key);
      rows.InsertKey(key.data(), static_cast<int32_t>(n));
      AddTextWords(image.data());
      SaveRecordBlobs(image.data(), false);
      slot.CopyFields(std::span<const uint8_t>(image.data(), image.size()));
      slot.SetRowId(rowId);
      index.IncrementActiveRecordCount();
      data.Unpin(slot);
    } catch (...) {
      change.Undo([&] {
        // The slot goes back to the deleted records, with the row-id key it had.
        slot.SetRowId(newSlot ? rowId : oldRowId);
        data.FreeRecord(slot);
        data.Unpin(slot);
        if (newSlot) {
          IndexKey key;
          EncodeDeletedKey(1, rowId, key);
          TBTree(index, kDeletedSlot).InsertKey(key.data(), static_cast<int32_t>(n));
        }
      });
      if (unlock) table_->UnlockRecord(n);
      throw;
    }
    change.Done();
    RecordChange();
    // The new record's lock goes before the write lock: the next writer may take the slot.
    if (unlock) table_->UnlockRecord(n);
    unlock = false;
  }
  PositionAfterChange(n, image.data(), reposition);
}

bool TDataCursor::ReadRecordAt(uint32_t n, int32_t rowId, uint8_t* buffer) {
  RequireTable();
  if (!exclusive_ && !table_->TransactionLockHeld()) return false;
  TDataFile& data = table_->DataFile();
  if (n == 0 || n > data.RecordCount()) return false;
  TRecord record = FetchPinned(data, n);
  if (!record.Valid()) return false;
  const bool match = !record.Deleted() && record.RowId() == rowId;
  if (match) std::memcpy(buffer, record.Image().data(), stored_size_);
  data.Unpin(record);
  if (match) ComputeFields(buffer);
  return match;
}

void TDataCursor::PrefetchRecordAt(uint32_t n) const {
  if (const TBufferCache* cache = table_ ? table_->DataFile().RecordCache() : nullptr)
    cache->PrefetchUnit(n);
}

void TDataCursor::ModifyRecord(const uint8_t* record, bool unlock, bool reposition) {
  ModifyRecordNumber(0, record, unlock, reposition);
}

void TDataCursor::ModifyRecordAt(uint32_t n, const uint8_t* record) {
  if (n == 0) Raise(VUZODE_NOCURRREC);
  ModifyRecordNumber(n, record, true, false);
}

void TDataCursor::ModifyRecordNumber(uint32_t given, const uint8_t* record, bool unlock,
                                     bool reposition) {
  RequireTable();
  if (read_only_) Raise(VUZODE_OSEACCES);
  CheckValidity(record);
  const bool optimistic = directory_.Session().LockProtocol() == 1;
  // The record as the cursor read it, which only the optimistic protocol compares; a record
  // given by number was read by the caller while no one else could write it.
  std::vector<uint8_t>& kept = kept_image_;
  const bool compare = optimistic && given == 0;
  if (compare) kept.assign(record_buffer_.begin(), record_buffer_.begin() + stored_size_);
  TDataFile& data = table_->DataFile();
  TIndexFile& index = table_->IndexFile();
  std::vector<uint8_t>& image = change_image_;
  image.assign(record, record + stored_size_);
  std::vector<uint8_t>& old = old_image_;
  uint32_t n = 0;
  bool lockedHere = false;
  try {
    TChange change(*this);
    if (given == 0 && (bof_ || eof_ || current_record_ == 0)) Raise(VUZODE_NOCURRREC);
    n = given != 0 ? given : current_record_;
    TRecord current = FetchPinned(data, n);
    if (!current.Valid() || current.Deleted()) {
      if (current.Valid()) data.Unpin(current);
      Raise(VUZODE_KEYORRECDELETED);
    }
    old.assign(current.Image().begin(), current.Image().end());
    data.Unpin(current);
    if (optimistic && !exclusive_) {
      if (compare &&
          (record_changed_mark_ || std::memcmp(old.data(), kept.data(), stored_size_) != 0)) {
        record_changed_mark_ = true;
        Raise(VUZODE_KEYORRECDELETED);
      }
      LockRecord(n);
      lockedHere = true;
    }
    const bool suppress = SuppressAutoInc();
    if (!suppress) PutI32(image.data() + kRowIdOffset, GetI32(old.data() + kRowIdOffset));
    image[0] = 0;
    PutU32(image.data() + 1, n);
    CheckUniqueKeys(image.data(), old.data(), suppress);
    try {
      if (suppress) data.NoteSuppliedRowId(GetI32(image.data() + kRowIdOffset));
      IndexKey before, after;
      for (int s : KeySlots()) {
        TBTree tree(index, s);
        EncodeKey(tree.Layout(), TConstRecordImage(old.data(), old.size()), before);
        EncodeKey(tree.Layout(), TConstRecordImage(image.data(), image.size()), after);
        if (std::memcmp(before.data(), after.data(), tree.KeyLength()) == 0) continue;
        tree.DeleteKey(before.data());
        tree.InsertKey(after.data(), static_cast<int32_t>(n));
      }
      const int32_t oldRow = GetI32(old.data() + kRowIdOffset);
      const int32_t newRow = GetI32(image.data() + kRowIdOffset);
      if (oldRow != newRow) {
        TBTree rows(index, kDeletedSlot);
        EncodeDeletedKey(0, oldRow, before);
        rows.DeleteKey(before.data());
        EncodeDeletedKey(0, newRow, after);
        rows.InsertKey(after.data(), static_cast<int32_t>(n));
      }
      ReplaceTextWords(old.data(), image.data());
      SaveRecordBlobs(image.data(), false);
      TRecord target = FetchPinned(data, n);
      if (!target.Valid()) Raise(VUZODE_RECNOTFOUND);
      target.CopyFields(std::span<const uint8_t>(image.data(), image.size()));
      target.SetRowId(newRow);
      data.Unpin(target);
    } catch (...) {
      change.Undo([&] {
        TRecord target = FetchPinned(data, n);
        if (!target.Valid()) return;
        target.CopyFields(std::span<const uint8_t>(old.data(), old.size()));
        target.SetRowId(GetI32(old.data() + kRowIdOffset));
        data.Unpin(target);
      });
      throw;
    }
    change.Done();
    RecordChange();
  } catch (...) {
    if (lockedHere) UnlockCurrentRecord(n);
    if (reposition && n != 0 && Opened()) {
      try {
        Resynchronise();
      } catch (const EVUZODEEngineError&) {
        // The change's own error is reported.
      }
    }
    throw;
  }
  PositionAfterChange(n, image.data(), reposition);
  if (optimistic || unlock) {
    if (locked_record_ == n) UnlockCurrentRecord(n);
  }
}

void TDataCursor::DeleteRecord(const uint8_t* record, bool reposition) {
  DeleteRecordNumber(0, record, reposition);
}

void TDataCursor::DeleteRecordAt(uint32_t n) {
  if (n == 0) Raise(VUZODE_NOCURRREC);
  DeleteRecordNumber(n, nullptr, false);
}

void TDataCursor::DeleteRecordsAt(std::span<const uint32_t> numbers) {
  RequireTable();
  if (read_only_) Raise(VUZODE_OSEACCES);
  {
    std::vector<uint32_t> sorted(numbers.begin(), numbers.end());
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end() ||
        (!sorted.empty() && sorted.front() == 0)) {
      Raise(VUZODE_OUTOFRANGE);
    }
  }
  // BLOB values are cleared record by record.
  if (numbers.size() < 2 || table_->HasBlobFile()) {
    for (uint32_t n : numbers) DeleteRecordAt(n);
    return;
  }
  TDataFile& data = table_->DataFile();
  TIndexFile& index = table_->IndexFile();
  const bool locks = !exclusive_ && !files_read_only_;
  std::vector<uint32_t> lockedHere;
  std::vector<TRecord> pinned;
  auto release = [&] {
    for (TRecord& record : pinned) data.Unpin(record);
    pinned.clear();
  };
  auto unlock = [&] {
    for (uint32_t n : lockedHere) UnlockCurrentRecord(n);
    lockedHere.clear();
  };
  {
    TChange change(*this);
    try {
      if (locks) table_->ExpectRecordLocks(static_cast<uint32_t>(numbers.size()));
      for (uint32_t n : numbers) {
        if (!NeedsRecordLock(n)) continue;
        LockRecord(n);
        lockedHere.push_back(n);
      }
      // Every record stays pinned to the end: once keys go, nothing is left to read.
      pinned.reserve(numbers.size());
      for (uint32_t n : numbers) {
        TRecord record = FetchPinned(data, n);
        if (!record.Valid()) Raise(VUZODE_RECNOTFOUND);
        pinned.push_back(record);
        if (record.Deleted()) Raise(VUZODE_KEYORRECDELETED);
      }
      // Each index loses the batch's keys in its own order.
      const size_t count = numbers.size();
      std::vector<uint8_t> keys, sorted;
      std::vector<uint32_t> order(count);
      auto removeKeys = [&](TBTree& tree, auto&& encode) {
        const uint16_t kl = tree.KeyLength();
        keys.resize(count * kl);
        IndexKey key;
        for (size_t r = 0; r < count; ++r) {
          encode(pinned[r], key);
          std::memcpy(keys.data() + r * kl, key.data(), kl);
        }
        for (size_t r = 0; r < count; ++r) order[r] = static_cast<uint32_t>(r);
        const TKeyLayout& layout = tree.Layout();
        auto before = [&](uint32_t a, uint32_t b) {
          return CompareKeys(layout, keys.data() + a * kl, keys.data() + b * kl, kl) < 0;
        };
        // Records taken in the index's order (the row ids of a statement's walk) need no sort.
        if (std::is_sorted(order.begin(), order.end(), before)) {
          tree.DeleteKeys(keys.data(), count);
          return;
        }
        std::sort(order.begin(), order.end(), before);
        sorted.resize(keys.size());
        for (size_t r = 0; r < count; ++r)
          std::memcpy(sorted.data() + r * kl, keys.data() + order[r] * kl, kl);
        tree.DeleteKeys(sorted.data(), count);
      };
      for (int s : KeySlots()) {
        TBTree tree(index, s);
        removeKeys(tree, [&](const TRecord& record, IndexKey& key) {
          EncodeKey(tree.Layout(), record.Image(), key);
        });
      }
      TBTree rows(index, kDeletedSlot);
      removeKeys(rows, [&](const TRecord& record, IndexKey& key) {
        EncodeDeletedKey(0, record.RowId(), key);
      });
      // The deleted records' row-id keys, in row-id order.
      IndexKey key;
      for (uint32_t r : order) {
        EncodeDeletedKey(1, pinned[r].RowId(), key);
        rows.InsertKey(key.data(), static_cast<int32_t>(pinned[r].Number()));
      }
      for (const TRecord& record : pinned) RemoveTextWords(record.Image().data());
    } catch (...) {
      // Only keys have changed. The records are let go first: taking the change back may drop
      // the caches.
      release();
      change.Undo([] {});
      unlock();
      throw;
    }
    // Nothing below reads or fails: the records are in the cache, pinned.
    for (TRecord& record : pinned) {
      data.FreeRecord(record);
      index.DecrementActiveRecordCount();
    }
    release();
    change.Done();
    // A write-through that fails drops the change: the locks go either way.
    try {
      RecordChange();
    } catch (...) {
      unlock();
      throw;
    }
    unlock();
    // As a single delete, a deleted record the cursor had locked before loses its lock too.
    if (std::find(numbers.begin(), numbers.end(), locked_record_) != numbers.end())
      UnlockCurrentRecord(locked_record_);
  }
  // As after changes without repositioning.
  view_stale_ = true;
}

void TDataCursor::DeleteRecordNumber(uint32_t given, const uint8_t* record, bool reposition) {
  RequireTable();
  if (read_only_) Raise(VUZODE_OSEACCES);
  TDataFile& data = table_->DataFile();
  TIndexFile& index = table_->IndexFile();
  uint32_t n = 0;
  bool lockedHere = false;
  IndexKey here;
  {
    TChange change(*this);
    if (given == 0 && (bof_ || eof_ || current_record_ == 0)) Raise(VUZODE_NOCURRREC);
    n = given != 0 ? given : current_record_;
    here = current_key_;
    TRecord current = FetchPinned(data, n);
    if (!current.Valid() || current.Deleted()) {
      if (current.Valid()) data.Unpin(current);
      Raise(VUZODE_KEYORRECDELETED);
    }
    std::vector<uint8_t>& image = change_image_;
    image.assign(current.Image().begin(), current.Image().end());
    data.Unpin(current);
    if (NeedsRecordLock(n)) {
      if (record != nullptr && !SameRecord(record, image.data(), kRecordHeaderSize)) {
        Raise(VUZODE_KEYORRECDELETED);
      }
      LockRecord(n);
      lockedHere = true;
    }
    std::vector<uint8_t>& old = old_image_;
    old.assign(image.begin(), image.end());
    try {
      if (table_->HasBlobFile()) FreeAllBlobs(true);
      IndexKey key;
      for (int s : KeySlots()) {
        TBTree tree(index, s);
        EncodeKey(tree.Layout(), TConstRecordImage(image.data(), image.size()), key);
        tree.DeleteKey(key.data());
      }
      const int32_t rowId = GetI32(image.data() + kRowIdOffset);
      TBTree rows(index, kDeletedSlot);
      EncodeDeletedKey(0, rowId, key);
      rows.DeleteKey(key.data());
      EncodeDeletedKey(1, rowId, key);
      rows.InsertKey(key.data(), static_cast<int32_t>(n));
      if (table_->HasBlobFile()) ClearRecordBlobs(image.data());
      RemoveTextWords(image.data());
      if (table_->HasBlobFile()) SaveRecordBlobs(image.data(), true);
      TRecord target = FetchPinned(data, n);
      if (!target.Valid()) Raise(VUZODE_RECNOTFOUND);
      target.CopyFields(std::span<const uint8_t>(image.data(), image.size()));
      data.FreeRecord(target);
      data.Unpin(target);
      index.DecrementActiveRecordCount();
    } catch (...) {
      change.Undo([&] {
        TRecord target = FetchPinned(data, n);
        if (!target.Valid()) return;
        target.CopyFields(std::span<const uint8_t>(old.data(), old.size()));
        data.Unpin(target);
      });
      if (lockedHere) UnlockCurrentRecord(n);
      throw;
    }
    change.Done();
    try {
      RecordChange();
    } catch (...) {
      // The write-through failed and dropped the change: the record stays, unlocked.
      if (lockedHere) UnlockCurrentRecord(n);
      throw;
    }
    // The freed slot's lock goes before the write lock: the next writer may reuse the slot.
    if (locked_record_ == n) UnlockCurrentRecord(n);
  }
  if (!reposition) {
    // As after an append without repositioning.
    view_stale_ = true;
  } else {
    try {
      TMissLockScope missLock(*this);
      if (view_stale_) Resynchronise();
      NoteRecordDeleted(n);
      ComputeRangeBounds();
      if (record_order_) {
        if (n < visible_.BitCount()) visible_.Clear(n);
        current_record_ = n;
        bof_ = eof_ = false;
        if (!Step(true)) Step(false);
      } else {
        SeekKey(here.data());
      }
      if (!bof_ && !eof_) LoadCurrentRecord();
    } catch (const EVUZODEEngineError&) {
      // As after an append: the delete is recorded; the position is found again later.
      ClearPosition();
      snapshot_taken_ = false;
    }
  }
  if (locked_record_ == n) UnlockCurrentRecord(n);
}
