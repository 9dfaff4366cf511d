// TDataTable: files, buffers and the links through which the files' caches ask the table
// (see the header). Locks are in locking/table_locks.cpp, transactions in
// locking/transactions.cpp.
#include "db/engine/table/data_table.h"

#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/engine/session/table_file_names.h"
#include "db/sql/expressions/field_literal.h"
#include "db/storage/files/file_list.h"

// What the data and BLOB files ask of their table: the same answers for both, on the link base
// class each file declares.
template <typename TLinkBase>
class TTableLink : public TLinkBase {
 public:
  explicit TTableLink(TDataTable& table) : table_(table) {}
  std::string_view DatabaseName() const override { return table_.DatabaseText(); }
  std::string_view TableName() const override { return table_.Name(); }
  bool ForceBufferFlush() const override { return table_.Session().ForceBufferFlush(); }
  bool TransactionLockHeld() const override { return table_.HoldsBuffers(); }
  bool BeforeMissRead() override { return table_.BeforeMissRead(); }
  bool AllowShortRead() const override {
    return (table_.exclusive_ || table_.transaction_lock_held_) && table_.written_;
  }
  void Written() override { table_.Written(); }
  bool FlushForRoom() override { return table_.FlushForRoom(); }

 protected:
  TDataTable& table_;
};

class TTableDataLink : public TTableLink<TDataTableLink> {
 public:
  using TTableLink::TTableLink;
  bool FieldTextValid(const FieldDescriptor& field, std::string_view text) const override {
    return FieldLiteralValid(field, text);
  }
  uint32_t DataCacheBytes() const override { return table_.Session().DataBufferBytes(); }
  uint32_t MaxCachedRecords() const override { return table_.Session().DataBufferCount(); }
};

class TTableBlobLink : public TTableLink<TBlobTableLink> {
 public:
  using TTableLink::TTableLink;
  uint32_t BlobCacheBytes() const override { return table_.Session().BlobBufferBytes(); }
  uint32_t MaxCachedBlocks() const override { return table_.Session().BlobBufferCount(); }
};

namespace {

constexpr uint32_t kInitialBitmapSize = 8192;

}  // namespace

TDataTable::TDataTable(TDataDirectory& directory, std::string name, uint8_t kind)
    : directory_(directory),
      name_(std::move(name)),
      kind_(kind),
      data_link_(std::make_unique<TTableDataLink>(*this)),
      blob_link_(std::make_unique<TTableBlobLink>(*this)),
      data_file_(data_link_.get()),
      blob_file_(blob_link_.get()) {
  index_file_.SetMissCheck([this] { return restartable_reads_ == 0 || BeforeMissRead(); });
  locked_records_.SetSize(kInitialBitmapSize);
  cursor_locked_records_.SetSize(kInitialBitmapSize);
  deferred_unlocks_.SetSize(kInitialBitmapSize);
}

TDataTable::~TDataTable() {
  // A table freed while open (its directory is going away) releases its locks and closes; an
  // error here has no caller to go to, and the files are closed either way.
  if (files_open_) {
    try {
      if (in_transaction_) RollbackTransaction();
      open_count_ = 1;
      CloseFiles(false);
    } catch (const EVUZODEEngineError&) {
      CloseFilesNow();
    }
  }
}

TDataSession& TDataTable::Session() const {
  return directory_.Session();
}

std::string TDataTable::FileNameOf(std::string_view extension) const {
  return directory_.Path() + TableFileName(name_, extension);
}

std::string_view TDataTable::DatabaseText() const {
  return directory_.ErrorDatabaseText();
}

void TDataTable::Raise(uint16_t code, std::string_view field, std::string_view index,
                       std::string_view detail) const {
  RaiseEngineError(code, {}, {}, DatabaseText(), name_, field, index, detail);
}

void TDataTable::PrepareFileNames() {
  data_file_.SetFileName(FileNameOf(kDataExtension));
  index_file_.SetFileName(FileNameOf(kIndexExtension));
  blob_file_.SetFileName(FileNameOf(kBlobExtension));
  for (TFileHandler* file :
       {static_cast<TFileHandler*>(&data_file_), static_cast<TFileHandler*>(&index_file_),
        static_cast<TFileHandler*>(&blob_file_)}) {
    file->SetInMemory(InMemory());
    file->SetExclusive(exclusive_);
    file->SetTemporary(temporary_);
  }
  index_file_.SetTableName(name_);
  index_file_.SetForceBufferFlush(Session().ForceBufferFlush());
}

void TDataTable::ApplySessionFigures() {
  const TDataSession& s = Session();
  // The index cache: the session's bytes per table, at least the eight pages one tree
  // operation may hold.
  index_file_.SetPageCacheCapacity(std::max<uint32_t>(8, s.IndexBufferBytes() / kPageSize));
}

