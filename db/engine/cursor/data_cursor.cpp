// TDataCursor: options, open, close and clone (see the header).
#include "db/engine/cursor/data_cursor.h"

#include <memory>

#include "db/engine/cursor/cursor_environment.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/engine/table/index_rebuild.h"
#include "db/sql/expressions/evaluate.h"

TDataCursor::TDataCursor(TDataDirectory& directory) : directory_(directory) {}

TDataCursor::~TDataCursor() {
  if (!Opened()) return;
  try {
    CloseCursor();
  } catch (const EVUZODEEngineError&) {
    // A destructor has nobody to report to; the table's own close released its locks.
  }
}

void TDataCursor::Raise(uint16_t code, std::string_view field, std::string_view detail) const {
  RaiseEngineError(code, {}, {}, directory_.ErrorDatabaseText(), table_name_, field, {}, detail);
}

void TDataCursor::CheckCode(uint16_t code, std::string_view text) const {
  if (code != 0) Raise(code, {}, text);
}

void TDataCursor::CheckFieldCode(uint16_t code, std::string_view field) const {
  if (code != 0) Raise(code, field);
}

void TDataCursor::RequireClosed() const {
  if (Opened()) Raise(VUZODE_TABLEOPEN);
}

void TDataCursor::RequireTable() {
  if (!Opened()) Raise(VUZODE_NOCURRREC);
  MaterializePendingRows();
}

void TDataCursor::SetTableName(std::string_view name) {
  RequireClosed();
  table_name_ = std::string(name.substr(0, 255));
}
void TDataCursor::SetExclusive(bool value) {
  RequireClosed();
  exclusive_ = value;
}
void TDataCursor::SetReadOnly(bool value) {
  RequireClosed();
  read_only_ = value;
}
void TDataCursor::SetInMemory(bool value) {
  RequireClosed();
  in_memory_ = value;
}
void TDataCursor::SetSharesExclusiveTable(bool value) {
  RequireClosed();
  shares_exclusive_ = value;
}
void TDataCursor::SetResultCursor(bool value) {
  RequireClosed();
  result_cursor_ = value;
}
void TDataCursor::SetLiveResult(bool value) {
  RequireClosed();
  live_result_ = value;
}
void TDataCursor::SetTemporary(bool value) {
  RequireClosed();
  temporary_ = value;
}

void TDataCursor::RequirePassword(const std::string& password) {
  TDataSession& session = directory_.Session();
  while (!session.HasPassword(password)) {
    if (!password_callback_ || !password_callback_(*this)) Raise(VUZODE_NOTSUFFTABLERIGHTS);
  }
}

void TDataCursor::LoadFields() {
  TDataFile& data = table_->DataFile();
  fields_ = data.Descriptors();
  record_size_ = data.RecordSize();
  has_validity_checks_ = has_defaults_ = has_auto_increment_ = false;
  for (const FieldDescriptor& f : fields_) {
    if (f.Required || !f.MinValue.empty() || !f.MaxValue.empty()) has_validity_checks_ = true;
    if (!f.DefaultValue.empty()) has_defaults_ = true;
    if (f.IsAutoIncrement()) has_auto_increment_ = true;
  }
}

