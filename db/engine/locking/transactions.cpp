// Transactions: the table's steps and the directory's start, commit and rollback over every
// table of its registry.
//
// A table in a transaction holds the data file's write byte from start to end (the transaction
// lock), so other writers wait and readers go on seeing the files as they were; its changes
// stay in the caches, which grow instead of flushing (TransactionLockHeld), until the commit
// writes them through FlushBuffers or the rollback discards them.
//
// Invariants:
//   (1) A directory's in-transaction flag is set exactly while its tables are in one (a commit
//       at an interval, end = false, keeps both).
//   (2) A failed commit leaves no table with buffers of the failed transaction: every table
//       whose write did not finish discards them, so the next write-through cannot apply a
//       commit that was reported as failed.
//   (3) Rollback releases only locks the table holds, so a start that failed half-way rolls
//       back cleanly and its first error is the one reported.
//   (4) With commit journals, a commit that writes more than one table is one group: every
//       table's journal is complete before the group's commit record is written, and nothing is
//       written in place before the record is (CommitGroup); a failure before then drops every
//       table's buffers, so the transaction is in no table.
#include <algorithm>

#include "db/engine/errors/engine_error.h"
#include "db/engine/locking/commit_record.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/engine/table/data_table.h"
#include "db/storage/files/lock_layout.h"
#include "platform/os/path.h"
#include "platform/os/whole_file.h"

namespace {

// Whether the directory's commit goes through one commit group: two or more tables of the
// transaction write through their journals.
bool UsesCommitGroup(const std::vector<std::unique_ptr<TDataTable>>& tables) {
  int journaled = 0;
  for (const auto& t : tables) {
    if (t->InTransaction() && !t->ReadOnly() && t->FilesOpen() && t->JournalOn()) ++journaled;
  }
  return journaled > 1;
}

}  // namespace

void TDataTable::StartTransaction() {
  if (read_only_ || in_transaction_) return;
  if (exclusive_) FlushBuffers();
  // Read locks of this session would block its own writes later on.
  EndRead();
  EndQueryRead();
  in_transaction_ = true;
  SetTransactionLockHeld(false);
  if (TakesLocks() && files_open_) {
    if (!LockTableWriteByte(data_file_, Session().FileLockAttempts())) {
      in_transaction_ = false;
      Raise(VUZODE_LOCKTIMEOUT);
    }
  }
  SetTransactionLockHeld(true);
  if (TakesLocks() && files_open_) {
    try {
      // A commit left unfinished is completed first (under the write lock, which replays it).
      if (JournalFound()) {
        BeginWrite();
        EndWrite();
      }
      RefreshIfChanged();
    } catch (...) {
      ReleaseTransactionLock();
      in_transaction_ = false;
      throw;
    }
  }
}

void TDataTable::PrepareCommit() {
  if (in_transaction_ && !read_only_) BeginWrite();
}

void TDataTable::WriteCommit(bool end, bool flush) {
  if (!in_transaction_ || read_only_) return;
  OutsideTransaction([&] { FlushBuffers(end, false, flush); });
}

bool TDataTable::StageWrite() {
  bool staged = false;
  OutsideTransaction([&] { staged = StageCommit(false); });
  return staged;
}

void TDataTable::OutsideTransaction(const std::function<void()>& work) {
  in_transaction_ = false;
  const bool held = transaction_lock_held_;
  SetTransactionLockHeld(false);
  try {
    work();
  } catch (...) {
    in_transaction_ = true;
    SetTransactionLockHeld(held);
    throw;
  }
  in_transaction_ = true;
  SetTransactionLockHeld(held);
}

void TDataTable::FinishWrite(bool trim) {
  CloseCommit(trim);
}

void TDataTable::EndTransaction(bool end) {
  if (read_only_ || !in_transaction_) return;
  if (end) {
    EndWrite();
    ReleaseTransactionLock();
    in_transaction_ = false;
  } else {
    EndWrite();
    if (TakesLocks()) ReleaseRecordLocks(true);
  }
}

void TDataTable::ReleaseTransactionLock() {
  const bool held = transaction_lock_held_;
  SetTransactionLockHeld(false);
  if (held && TakesLocks() && files_open_) {
    if (!UnlockTableWriteByte(data_file_)) Raise(VUZODE_LOCKTIMEOUT);
  }
  if (!exclusive_) ReleaseRecordLocks(true);
}