void TDataTable::OpenFiles() {
  ++open_count_;
  if (files_open_) return;
  try {
    OpenFilesNow();
  } catch (...) {
    --open_count_;
    throw;
  }
}

void TDataTable::OpenFilesNow() {
  index_rebuilt_ = false;
  PrepareFileNames();
  try {
    data_file_.Open();
    index_file_.SetTableInfo(static_cast<uint16_t>(data_file_.LanguageId()),
                             static_cast<uint16_t>(data_file_.SortId()), data_file_.Descriptors());
    index_file_.SetEncrypted(data_file_.Encrypted());
    try {
      index_file_.Open();
    } catch (const EVUZODEEngineError& e) {
      if (e.EngineCode() != VUZODE_OSENOENT) throw;
      // A missing index file is made anew, empty, and the cursor rebuilds its indexes.
      index_rebuilt_ = true;
      index_file_.CreateFile();
      index_file_.Close();
      index_file_.Open();
    }
    if (data_file_.BlobFieldCount() > 0) {
      blob_file_.SetBlockSize(data_file_.BlobBlockSize());
      blob_file_.SetEncrypted(data_file_.Encrypted());
      blob_file_.Open();
    }
  } catch (...) {
    CloseFilesNow();
    throw;
  }
  files_open_ = true;
  ApplySessionFigures();
  read_only_ = data_file_.ReadOnly() || index_file_.ReadOnly() || blob_file_.ReadOnly();
  read_only_attribute_ = data_file_.ReadOnlyAttribute() || index_file_.ReadOnlyAttribute() ||
                         blob_file_.ReadOnlyAttribute();
  if (read_only_attribute_) read_only_ = true;
  read_index_token_ = read_blob_token_ = query_read_index_token_ = query_read_blob_token_ = 0;
  // A commit that did not finish is completed (or its torn journal dropped) before the table's
  // first use, also by a reader that will take no lock.
  try {
    SetJournalPath();
    RecoverFoundJournal();
  } catch (...) {
    CloseFilesNow();
    throw;
  }
  TakeWarmCaches();
}

void TDataTable::KeepWarmCaches() {
  if (InMemory() || temporary_ || !files_open_ || index_rebuilt_ || journal_pending_) return;
  TWarmTable warm;
  warm.DataPath = data_file_.FileName();
  if (!data_file_.Stamp(warm.Stamps[0]) || !index_file_.Stamp(warm.Stamps[1])) return;
  if (!platform::StampSettled(warm.Stamps[0]) || !platform::StampSettled(warm.Stamps[1])) return;
  warm.Records = data_file_.TakeRecordCache();
  if (!warm.Records) return;
  warm.Pages = index_file_.TakePages();
  directory_.WarmCaches().Keep(std::move(warm));
}

void TDataTable::TakeWarmCaches() {
  if (InMemory() || temporary_) return;
  std::optional<TWarmTable> warm = directory_.WarmCaches().Take(data_file_.FileName());
  if (!warm) return;
  platform::TFileStamp data, index;
  if (!data_file_.Stamp(data) || !index_file_.Stamp(index) || data != warm->Stamps[0] ||
      index != warm->Stamps[1]) {
    return;
  }
  if (data_file_.AdoptRecordCache(std::move(warm->Records)))
    index_file_.AdoptPages(std::move(warm->Pages));
}

void TDataTable::CloseFilesNow() {
  blob_file_.Close();
  index_file_.Close();
  data_file_.Close();
  // An index file recreated at this open and not yet rebuilt holds no key of the table's
  // records. Kept, the next open would take it for the table's index and never rebuild it, so
  // it goes with the failed or unfinished open and the next open recreates it. Removal is
  // best effort: when it fails (another process has the file open) the file stays, as it
  // would have without this step, and the caller's own outcome stands.
  if (index_rebuilt_) FileList().DeleteFile(index_file_.FileName(), InMemory());
  files_open_ = false;
  index_rebuilt_ = false;
  written_ = false;
  journal_.Clear();
  journal_published_ = journal_pending_ = hold_for_journal_ = false;
}

