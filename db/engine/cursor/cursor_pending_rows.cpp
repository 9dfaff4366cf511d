// TDataCursor: pending rows. A new result's rows can stay in memory, handed to the cursor of its
// empty table, until an operation needs the table itself; the plain sequential and positional
// reads are served from the rows meanwhile, which spares a result that is only read front to
// back (the usual case) the appends, the record cache and the writing at close.
//
// The rows stand for the records 1 .. count of the table in record order, as appending them
// to the fresh table would make them; every served operation leaves the position fields
// (current_record_, logical_, bof_, eof_) exactly as the table-backed operation would.
// Invariants:
//   (1) While rows are pending (pending_): the cursor is open, exclusive, temporary and alone
//       on its table, the table holds no record and was in no transaction when the rows came
//       (a later one must not take them back), the cursor is in record order with no range,
//       no active filter and no computed field, and pending_rows_ holds pending_count_ record
//       images of stored_size_ bytes each, their headers (status, number, row id) those the
//       appends will give them (SetPendingRows).
//   (2) Every operation that is not served here first calls MaterializePendingRows, directly or
//       through the read bracket (BeginCursorRead), before it changes the view; the served
//       ones are SetToBegin, SetToEnd, GetNextRecord, GetPriorRecord, ReadRecordBlock,
//       GetCurRecord without lock, RecordCount and SetToRecNo (RecordNumber and the inline
//       getters read the position fields, which are kept). The direct callers are Table(),
//       CloneCursor, FlushBuffers, ReadDataHeader, EmptyTable, BackupIndex, RestoreIndex,
//       SetFieldDescriptors, SetIndexNumber, BeginQueryRead, LockRecord, the record changes
//       (by position and by number), OpenBlob (the other BLOB calls need a value it opened) and
//       ActivateFilter; the bracket covers the rest that read (bookmarks, SetToCursor, Refresh,
//       filters made from text, dropping filters, GetCurRecord with lock). Needing neither:
//       GetBookmark and CompareBookmarks (record order: the number kept in current_record_), and
//       FindKey, SetRange and ResetRange, which do nothing in record order. CloseCursor drops the
//       rows: the temporary table goes away unread.
//   (3) The record buffer is not kept while rows are pending: nothing reads it before the
//       table does, and MaterializePendingRows loads the current record.
#include <cassert>
#include <cstring>
#include <limits>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/storage/index/index_header.h"
#include "db/storage/le_codec.h"

void TDataCursor::SetPendingRows(std::vector<uint8_t> rows, size_t count) {
  if (!Opened()) Raise(VUZODE_NOCURRREC);
  if (rows.size() != count * stored_size_) Raise(VUZODE_OUTOFRANGE, {}, "pending rows");
  MaterializePendingRows();
  TDataFile& data = table_->DataFile();
  const bool servable =
      exclusive_ && !shares_exclusive_ && temporary_ && !read_only_ && table_->OpenCount() == 1 &&
      record_order_ && !range_active_ && filters_.empty() && computed_trees_.empty() &&
      !has_validity_checks_ && !SuppressAutoInc() && !table_->HasBlobFile() &&
      KeySlots().Count == 0 && table_->IndexFile().Descriptor(kTextSlot).FieldCount == 0 &&
      !table_->InTransaction() && data.RecordCount() == 0 && read_depth_ == 0 && !view_stale_ &&
      count <= static_cast<size_t>(std::numeric_limits<int32_t>::max() - data.LastRowId());
  if (!servable) {
    // The table takes the rows now, as a result's rows always were.
    for (size_t i = 0; i < count; ++i) AppendRecord(rows.data() + i * stored_size_, false);
    Refresh();
    SetToBegin();
    return;
  }
  // The headers the appends give: active, numbered from 1, the row ids after the last one.
  const int32_t lastRowId = data.LastRowId();
  for (size_t i = 0; i < count; ++i) {
    uint8_t* row = rows.data() + i * stored_size_;
    row[0] = 0;
    PutU32(row + 1, static_cast<uint32_t>(i + 1));
    PutI32(row + kRowIdOffset, lastRowId + static_cast<int32_t>(i + 1));
  }
  pending_rows_ = std::move(rows);
  pending_count_ = static_cast<uint32_t>(count);
  pending_ = true;
  PendingSetToBegin();
}