void TDataCursor::OpenCursor() {
  if (Opened()) return;
  TOpenTableOptions options;
  options.Kind = Kind();
  options.Exclusive = exclusive_;
  options.Temporary = temporary_;
  options.ResultCursor = result_cursor_;
  options.LiveResult = live_result_;
  options.Sharing = shares_exclusive_;
  int result = 0;
  TDataTable* table = directory_.OpenTable(table_name_, options, result);
  if (result < 0) Raise(static_cast<uint16_t>(-result));
  table_ = table;
  try {
    if (table_->ReadOnly()) read_only_ = true;
    files_read_only_ = table_->ReadOnlyAttribute();
    // The only cursor of a table outside a transaction takes the read lock once, which
    // rereads the headers when another session changed the files since they were cached.
    if (table_->OpenCount() == 1 && (!table_->InTransaction() || !table_->WrittenSinceOpened())) {
      table_->BeginRead();
      table_->EndRead();
    }
    if (table_->DataFile().Encrypted()) RequirePassword(table_->DataFile().TablePassword());
    LoadFields();
    if (table_->IndexRebuilt()) {
      // Written at once, also inside a transaction: the rebuilt index is the file's content, not
      // a change of the transaction, and a rollback that discarded it would leave the recreated
      // file empty for good. The files were opened just now, so nothing else is dirty. Only a
      // written index counts as rebuilt; until then closing the files removes it again.
      // Under the write lock, so no other process reads or rebuilds the index meanwhile.
      table_->BeginWrite();
      try {
        RebuildIndexes(*table_);
        table_->FlushBuffers();
      } catch (...) {
        table_->EndWrite();
        throw;
      }
      table_->EndWrite();
      table_->ClearIndexRebuilt();
    }
    stored_size_ = record_size_;
    record_buffer_.assign(record_size_, 0);
    read_depth_ = 0;
    snapshot_taken_ = false;
    ClearPosition();
    // The first reads, once more under the read lock when another session's change met by a
    // cache miss meanwhile stopped them.
    TMissLockScope missLock(*this);
    auto firstReads = [&] {
      LoadIndex(live_result_ ? kRecordOrder : 0);
      RebuildView();
      TakeSnapshot();
      GoFirst();
    };
    Restartable(firstReads, firstReads);
    if (!(bof_ && eof_)) {
      bof_ = true;
      logical_ = 0;
    }
  } catch (...) {
    TDataTable* opened = table_;
    table_ = nullptr;
    fields_.clear();
    try {
      directory_.CloseTable(opened, false, result_cursor_ == live_result_);
    } catch (const EVUZODEEngineError&) {
      // The open's own error is the one to report.
    }
    throw;
  }
}

void TDataCursor::CloseCursor(bool discard) {
  if (!Opened()) return;
  // A temporary table goes away with the cursor: rows it never took need not reach it.
  if (pending_ && temporary_) DropPendingRows();
  MaterializePendingRows();
  TDataTable* table = table_;
  FreeAllBlobs(true);
  filters_.clear();
  text_parameters_loaded_ = false;
  std::exception_ptr failure;
  try {
    if (text_parameters_set_ && !table->ReadOnly()) {
      WriteTextIndexParameters(table->IndexFile(), text_parameters_);
    }
  } catch (...) {
    failure = std::current_exception();
  }
  text_parameters_set_ = false;
  table_ = nullptr;
  evaluator_.reset();
  environment_.reset();
  computed_trees_.clear();
  fields_.clear();
  record_size_ = stored_size_ = 0;
  record_buffer_.clear();
  visible_.SetSize(0);
  ClearPosition();
  read_depth_ = 0;
  snapshot_taken_ = false;
  view_stale_ = false;
  try {
    const int result = directory_.CloseTable(table, discard, result_cursor_ == live_result_);
    if (result < 0 && !failure) Raise(static_cast<uint16_t>(-result));
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

std::unique_ptr<TDataCursor> TDataCursor::CloneCursor() {
  MaterializePendingRows();
  auto clone = std::make_unique<TDataCursor>(directory_);
  clone->table_name_ = table_name_;
  clone->exclusive_ = exclusive_;
  clone->shares_exclusive_ = exclusive_;
  clone->read_only_ = read_only_;
  clone->in_memory_ = in_memory_;
  clone->result_cursor_ = result_cursor_;
  clone->live_result_ = live_result_;
  clone->temporary_ = temporary_;
  clone->password_callback_ = password_callback_;
  clone->OpenCursor();
  return clone;
}

void TDataCursor::FlushBuffers() {
  if (!Opened()) return;
  MaterializePendingRows();
  table_->FlushBuffers();
}
