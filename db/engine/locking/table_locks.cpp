// The locks of one session on one table, and change detection through the file headers.
//
//   | Lock            | Bytes taken (lock_layout.h)                            | Held            |
//   |-----------------|--------------------------------------------------------|-----------------|
//   | read            | one random reader byte of the .IDX (and of the .BLB)   | one operation   |
//   | query read      | the same, with its own tokens                          | one SELECT      |
//   | write           | .DAT write byte (unless the transaction holds it), the | one change      |
//   |                 | whole reader range of the .IDX (and of the .BLB); a    |                 |
//   |                 | change inside a transaction takes no reader range      |                 |
//   | transaction     | .DAT write byte                                        | start to end    |
//   | record n        | .DAT byte of record n                                  | lock to unlock  |
//
// Readers block writers and writers block readers through the reader range; writers exclude
// each other through the write byte. Whatever a failed attempt took is released before the
// error is raised, so a timeout never leaves a byte behind.
//
// Record lock escalation. The operating system keeps a file's byte-range locks in a list that
// each new lock walks, so a transaction keeping a lock per changed record until its end costs
// the square of its records. Past the session's RecordLockEscalation the table takes, in one
// attempt each, the runs of record bytes between the records it holds (the system merges them
// with those into one lock); from then on a record lock is a bit in the bitmaps. The records
// held at that moment stay held by their own bytes (escalation_singles_), so releasing the
// escalation gives back exactly the ranges taken and keeps any record still locked without a
// moment in which another session could take it. A record kept locked past the transaction
// that only the escalation covers keeps the escalation until it is unlocked.
#include <algorithm>
#include <utility>
#include <vector>

#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_session.h"
#include "db/engine/table/data_table.h"
#include "db/storage/files/lock_layout.h"
#include "platform/os/system.h"

bool TDataTable::TakeReadSlot(TFileHandler& file, uint16_t& token) {
  return LockReadSlot(file, token, Session().FileLockAttempts());
}

bool TDataTable::BeginRead() {
  if (query_read_lock_held_ || read_lock_held_ || write_lock_held_ || transaction_lock_held_ ||
      !TakesLocks() || !files_open_) {
    return false;
  }
  // A commit left unfinished is completed under the write lock before anyone reads.
  RecoverFoundJournal();
  if (!TakeReadSlot(index_file_, read_index_token_)) {
    read_index_token_ = 0;
    Raise(VUZODE_LOCKTIMEOUT);
  }
  if (HasBlobFile() && !TakeReadSlot(blob_file_, read_blob_token_)) {
    UnlockReadSlot(index_file_, read_index_token_);
    read_index_token_ = read_blob_token_ = 0;
    Raise(VUZODE_LOCKTIMEOUT);
  }
  read_lock_held_ = true;
  return RefreshIfChanged();
}

void TDataTable::EndRead() {
  if (!read_lock_held_) return;
  read_lock_held_ = false;
  const bool blobReleased = read_blob_token_ == 0 || UnlockReadSlot(blob_file_, read_blob_token_);
  const bool indexReleased = UnlockReadSlot(index_file_, read_index_token_);
  read_index_token_ = read_blob_token_ = 0;
  if (!blobReleased || !indexReleased) Raise(VUZODE_UNLOCKFAILED);
}

bool TDataTable::BeginQueryRead() {
  if (query_read_lock_held_ || read_lock_held_ || write_lock_held_ || transaction_lock_held_ ||
      !TakesLocks() || !files_open_) {
    return false;
  }
  RecoverFoundJournal();
  if (!TakeReadSlot(index_file_, query_read_index_token_)) {
    query_read_index_token_ = 0;
    Raise(VUZODE_LOCKTIMEOUT);
  }
  if (HasBlobFile() && !TakeReadSlot(blob_file_, query_read_blob_token_)) {
    UnlockReadSlot(index_file_, query_read_index_token_);
    query_read_index_token_ = query_read_blob_token_ = 0;
    Raise(VUZODE_LOCKTIMEOUT);
  }
  query_read_lock_held_ = true;
  return RefreshIfChanged();
}

void TDataTable::EndQueryRead() {
  if (!query_read_lock_held_) return;
  query_read_lock_held_ = false;
  const bool blobReleased =
      query_read_blob_token_ == 0 || UnlockReadSlot(blob_file_, query_read_blob_token_);
  const bool indexReleased = UnlockReadSlot(index_file_, query_read_index_token_);
  query_read_index_token_ = query_read_blob_token_ = 0;
  if (!blobReleased || !indexReleased) Raise(VUZODE_UNLOCKFAILED);
}

