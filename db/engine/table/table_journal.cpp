// TDataTable's commit journal: every write of the table's buffers is gathered into the journal
// (the files' writes are captured, see TFileHandler::SetCapture), the journal is written beside
// the table (and synced, with the directory, when the session forces flushes), then the units
// are written in place (synced likewise) and the journal is removed. A journal found beside
// the table when a lock is taken is replayed under the write lock.
//
// Invariants:
//   (1) Nothing is written in place before the journal file is complete (PublishCommit before
//       FinishCommit); a commit whose journal cannot be written leaves the files untouched and
//       the table's buffers are dropped, so the table reads as before.
//   (2) Once the journal is complete the commit has happened: a failure while writing in place
//       leaves the journal (journal_pending_), and the table is completed from it before its
//       next write-through or lock (RecoverJournal).
//   (3) A journal of a group (a transaction over several tables) is replayed only while the
//       group's commit record is whole (commit_record.h).
#include <cerrno>

#include "db/engine/errors/engine_error.h"
#include "db/engine/locking/commit_record.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/engine/session/table_file_names.h"
#include "db/engine/table/data_table.h"
#include "platform/os/os_error.h"
#include "platform/os/path.h"
#include "platform/os/whole_file.h"

namespace {

constexpr std::string_view kJournalDetail = "commit journal";

}  // namespace

bool TDataTable::JournalOn() const {
  return !InMemory() && !temporary_ && Session().CommitJournal();
}

void TDataTable::SetJournalPath() {
  journal_path_.clear();
  if (InMemory()) return;
  // Beside the data file under its on-disk spelling: checking for a journal is then one stat.
  const std::string data = platform::ResolveFileName(data_file_.FileName());
  const size_t dot = data.size() >= kDataExtension.size() ? data.size() - kDataExtension.size() : 0;
  journal_path_ = data.substr(0, dot) + std::string(kJournalExtension);
}

void TDataTable::SetCapture(bool on) {
  data_file_.SetCapture(on ? &journal_ : nullptr, 0);
  index_file_.SetCapture(on ? &journal_ : nullptr, 1);
  blob_file_.SetCapture(on && HasBlobFile() ? &journal_ : nullptr, 2);
  flushing_ = on;
}

bool TDataTable::FlushForRoom() {
  // Never inside a change or a transaction: their units stay until the commit writes them.
  if (flushing_ || HoldsBuffers() || !files_open_ || read_only_ || !JournalOn()) return false;
  FlushBuffers();
  return true;
}

bool TDataTable::StageCommit(bool forceHeaders) {
  journal_.Clear();
  journal_published_ = false;
  try {
    SetCapture(true);
    WriteBuffers(forceHeaders);
  } catch (...) {
    SetCapture(false);
    AbandonCommit();
    throw;
  }
  SetCapture(false);
  if (exclusive_) {
    hold_for_journal_ = false;
    UpdateHoldDirtyPages();
  }
  return !journal_.Empty();
}

void TDataTable::PublishCommit(uint64_t group, bool sync) {
  journal_.SetGroupId(group);
  // What went straight past the files' ends is on disk before the journal that refers to it.
  if (sync) {
    try {
      if (journal_.HasWritesThrough(0)) data_file_.Flush();
      if (journal_.HasWritesThrough(1)) index_file_.Flush();
      if (journal_.HasWritesThrough(2)) blob_file_.Flush();
    } catch (...) {
      AbandonCommit();
      throw;
    }
  }
  const std::vector<uint8_t> header = journal_.Header();
  const std::vector<uint8_t> trailer = journal_.Trailer(header);
  // With forced flushes the journal's directory entry is made durable too: a synced journal
  // that a power loss unlinks would lose a commit already reported.
  if (!platform::WriteWholeFile(journal_path_, {header, journal_.Units(), trailer}, sync) ||
      (sync && !platform::SyncDirectory(platform::FileDirectory(journal_path_)))) {
    const int error = platform::LastOsError();
    journal_published_ = true;  // a part of it may be on disk
    AbandonCommit();
    platform::SetLastOsError(error);
    Raise(VUZODE_WRITEERR, {}, {}, kJournalDetail);
  }
  journal_published_ = true;
  written_ = true;
}

void TDataTable::FinishCommit(bool trim, bool sync) {
  ApplyCommit(sync);
  CloseCommit(trim);
}

