// TDataTable: one session's handle on a table's file set (data, index and BLOB files), shared
// by every cursor of the session on that table together with its buffers, its locks on the
// table and its part of a transaction.
//
// The write path. Dirty records, index pages and BLOB blocks reach the files in one place only,
// FlushBuffers, at a commit, after a change outside a transaction, and when an exclusive table
// is closed; the caches' own evictions outside a transaction are the one other writer. With the
// session's commit journal on (table/table_journal.cpp) FlushBuffers gathers every write into
// the table's journal first, and the caches' evictions go through FlushBuffers.
//
// Invariants:
//   (1) The three files are open exactly while FilesOpen() (OpenFiles, CreateFiles, CloseFiles);
//       a failed open or create leaves them all closed.
//   (2) Lock state (locking/table_locks.cpp): a record number is in LockedRecords() exactly
//       while this session holds its lock byte (RecordLocksEscalated(): the session holds every
//       record's byte, its records are those of LockedRecords()); the cursor and deferred
//       bitmaps are subsets of it; the read and query read locks are never held together, nor
//       while the write or transaction lock is held; exclusive tables and tables whose files
//       carry the read-only attribute take no lock at all.
//   (3) While the transaction lock is held the caches never flush to make room: they grow, so
//       a rollback can discard every change (TransactionLockHeld).
// A table belongs to one directory of one session and is used by one thread at a time.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/engine/table/table_definition.h"
#include "db/sql/bitmaps/records_bitmap.h"
#include "db/storage/blob/blob_file.h"
#include "db/storage/data/data_file.h"
#include "db/storage/files/commit_journal.h"
#include "db/storage/index/index_file.h"

class TDataDirectory;
class TDataSession;

inline constexpr uint8_t kDiskTable = 0;
inline constexpr uint8_t kMemoryTable = 1;

class TDataTable {
 public:
  TDataTable(TDataDirectory& directory, std::string name, uint8_t kind);
  ~TDataTable();
  TDataTable(const TDataTable&) = delete;
  TDataTable& operator=(const TDataTable&) = delete;