bool TDataTable::BeginWrite(bool readersWait) {
  if (write_lock_held_ || !TakesLocks() || !files_open_) return false;
  // A read lock of this session would block its own write lock: the write lock covers it.
  EndRead();
  const uint32_t attempts = Session().FileLockAttempts();
  const bool ownsWriteByte = !transaction_lock_held_;
  const bool slots = readersWait || !transaction_lock_held_;
  if (ownsWriteByte && !LockTableWriteByte(data_file_, attempts)) Raise(VUZODE_LOCKTIMEOUT);
  if (slots && !LockWriteSlots(index_file_, attempts)) {
    if (ownsWriteByte) UnlockTableWriteByte(data_file_);
    Raise(VUZODE_LOCKTIMEOUT);
  }
  if (slots && HasBlobFile() && !LockWriteSlots(blob_file_, attempts)) {
    UnlockWriteSlots(index_file_);
    if (ownsWriteByte) UnlockTableWriteByte(data_file_);
    Raise(VUZODE_LOCKTIMEOUT);
  }
  write_lock_held_ = true;
  write_slots_held_ = slots;
  // With the reader slots held nobody reads: a journal left beside the table is replayed (or
  // dropped) now, and the change check below sees the completed files.
  bool recovered = false;
  if (slots && JournalFound()) {
    try {
      RecoverJournal();
      recovered = true;
    } catch (...) {
      EndWrite();
      throw;
    }
  }
  if (transaction_lock_held_) return false;
  return RefreshIfChanged() || recovered;
}

void TDataTable::EndWrite() {
  if (!write_lock_held_) return;
  write_lock_held_ = false;
  bool released = true;
  if (write_slots_held_) {
    released = !HasBlobFile() || UnlockWriteSlots(blob_file_);
    released = UnlockWriteSlots(index_file_) && released;
  }
  write_slots_held_ = false;
  if (!transaction_lock_held_) released = UnlockTableWriteByte(data_file_) && released;
  if (!released) Raise(VUZODE_LOCKTIMEOUT);
}

bool TDataTable::RefreshIfChanged() {
  bool changed = false;
  if (index_file_.RereadHeader()) {
    index_file_.DiscardPages();
    data_file_.DiscardRecords();
    data_file_.RereadHeader();
    changed = true;
  } else if (data_file_.RereadHeader()) {
    changed = true;
  }
  if (HasBlobFile() && blob_file_.RereadHeader()) {
    blob_file_.DiscardBlocks();
    changed = true;
  }
  return changed;
}

bool TDataTable::BeforeMissRead() {
  // A fetch that misses the cache looks for others' changes first, unless a lock taken for the
  // operation already did (strict detection, or any lock this session holds now).
  if (!TakesLocks() || Session().StrictChangeDetection() || read_lock_held_ ||
      query_read_lock_held_ || write_lock_held_ || transaction_lock_held_) {
    return true;
  }
  return !BeginRead();
}

bool TDataTable::LockRecord(uint32_t n) {
  if (!TakesLocks()) return false;
  if (n == 0) Raise(VUZODE_RECLOCKFAILED);
  GrowBitmaps();
  if (n >= locked_records_.BitCount()) {
    for (TRecordsBitmap* b : {&locked_records_, &cursor_locked_records_, &deferred_unlocks_}) {
      b->SetSize(n + 1);
    }
  }
  if (transaction_lock_held_ && locked_records_.Test(n)) return false;
  TDataSession& session = Session();
  // The locks held already may have reached the escalation figure.
  ExpectRecordLocks(0);
  const bool covered = records_escalated_ && n <= kMaxLockableRecord;
  const bool takeRead = !session.StrictChangeDetection();
  bool changed = takeRead ? BeginRead() : false;
  uint32_t failures = 0;
  while (!covered && !data_file_.LockRecord(n)) {
    if (takeRead) EndRead();
    ++failures;
    if (failures > session.LockRetryCount()) Raise(VUZODE_RECLOCKFAILED);
    ++record_lock_waits_;
    platform::Sleep(session.LockWaitTime());
    if (takeRead) changed = BeginRead() || changed;
  }
  if (!locked_records_.Test(n)) ++record_locks_held_;
  locked_records_.Set(n);
  deferred_unlocks_.Clear(n);
  return changed;
}

void TDataTable::ExpectRecordLocks(uint32_t count) {
  if (!TakesLocks() || records_escalated_ || !transaction_lock_held_) return;
  const uint32_t figure = Session().RecordLockEscalation();
  if (figure == 0) return;
  if (uint64_t{record_locks_held_} + count >= std::max(figure, next_escalation_)) {
    GrowBitmaps();
    TryEscalateRecordLocks();
  }
}