void TDataCursor::MaterializePendingRows() {
  if (!pending_) return;
  // Taken out first: the appends and the refresh below run as operations of a cursor without
  // pending rows.
  pending_ = false;
  const std::vector<uint8_t> rows = std::move(pending_rows_);
  pending_rows_.clear();
  const uint32_t count = pending_count_;
  pending_count_ = 0;
  const uint32_t record = current_record_;
  const int64_t logical = logical_;
  const bool bof = bof_;
  const bool eof = eof_;
  ClearPosition();
  const bool suppress = suppress_auto_inc_;
  suppress_auto_inc_ = false;
  try {
    for (uint32_t i = 0; i < count; ++i) {
      AppendRecord(rows.data() + static_cast<size_t>(i) * stored_size_, false);
    }
    // The rows were the table's before the transaction it joined since (none when they were
    // handed over): written through, as the transaction's start writes an exclusive table, so
    // that a rollback keeps them.
    if (table_->InTransaction()) table_->FlushBuffers();
    Refresh();
  } catch (...) {
    suppress_auto_inc_ = suppress;
    throw;
  }
  suppress_auto_inc_ = suppress;
  // The view holds every record in record order (1): the position fields say the same on the
  // table as they said on the rows.
  assert(record_order_ && ViewCount() == count && "the appended rows are the whole view");
  current_record_ = record;
  logical_ = logical;
  bof_ = bof;
  eof_ = eof;
  if (!bof_ && !eof_) LoadCurrentRecord();
}

void TDataCursor::DropPendingRows() {
  pending_ = false;
  pending_rows_.clear();
  pending_rows_.shrink_to_fit();
  pending_count_ = 0;
}

// The moves below mirror GoFirst, GoLast, Step and their callers in record order over a view
// of the records 1 .. pending_count_.

void TDataCursor::PendingGoFirst() {
  if (pending_count_ == 0) {
    ClearPosition();
    return;
  }
  current_record_ = 1;
  logical_ = 1;
  bof_ = eof_ = false;
}

void TDataCursor::PendingGoLast() {
  if (pending_count_ == 0) {
    ClearPosition();
    return;
  }
  current_record_ = pending_count_;
  logical_ = pending_count_;
  bof_ = eof_ = false;
}

bool TDataCursor::PendingStep(bool forward) {
  int64_t position = current_record_;
  if (forward && bof_) position = 0;
  if (!forward && eof_) position = int64_t{pending_count_} + 1;
  const int64_t target = position + (forward ? 1 : -1);
  if (target >= 1 && target <= pending_count_) {
    current_record_ = static_cast<uint32_t>(target);
    logical_ = target;
    bof_ = eof_ = false;
    return true;
  }
  if (pending_count_ == 0) {
    ClearPosition();
    return false;
  }
  // Off the end: the position stays, the side is flagged.
  bof_ = !forward;
  eof_ = forward;
  return false;
}

void TDataCursor::PendingCopyOut(uint8_t* buffer) const {
  if (buffer == nullptr) return;
  std::memcpy(buffer,
              pending_rows_.data() + static_cast<size_t>(current_record_ - 1) * stored_size_,
              record_size_);
}

void TDataCursor::PendingSetToBegin() {
  PendingGoFirst();
  StandBeforeFirst();
}

void TDataCursor::PendingSetToEnd() {
  PendingGoLast();
  StandAfterLast(pending_count_);
}

bool TDataCursor::PendingSetToRecNo(uint32_t n) {
  if (n == 0) {
    PendingSetToBegin();
    return false;
  }
  if (n > pending_count_) {
    PendingSetToEnd();
    return false;
  }
  current_record_ = n;
  logical_ = n;
  bof_ = eof_ = false;
  return true;
}

uint16_t TDataCursor::PendingCurRecord(uint8_t* buffer) {
  const uint16_t code = EdgeCode();
  if (code != 0) {
    if (buffer != nullptr) std::memset(buffer, 0, record_size_);
  } else {
    PendingCopyOut(buffer);
  }
  return code;
}

uint16_t TDataCursor::PendingMoveAndRead(bool forward, uint8_t* buffer) {
  bool on;
  if (bof_ && eof_) {
    on = false;
  } else if (forward ? bof_ : eof_) {
    // From before the first (after the last) record onto the first (last); the view is not
    // empty here.
    forward ? PendingGoFirst() : PendingGoLast();
    on = true;
  } else {
    on = PendingStep(forward);
  }
  moved_past_gone_ = 0;
  if (!on) {
    if (buffer != nullptr) std::memset(buffer, 0, record_size_);
    return forward ? VUZODE_EOF : VUZODE_BOF;
  }
  PendingCopyOut(buffer);
  return 0;
}

uint16_t TDataCursor::PendingReadBlock(uint32_t& count, uint8_t* buffer) {
  uint32_t read = 0;
  uint16_t code = 0;
  for (; read < count; ++read) {
    code = PendingMoveAndRead(
        true, buffer == nullptr ? nullptr : buffer + static_cast<size_t>(read) * record_size_);
    if (code != 0) break;
  }
  count = read;
  return code;
}