void TDataTable::CloseFiles(bool discard) {
  if (!files_open_) return;
  if (open_count_ > 0) --open_count_;
  if (in_transaction_ || open_count_ > 0) return;
  // Whatever fails on the way, the locks go and the files close; the first error is passed on.
  std::exception_ptr failure;
  try {
    if (exclusive_ && !read_only_) {
      if (discard && temporary_) {
        DiscardBuffers(true, false);
      } else {
        FlushBuffers(true);
      }
    }
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    ReleaseRecordLocks(false);
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  cursor_locked_records_.ClearAll();
  try {
    EndRead();
    EndQueryRead();
    EndWrite();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  read_lock_held_ = query_read_lock_held_ = write_lock_held_ = write_slots_held_ = false;
  read_index_token_ = read_blob_token_ = query_read_index_token_ = query_read_blob_token_ = 0;
  if (!failure) KeepWarmCaches();
  CloseFilesNow();
  if (failure) std::rethrow_exception(failure);
}

void TDataTable::CreateFiles(const TTableDefinition& definition) {
  PrepareFileNames();
  data_file_.SetExclusive(true);
  index_file_.SetExclusive(true);
  blob_file_.SetExclusive(true);
  bool dataCreated = false;
  bool indexCreated = false;
  bool blobCreated = false;
  try {
    // Checks the definition's sizes first, then creates the file.
    data_file_.InitializeHeader(DataFileDefinitionOf(definition));
    dataCreated = true;
    if (definition.LastAutoIncrement > 0) data_file_.SetLastRowId(definition.LastAutoIncrement);
    data_file_.WriteHeader(true);
    data_file_.WriteDescriptors();
    index_file_.SetTableInfo(static_cast<uint16_t>(data_file_.LanguageId()),
                             static_cast<uint16_t>(data_file_.SortId()), data_file_.Descriptors());
    index_file_.SetEncrypted(data_file_.Encrypted());
    index_file_.CreateFile();
    indexCreated = true;
    if (!definition.Indexes.empty()) index_file_.DefinePrimaryIndex(definition.Indexes[0]);
    if (definition.Indexes.empty()) index_file_.SetNoPrimaryIndex(true);
    for (size_t i = 1; i < definition.Indexes.size(); ++i) {
      index_file_.AddSecondaryIndex(definition.Indexes[i]);
    }
    if (definition.TextIndex.FieldCount > 0) {
      // A definition taken from another table carries that table's page links; a new file has
      // no free pages and no parameter page yet.
      IndexDescriptor text = definition.TextIndex;
      text.FirstFreePage = text.ParameterPage = 0;
      index_file_.SetIndexDefinition(kTextSlot, text);
    }
    index_file_.WriteHeader(true);
    if (data_file_.BlobFieldCount() > 0) {
      blob_file_.SetBlockSize(data_file_.BlobBlockSize());
      blob_file_.SetEncrypted(data_file_.Encrypted());
      blob_file_.CreateFile();
      blobCreated = true;
    }
  } catch (...) {
    // Nothing half-made stays behind: close and remove every file this call created, also
    // one whose creation failed after the file was made (its first header write).
    const bool memory = InMemory();
    dataCreated = dataCreated || data_file_.Opened();
    indexCreated = indexCreated || index_file_.Opened();
    blobCreated = blobCreated || blob_file_.Opened();
    blob_file_.Close();
    index_file_.Close();
    data_file_.Close();
    if (blobCreated) FileList().DeleteFile(blob_file_.FileName(), memory);
    if (indexCreated) FileList().DeleteFile(index_file_.FileName(), memory);
    if (dataCreated) FileList().DeleteFile(data_file_.FileName(), memory);
    throw;
  }
  ++open_count_;
  files_open_ = true;
  written_ = true;
  read_only_ = read_only_attribute_ = false;
  ApplySessionFigures();
  SetJournalPath();
}

void TDataTable::DeleteFiles() {
  PrepareFileNames();
  data_file_.DeleteFile();
  // A table may lack its index file (its next open would recreate it); it still goes whole.
  if (index_file_.FileExists()) index_file_.DeleteFile();
  if (blob_file_.FileExists()) blob_file_.DeleteFile();
  // A journal left behind goes with the table: it must never be applied to a later table of
  // the same name.
  TFileHandler journal;
  journal.SetFileName(FileNameOf(kJournalExtension));
  journal.SetInMemory(InMemory());
  if (!InMemory() && journal.FileExists()) journal.DeleteFile();
}

void TDataTable::RenameFiles(std::string_view newName, bool backup) {
  PrepareFileNames();
  struct TPair {
    TFileHandler* File;
    std::string_view Normal;
    std::string_view Backup;
  };
  // A journal left behind moves with the files it completes.
  TFileHandler journal;
  journal.SetFileName(FileNameOf(kJournalExtension));
  journal.SetInMemory(InMemory());
  const TPair files[] = {{&data_file_, kDataExtension, kDataBackupExtension},
                         {&index_file_, kIndexExtension, kIndexBackupExtension},
                         {&blob_file_, kBlobExtension, kBlobBackupExtension},
                         {&journal, kJournalExtension, kJournalBackupExtension}};
  const std::string base = HasPath(newName) || InMemory()
                               ? std::string(newName)
                               : directory_.Path() + std::string(newName);
  // A rename never stops half-way: every target is checked before the first file moves, and
  // a failure part-way moves the files already renamed back.
  if (!backup) {
    for (const TPair& p : files) {
      TFileHandler target;
      target.SetFileName(TableFileName(base, p.Normal));
      target.SetInMemory(InMemory());
      if (p.File->FileExists() && target.FileExists()) Raise(VUZODE_TABLEEXISTS, {}, {}, base);
    }
  }
  std::vector<std::pair<TFileHandler*, std::string>> moved;
  try {
    for (const TPair& p : files) {
      const std::string target = TableFileName(base, backup ? p.Backup : p.Normal);
      // An older backup goes whole, also a file the table being backed up does not have: a
      // backup set never mixes files of two tables.
      if (backup) {
        TFileHandler old;
        old.SetFileName(target);
        old.SetInMemory(InMemory());
        if (old.FileExists()) old.DeleteFile();
      }
      if (!p.File->FileExists()) continue;
      const std::string source = p.File->FileName();
      p.File->RenameFile(target);
      moved.emplace_back(p.File, source);
    }
  } catch (...) {
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
      try {
        it->first->RenameFile(it->second);
      } catch (const EVUZODEEngineError&) {
        // The first error is reported; a file that cannot move back keeps its new name.
      }
    }
    throw;
  }
}

void TDataTable::EmptyFiles() {
  const TTextIndexParameters parameters = ReadTextIndexParameters(index_file_);
  const bool hadText = index_file_.Descriptor(kTextSlot).KeyLength != 0 &&
                       index_file_.Descriptor(kTextSlot).FieldCount > 0;
  DiscardBuffers(true, false);
  data_file_.EmptyFile();
  index_file_.EmptyFile();
  if (HasBlobFile()) blob_file_.EmptyFile();
  // The text index parameters live in index pages; an emptied file keeps them.
  if (hadText) WriteTextIndexParameters(index_file_, parameters);
  FlushBuffers(true, true);
}

void TDataTable::FlushBuffers(bool trim, bool forceHeaders, bool flush) {
  if (!files_open_) return;
  const bool sync = flush || Session().ForceBufferFlush();
  if (JournalOn() && !read_only_) {
    // A commit of this session left in its journal is completed first; a write-through that
    // has anything to write holds the write lock (or the table exclusively), which the replay
    // needs too.
    if (journal_pending_ && (write_lock_held_ || !TakesLocks())) RecoverJournal();
    if (StageCommit(forceHeaders)) {
      PublishCommit(0, sync);
      FinishCommit(false, sync);
    }
  } else {
    WriteInPlace(forceHeaders, sync);
  }
  if (trim) TrimBuffers();
}

void TDataTable::TrimBuffers() {
  // Nothing is dirty after a write-through: the index cache may trim also while it would
  // otherwise hold its pages.
  const bool held = index_file_.HoldDirtyPages();
  index_file_.SetHoldDirtyPages(false);
  data_file_.TrimRecords();
  index_file_.TrimPages();
  if (HasBlobFile()) blob_file_.TrimBlocks();
  index_file_.SetHoldDirtyPages(held);
}

bool TDataTable::WriteBuffers(bool forceHeaders) {
  bool wrote = data_file_.FlushRecords();
  wrote = data_file_.WriteDescriptors() || wrote;
  wrote = index_file_.FlushPages() || wrote;
  wrote = index_file_.WriteHeader(forceHeaders) || wrote;
  if (HasBlobFile()) {
    wrote = blob_file_.FlushBlocks() || wrote;
    wrote = blob_file_.WriteHeader(forceHeaders) || wrote;
  }
  // The data header last: its change counter tells other sessions the change is complete.
  return data_file_.WriteHeader(forceHeaders) || wrote;
}

void TDataTable::WriteInPlace(bool forceHeaders, bool sync) {
  if (!WriteBuffers(forceHeaders)) return;
  written_ = true;
  if (sync) {
    data_file_.Flush();
    index_file_.Flush();
    if (HasBlobFile()) blob_file_.Flush();
  }
}

void TDataTable::DiscardBuffers(bool trim, bool reloadHeaders) {
  if (!files_open_) return;
  data_file_.DiscardRecords();
  index_file_.DiscardPages();
  if (HasBlobFile()) blob_file_.DiscardBlocks();
  if (reloadHeaders) {
    data_file_.ReadHeader();
    index_file_.ReadHeader();
    if (HasBlobFile()) blob_file_.ReadHeader();
  }
  if (trim) {
    data_file_.TrimRecords();
    index_file_.TrimPages();
    if (HasBlobFile()) blob_file_.TrimBlocks();
  }
}

void TDataTable::GrowBitmaps() {
  const uint32_t size = data_file_.RecordCount() + 1;
  for (TRecordsBitmap* b : {&locked_records_, &cursor_locked_records_, &deferred_unlocks_}) {
    if (b->BitCount() < size) b->SetSize(size);
  }
}