  TDataDirectory& Directory() const { return directory_; }
  TDataSession& Session() const;
  const std::string& Name() const { return name_; }
  uint8_t Kind() const { return kind_; }
  bool InMemory() const { return kind_ == kMemoryTable; }
  uint16_t OpenCount() const { return open_count_; }
  uint16_t ResultCursorCount() const { return result_cursor_count_; }
  void CountResultCursor(int delta) {
    result_cursor_count_ = static_cast<uint16_t>(result_cursor_count_ + delta);
  }
  bool FilesOpen() const { return files_open_; }
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value) { exclusive_ = value; }
  bool ReadOnly() const { return read_only_; }
  bool ReadOnlyAttribute() const { return read_only_attribute_; }
  bool Temporary() const { return temporary_; }
  void SetTemporary(bool value) { temporary_ = value; }
  void SetKind(uint8_t kind) { kind_ = kind; }
  bool IndexRebuilt() const { return index_rebuilt_; }
  void ClearIndexRebuilt() { index_rebuilt_ = false; }
  bool WrittenSinceOpened() const { return written_; }
  // Active: opened by a cursor or taking part in a transaction.
  bool Active() const { return open_count_ > 0 || in_transaction_; }

  TDataFile& DataFile() { return data_file_; }
  TIndexFile& IndexFile() { return index_file_; }
  TBlobFile& BlobFile() { return blob_file_; }
  bool HasBlobFile() const { return data_file_.BlobFieldCount() > 0 && blob_file_.Opened(); }

  // The three file names (directory path, table name, extension) of this table.
  std::string FileNameOf(std::string_view extension) const;
  // The error context's database text (the directory's) and table name.
  std::string_view DatabaseText() const;
  [[noreturn]] void Raise(uint16_t code, std::string_view field = {}, std::string_view index = {},
                          std::string_view detail = {}) const;

  // Files. OpenFiles counts one opener and opens the files at the first: a missing index file
  // is recreated empty and flagged IndexRebuilt(); any failure closes what was opened.
  void OpenFiles();
  // Counts one opener less; at the last (outside a transaction) writes an exclusive table's
  // buffers (or discards them, for a temporary table with discard), releases every lock and
  // closes the files.
  void CloseFiles(bool discard);
  // Creates the files of a checked definition, opened exclusively and counted once. Any failure
  // removes every file it created.
  void CreateFiles(const TTableDefinition& definition);
  // Deletes the data and index files and the BLOB file if it exists.
  void DeleteFiles();
  // Renames the files to newName, or with backup to newName's backup names (older backups of
  // that name are deleted first).
  void RenameFiles(std::string_view newName, bool backup);
  // Empties the three files (their headers and definitions stay).
  void EmptyFiles();

  // The write path (see above). Writes dirty records, pages and blocks and changed headers
  // (every header with forceHeaders); with flush, or the session's ForceBufferFlush, has the
  // operating system write its buffers when anything was written; with trim, cuts the caches
  // to the session's figures.
  void FlushBuffers(bool trim = false, bool forceHeaders = false, bool flush = false);
  // Drops every cached buffer unwritten; with reloadHeaders reads the headers again.
  void DiscardBuffers(bool trim, bool reloadHeaders);

  // The commit journal (table/table_journal.cpp). On for a disk table that is not temporary
  // while the session has it on.
  bool JournalOn() const;
  // The journal's on-disk name (beside the data file), known while the files are open.
  const std::string& JournalPath() const { return journal_path_; }
  // Completes the table from a journal left beside it, or discards the journal when it is torn
  // or stale; true when it replayed one. REQUIRES: the write lock (or the table exclusively).
  bool RecoverJournal();
  // The steps of a commit over several tables (transactions.cpp): gather the buffers into the
  // journal (true when there is anything to write), write the journal naming group, write it in
  // place and remove the journal (trimming the caches with trim); or drop what was gathered and
  // published, and the buffers with it.
  bool StageCommit(bool forceHeaders);
  void PublishCommit(uint64_t group, bool sync);
  void FinishCommit(bool trim, bool sync);
  // FinishCommit's two steps: write in place; remove the journal and trim.
  void ApplyCommit(bool sync);
  void CloseCommit(bool trim);
  void AbandonCommit();

  // Locks (locking/table_locks.cpp).
  bool BeginRead();
  void EndRead();
  bool BeginQueryRead();
  void EndQueryRead();
  // The write lock. With readersWait false while the transaction lock is held (a change inside
  // a transaction, which reaches the files only at the commit) the reader slots are left
  // alone: readers then wait only for the commit's write, not for every change.
  bool BeginWrite(bool readersWait = true);
  void EndWrite();
  bool LockRecord(uint32_t n);
  // A transaction about to lock count more records: when they take it past the session's
  // escalation figure, the escalation is tried now, before the single locks it would replace.
  void ExpectRecordLocks(uint32_t count);
  void UnlockRecord(uint32_t n);
  // Releases the record locks of bitmap 13 (only those also deferred, with deferredOnly), and
  // an escalation with them unless a record kept locked is covered by it alone.
  void ReleaseRecordLocks(bool deferredOnly);
  // Whether the table holds the lock bytes of all its records (the session's
  // RecordLockEscalation): from the lock that passed the figure inside a transaction until the
  // record locks are released with no record kept that only the escalation covers.
  bool RecordLocksEscalated() const { return records_escalated_; }
  bool RefreshIfChanged();
  // While one is held, an index page read that no lock covers first takes the read lock, and
  // raises TIndexChanged when the files changed meanwhile (their caches are then dropped): the
  // holder runs its reads again. Outside one a miss reads without lock, as a walk that holds
  // pages cannot start again.
  class TRestartableReads {
   public:
    explicit TRestartableReads(TDataTable& table) : table_(table) { ++table_.restartable_reads_; }
    ~TRestartableReads() { --table_.restartable_reads_; }
    TRestartableReads(const TRestartableReads&) = delete;
    TRestartableReads& operator=(const TRestartableReads&) = delete;

   private:
    TDataTable& table_;
  };
  bool ReadLockHeld() const { return read_lock_held_; }
  bool QueryReadLockHeld() const { return query_read_lock_held_; }
  bool WriteLockHeld() const { return write_lock_held_; }
  bool TransactionLockHeld() const { return transaction_lock_held_; }
  bool InTransaction() const { return in_transaction_; }
  // Sleeps between record lock attempts since the table object was made (for tests and
  // statistics).
  uint32_t RecordLockWaits() const { return record_lock_waits_; }
  TRecordsBitmap& LockedRecords() { return locked_records_; }
  TRecordsBitmap& CursorLockedRecords() { return cursor_locked_records_; }
  TRecordsBitmap& DeferredUnlocks() { return deferred_unlocks_; }
  // Whether this table takes locks at all: not exclusive, files without the read-only
  // attribute.
  bool TakesLocks() const { return !exclusive_ && !read_only_attribute_; }

  // While a record change is under way its buffers stay in the caches, as in a transaction,
  // so a failure before the change is written through can be taken back whole.
  void SetChangeInProgress(bool value) {
    change_in_progress_ = value;
    // An exclusive table's changes reach the files only through FlushBuffers (so through
    // its journal) from the first change until the next write-through.
    if (value && exclusive_ && JournalOn()) hold_for_journal_ = true;
    UpdateHoldDirtyPages();
  }
  bool HoldsBuffers() const { return transaction_lock_held_ || change_in_progress_; }

  // Transaction steps (locking/transactions.cpp).
  void StartTransaction();
  void PrepareCommit();
  void WriteCommit(bool end, bool flush);
  // WriteCommit in steps for a commit group: gather the buffers (true when anything is to be
  // written; PublishCommit and ApplyCommit follow), then remove the journal and trim.
  bool StageWrite();
  // Runs work out of the transaction (so the caches may trim as they write), in it again
  // afterwards, also when work raises.
  void OutsideTransaction(const std::function<void()>& work);
  void FinishWrite(bool trim);
  void EndTransaction(bool end);
  void RollbackTransaction();

 private:
  template <typename TLinkBase>
  friend class TTableLink;

  void OpenFilesNow();
  void CloseFilesNow();
  // Hands the caches to the directory's warm caches before a close that went well, and takes
  // them back at the next open while the files are unchanged (warm_caches.h).
  void KeepWarmCaches();
  void TakeWarmCaches();
  void PrepareFileNames();
  void ApplySessionFigures();
  void GrowBitmaps();
  void ReleaseTransactionLock();
  // The transaction lock flag, which also makes the index cache keep its dirty pages (3).
  void SetTransactionLockHeld(bool value) {
    transaction_lock_held_ = value;
    UpdateHoldDirtyPages();
  }
  bool BeforeMissRead();
  // Record lock escalation (table_locks.cpp): takes the runs of lock bytes between the records
  // held, or gives back what it took when one run is held by another session; releases the
  // escalation when every record still locked is held by its own byte (false when not).
  void TryEscalateRecordLocks();
  bool SettleEscalation(std::exception_ptr& failure);
  void Written() { written_ = true; }
  // The caches need room outside a change: with the journal on, the whole table is written
  // through FlushBuffers (true); else the cache writes its own units (false).
  bool FlushForRoom();
  void WriteInPlace(bool forceHeaders, bool sync);
  // The write path's calls of the three files' writers, in their order (the data header last).
  bool WriteBuffers(bool forceHeaders);
  void TrimBuffers();
  void SetCapture(bool on);
  // The journal's name from the data file's on-disk name (empty for a memory table).
  void SetJournalPath();
  // Recovers a journal found beside the table under the write lock, taking it for the purpose
  // when this session does not hold it.
  void RecoverFoundJournal();
  // Whether a journal lies beside the table (or this session left one) and may be recovered.
  bool JournalFound() const;
  // Whether index pages stay dirty in the cache until FlushBuffers (a change, a transaction,
  // or the journal, whose writes all go through FlushBuffers).
  void UpdateHoldDirtyPages() {
    index_file_.SetHoldDirtyPages(transaction_lock_held_ || change_in_progress_ ||
                                  hold_for_journal_);
  }
  // Takes the read lock of one file (index or BLOB) with the session's attempts.
  bool TakeReadSlot(TFileHandler& file, uint16_t& token);

  TDataDirectory& directory_;
  uint16_t open_count_ = 0;
  uint16_t result_cursor_count_ = 0;
  std::string name_;
  bool files_open_ = false;
  bool exclusive_ = false;
  bool read_only_ = false;
  bool read_only_attribute_ = false;
  uint8_t kind_;
  bool temporary_ = false;
  std::unique_ptr<TDataTableLink> data_link_;
  std::unique_ptr<TBlobTableLink> blob_link_;
  TDataFile data_file_;
  TIndexFile index_file_;
  TBlobFile blob_file_;
  bool index_rebuilt_ = false;
  TRecordsBitmap locked_records_;
  TRecordsBitmap cursor_locked_records_;
  TRecordsBitmap deferred_unlocks_;
  bool query_read_lock_held_ = false;
  uint16_t query_read_index_token_ = 0;
  uint16_t query_read_blob_token_ = 0;
  bool read_lock_held_ = false;
  uint32_t restartable_reads_ = 0;
  uint16_t read_index_token_ = 0;
  uint16_t read_blob_token_ = 0;
  bool write_lock_held_ = false;
  bool write_slots_held_ = false;  // the reader slots of the write lock
  bool in_transaction_ = false;
  bool transaction_lock_held_ = false;
  bool written_ = false;
  uint32_t record_lock_waits_ = 0;
  // The bits of locked_records_; the held count at which escalation is tried next (0: the
  // session's figure); whether it is in force, with the records held by their own byte when it
  // began (sorted: the escalation holds the runs between them).
  uint32_t record_locks_held_ = 0;
  uint32_t next_escalation_ = 0;
  bool records_escalated_ = false;
  std::vector<uint32_t> escalation_singles_;
  bool change_in_progress_ = false;
  // The journal: its path, the units of the commit being written, whether FlushBuffers is
  // gathering them now, and whether a journal of this session was left behind.
  std::string journal_path_;
  TCommitJournal journal_;
  bool flushing_ = false;
  bool hold_for_journal_ = false;
  bool journal_published_ = false;
  bool journal_pending_ = false;
};