void TDataTable::UnlockRecord(uint32_t n) {
  if (!TakesLocks()) return;
  GrowBitmaps();
  if (n == 0 || n >= locked_records_.BitCount()) Raise(VUZODE_UNLOCKFAILED);
  if (transaction_lock_held_) {
    deferred_unlocks_.Set(n);
    return;
  }
  if (locked_records_.Test(n) && records_escalated_) {
    // Its byte is the escalation's (or stays held with it): it goes when the escalation does.
    locked_records_.Clear(n);
    deferred_unlocks_.Clear(n);
    --record_locks_held_;
    std::exception_ptr failure;
    SettleEscalation(failure);
    if (failure) std::rethrow_exception(failure);
    return;
  }
  if (locked_records_.Test(n) && data_file_.UnlockRecord(n)) {
    locked_records_.Clear(n);
    deferred_unlocks_.Clear(n);
    --record_locks_held_;
    return;
  }
  Raise(VUZODE_UNLOCKFAILED);
}

void TDataTable::ReleaseRecordLocks(bool deferredOnly) {
  if (!files_open_ || (!TakesLocks() && !records_escalated_)) {
    // Without open files no lock is held (closing the files dropped them).
    locked_records_.ClearAll();
    deferred_unlocks_.ClearAll();
    record_locks_held_ = next_escalation_ = 0;
    records_escalated_ = false;
    escalation_singles_.clear();
    return;
  }
  // Released directly (not through UnlockRecord, which defers while the transaction lock is
  // held): this is how the deferred locks go at the end of a transaction.
  std::exception_ptr failure;
  const uint32_t size = locked_records_.BitCount();
  for (uint32_t n = 1; n < size; ++n) {
    if (!locked_records_.Test(n)) continue;
    if (deferredOnly && !deferred_unlocks_.Test(n)) continue;
    locked_records_.Clear(n);
    deferred_unlocks_.Clear(n);
    cursor_locked_records_.Clear(n);
    --record_locks_held_;
    if (!records_escalated_ && !data_file_.UnlockRecord(n) && !failure) {
      try {
        Raise(VUZODE_UNLOCKFAILED);
      } catch (...) {
        failure = std::current_exception();
      }
    }
  }
  if (records_escalated_) SettleEscalation(failure);
  next_escalation_ = 0;
  if (failure) std::rethrow_exception(failure);
}

void TDataTable::TryEscalateRecordLocks() {
  escalation_singles_.clear();
  const uint32_t size = locked_records_.BitCount();
  for (uint32_t n = 1; n < size; ++n) {
    if (locked_records_.Test(n)) escalation_singles_.push_back(n);
  }
  // The runs between the singles, in record order; on a refusal those taken go back.
  std::vector<std::pair<uint32_t, uint32_t>> taken;
  uint32_t first = 1;
  bool refused = false;
  for (size_t i = 0; i <= escalation_singles_.size() && !refused; ++i) {
    const uint32_t end =
        i < escalation_singles_.size() ? escalation_singles_[i] : kMaxLockableRecord + 1;
    if (end > first) {
      if (LockRecordRun(data_file_, first, end - 1)) {
        taken.emplace_back(first, end - 1);
      } else {
        refused = true;
      }
    }
    first = end + 1;
  }
  if (!refused) {
    records_escalated_ = true;
    return;
  }
  bool released = true;
  for (const auto& [from, to] : taken) released = UnlockRecordRun(data_file_, from, to) && released;
  escalation_singles_.clear();
  // Someone holds a record of the table: try again at twice the locks.
  next_escalation_ = std::max<uint32_t>(record_locks_held_, 1) * 2;
  if (!released) Raise(VUZODE_UNLOCKFAILED);
}

bool TDataTable::SettleEscalation(std::exception_ptr& failure) {
  const uint32_t size = locked_records_.BitCount();
  for (uint32_t n = 1; n < size; ++n) {
    if (locked_records_.Test(n) &&
        !std::binary_search(escalation_singles_.begin(), escalation_singles_.end(), n)) {
      return false;
    }
  }
  // Every record still locked holds its own byte: the runs go, and the singles no longer
  // locked.
  bool released = true;
  uint32_t first = 1;
  for (size_t i = 0; i <= escalation_singles_.size(); ++i) {
    const uint32_t single =
        i < escalation_singles_.size() ? escalation_singles_[i] : kMaxLockableRecord + 1;
    if (single > first) released = UnlockRecordRun(data_file_, first, single - 1) && released;
    if (single <= kMaxLockableRecord && (single >= size || !locked_records_.Test(single))) {
      released = data_file_.UnlockRecord(single) && released;
    }
    first = single + 1;
  }
  records_escalated_ = false;
  escalation_singles_.clear();
  if (!released && !failure) {
    try {
      Raise(VUZODE_UNLOCKFAILED);
    } catch (...) {
      failure = std::current_exception();
    }
  }
  return true;
}