void TDataTable::ApplyCommit(bool sync) {
  TFileHandler* files[kJournalFiles] = {&data_file_, &index_file_,
                                        HasBlobFile() ? &blob_file_ : nullptr};
  try {
    journal_.Apply(files);
    if (sync) {
      data_file_.Flush();
      index_file_.Flush();
      if (HasBlobFile()) blob_file_.Flush();
    }
  } catch (...) {
    // (2): the commit stands in its journal.
    journal_pending_ = true;
    journal_.Clear();
    throw;
  }
  journal_.Clear();
}

void TDataTable::CloseCommit(bool trim) {
  journal_published_ = false;
  if (!platform::RemoveWholeFile(journal_path_)) {
    journal_pending_ = true;
    Raise(VUZODE_WRITEERR, {}, {}, kJournalDetail);
  }
  if (trim) TrimBuffers();
}

void TDataTable::AbandonCommit() {
  std::exception_ptr failure;
  if (journal_published_ && !platform::RemoveWholeFile(journal_path_)) {
    // A complete journal that cannot be removed would later be taken for a commit.
    journal_pending_ = true;
    try {
      Raise(VUZODE_WRITEERR, {}, {}, kJournalDetail);
    } catch (...) {
      failure = std::current_exception();
    }
  }
  journal_.Clear();
  journal_published_ = false;
  // The captured units were taken out of the caches as if written: the files are as before,
  // and so must the table be.
  try {
    DiscardBuffers(true, true);
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

void TDataTable::RecoverFoundJournal() {
  if (!JournalFound()) return;
  if (write_lock_held_ || !TakesLocks()) {
    RecoverJournal();
    return;
  }
  // Taking the write lock replays it (BeginWrite).
  BeginWrite();
  EndWrite();
}

bool TDataTable::JournalFound() const {
  return !journal_path_.empty() && !read_only_ && files_open_ &&
         (journal_pending_ || platform::WholeFileExists(journal_path_));
}

bool TDataTable::RecoverJournal() {
  journal_pending_ = false;
  if (journal_path_.empty() || !platform::WholeFileExists(journal_path_)) return false;
  std::vector<uint8_t> image;
  if (!platform::ReadWholeFile(journal_path_, image)) Raise(VUZODE_READERR, {}, {}, kJournalDetail);
  TCommitJournal found;
  // A torn journal was never followed by a write in place: it is dropped.
  bool replay = found.Parse(image);
  std::string record;
  std::vector<std::string> group;
  if (replay && found.GroupId() != 0) {
    record = CommitRecordPath(platform::FileDirectory(journal_path_), found.GroupId());
    replay = ReadCommitRecord(record, found.GroupId(), group);
  }
  if (replay) {
    // Stale when any header it writes is neither as before nor as after the commit.
    // Stale too when a file is shorter than the writes the commit made straight to it (a file
    // put back from a backup since).
    std::vector<std::vector<uint8_t>> current(kJournalFiles);
    int64_t sizes[kJournalFiles] = {};
    TFileHandler* files[kJournalFiles] = {&data_file_, &index_file_,
                                          HasBlobFile() ? &blob_file_ : nullptr};
    for (int f = 0; f < kJournalFiles; ++f) {
      if (files[f] != nullptr) sizes[f] = files[f]->GetFileSize();
      const uint32_t length = found.HeaderLength(static_cast<uint8_t>(f));
      if (length == 0 || files[f] == nullptr) continue;
      current[f].resize(length);
      TFileAccess access(*files[f]);
      files[f]->Seek(0);
      current[f].resize(files[f]->Read(current[f].data(), length, true));
    }
    replay = found.Matches(current) && found.Covers(sizes);
    if (replay) {
      found.Apply(files);
      if (Session().ForceBufferFlush()) {
        data_file_.Flush();
        index_file_.Flush();
        if (HasBlobFile()) blob_file_.Flush();
      }
    }
  }
  if (!platform::RemoveWholeFile(journal_path_)) {
    journal_pending_ = true;
    Raise(VUZODE_WRITEERR, {}, {}, kJournalDetail);
  }
  // The group's record goes once none of its journals is left.
  if (!record.empty()) {
    bool left = false;
    for (const std::string& j : group) left = left || platform::WholeFileExists(j);
    // A record that cannot be removed names no journal any more and is never read again.
    if (!left) static_cast<void>(platform::RemoveWholeFile(record));
  }
  DiscardBuffers(true, true);
  return replay;
}