void TDataTable::RollbackTransaction() {
  if (read_only_ || !in_transaction_) return;
  in_transaction_ = false;
  std::exception_ptr failure;
  try {
    DiscardBuffers(true, true);
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    EndWrite();
    ReleaseTransactionLock();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

void TDataDirectory::StartTransaction(bool /*flag*/) {
  if (in_transaction_) return;
  try {
    for (auto& table : tables_) table->StartTransaction();
  } catch (...) {
    for (auto& table : tables_) {
      try {
        table->RollbackTransaction();
      } catch (const EVUZODEEngineError&) {
        // The start's error is the one to report; the rollback released what it could.
      }
    }
    throw;
  }
  in_transaction_ = true;
}

void TDataDirectory::Commit(bool end, bool flush, bool /*flag*/) {
  // The callers (components, SQL) report a commit without a transaction in their own words.
  if (!in_transaction_) return;
  std::exception_ptr failure;
  size_t written = tables_.size();  // tables [written, size) have finished their write
  try {
    for (size_t i = tables_.size(); i-- > 0;) tables_[i]->PrepareCommit();
    if (UsesCommitGroup(tables_)) {
      CommitGroup(end, flush, written);
    } else {
      for (size_t i = tables_.size(); i-- > 0;) {
        tables_[i]->WriteCommit(end, flush);
        written = i;
      }
    }
  } catch (...) {
    failure = std::current_exception();
    // (2): the tables that did not finish drop what the failed commit would have written.
    for (size_t i = 0; i < written; ++i) {
      try {
        if (tables_[i]->InTransaction()) tables_[i]->DiscardBuffers(true, true);
      } catch (const EVUZODEEngineError&) {
        // The commit's own error is reported; the locks below are released either way.
      }
    }
  }
  for (size_t i = tables_.size(); i-- > 0;) {
    try {
      tables_[i]->EndTransaction(end || failure != nullptr);
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  if (end || failure) {
    in_transaction_ = false;
    FreeIdleTables();
  }
  if (failure) std::rethrow_exception(failure);
}

void TDataDirectory::CommitGroup(bool end, bool flush, size_t& written) {
  // The tables with something to write, last to first, gathered out of the transaction so the
  // caches may trim as they write.
  std::vector<TDataTable*> staged;
  std::vector<std::string> recorded;  // folders whose record may be on disk
  uint64_t group = 0;
  bool sync = flush;
  try {
    for (size_t i = tables_.size(); i-- > 0;) {
      TDataTable& t = *tables_[i];
      if (!t.InTransaction() || t.ReadOnly()) continue;
      sync = sync || t.Session().ForceBufferFlush();
      if (t.StageWrite()) staged.push_back(&t);
    }
    if (staged.size() < 2) {
      // One table (or none) writes: its own journal is the whole commit.
      for (TDataTable* t : staged) {
        t->PublishCommit(0, sync);
        t->ApplyCommit(sync);
        t->FinishWrite(end);
      }
      written = 0;
      return;
    }
    group = NewCommitGroup();
    std::vector<std::string> journals;
    std::vector<std::string> folders;
    for (TDataTable* t : staged) {
      t->PublishCommit(group, sync);
      journals.push_back(t->JournalPath());
      const std::string folder = platform::FileDirectory(t->JournalPath());
      if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
        folders.push_back(folder);
      }
    }
    // The transaction has happened once its record is whole, in every folder of its tables.
    for (const std::string& folder : folders) {
      recorded.push_back(folder);
      if (!WriteCommitRecord(CommitRecordPath(folder, group), group, journals, sync)) {
        staged.front()->Raise(VUZODE_WRITEERR, {}, {}, "commit record");
      }
    }
  } catch (...) {
    // (4): nothing was written in place: every table drops what it gathered.
    for (TDataTable* t : staged) {
      try {
        t->AbandonCommit();
      } catch (const EVUZODEEngineError&) {
        // The commit's own error is reported.
      }
    }
    // A record without its journals replays nothing; one that cannot go is never read again.
    for (const std::string& folder : recorded) {
      static_cast<void>(platform::RemoveWholeFile(CommitRecordPath(folder, group)));
    }
    throw;
  }
  // From here on a failure leaves the journals and the record: the tables are completed from
  // them at their next lock. Once every table is written in place the record goes first: a
  // journal of the group left after it is dropped, and has nothing left to write.
  for (TDataTable* t : staged) t->ApplyCommit(sync);
  for (const std::string& folder : recorded) {
    if (!platform::RemoveWholeFile(CommitRecordPath(folder, group))) {
      staged.front()->Raise(VUZODE_WRITEERR, {}, {}, "commit record");
    }
  }
  for (TDataTable* t : staged) t->FinishWrite(end);
  written = 0;
}

void TDataDirectory::Rollback(bool /*flag*/) {
  std::exception_ptr failure;
  for (size_t i = tables_.size(); i-- > 0;) {
    try {
      tables_[i]->RollbackTransaction();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  }
  in_transaction_ = false;
  FreeIdleTables();
  if (failure) std::rethrow_exception(failure);
}
