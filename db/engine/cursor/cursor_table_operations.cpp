// The cursor's operations on a whole table: create, delete, rename, empty, index backup and
// restore, and reading the header of a closed table (see data_cursor.h).
#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/engine/session/table_file_names.h"
#include "db/sql/expressions/field_literal.h"
#include "db/storage/files/file_handler.h"
#include "db/storage/scramble.h"

void TDataCursor::RequireExclusiveWritable() const {
  if (!exclusive_) Raise(VUZODE_NEEDEXCLACCESS);
  if (read_only_) Raise(VUZODE_OSEACCES);
}

void TDataCursor::CreateTable(TTableDefinition definition, bool overwrite) {
  RequireClosed();
  RequireExclusiveWritable();
  CheckTableDefinition(definition, &FieldLiteralValid, directory_.ErrorDatabaseText(), table_name_);
  if (!overwrite && directory_.TableExists(table_name_, Kind())) Raise(VUZODE_TABLEEXISTS);
  int result = 0;
  TDataTable* table = directory_.CreateTable(table_name_, Kind(), temporary_, definition, result);
  if (result < 0) Raise(static_cast<uint16_t>(-result));
  // The table was created open and exclusive: store the text index parameters, then close it.
  std::exception_ptr failure;
  try {
    if (definition.TextIndex.FieldCount > 0) {
      WriteTextIndexParameters(table->IndexFile(), TextIndexParametersOf(definition));
    }
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    directory_.CloseTable(table, false);
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) {
    // A table whose parameters could not be stored is not kept half-made.
    try {
      directory_.DeleteTable(table_name_, Kind());
    } catch (const EVUZODEEngineError&) {
      // The first error is reported; a file left behind shows on the next create.
    }
    std::rethrow_exception(failure);
  }
}

void TDataCursor::DeleteTable() {
  if (Opened()) Raise(VUZODE_TABLEOPEN);
  ReadDataHeader();
  const int result = directory_.DeleteTable(table_name_, Kind());
  if (result < 0) Raise(static_cast<uint16_t>(-result));
}

void TDataCursor::RenameTable(std::string_view newName) {
  if (Opened()) Raise(VUZODE_TABLEOPEN);
  ReadDataHeader();
  const int result = directory_.RenameTable(table_name_, newName, Kind(), false);
  if (result < 0) Raise(static_cast<uint16_t>(-result));
}

void TDataCursor::EmptyTable() {
  RequireTable();
  RequireExclusiveWritable();
  if (!text_parameters_set_) {
    text_parameters_ = ReadTextIndexParameters(table_->IndexFile());
    text_parameters_set_ = true;
  }
  table_->EmptyFiles();
}

void TDataCursor::BackupIndex() {
  RequireTable();
  RequireExclusiveWritable();
  table_->FlushBuffers();
  TFileHandler& index = table_->IndexFile();
  const std::string backup = table_->FileNameOf(kIndexBackupExtension);
  index.SaveToFile(backup, directory_.Session().ProgressPercentStep(), nullptr, nullptr);
}

void TDataCursor::RestoreIndex(bool keepCurrent, bool deleteBackup) {
  RequireTable();
  if (!exclusive_) Raise(VUZODE_NEEDEXCLACCESS);
  TIndexFile& index = table_->IndexFile();
  const std::string backup = table_->FileNameOf(kIndexBackupExtension);
  if (!keepCurrent) {
    index.DiscardPages();
    index.LoadFromFile(backup, directory_.Session().ProgressPercentStep(), nullptr, nullptr);
    index.ReadHeader();
  }
  if (deleteBackup) {
    TFileHandler copy;
    copy.SetFileName(backup);
    copy.SetInMemory(in_memory_);
    if (copy.FileExists()) copy.DeleteFile();
  }
}

TDataFileHeader TDataCursor::ReadDataHeader() {
  if (Opened()) {
    MaterializePendingRows();
    return table_->DataFile().Header();
  }
  // A closed table: the header bytes alone, read through a shared handle and not checked
  // further, so that a table whose counters or descriptors are damaged can still be deleted
  // or renamed. A header of another format version (or too short, or with impossible texts)
  // reads as zeros but for its version byte.
  uint8_t bytes[kDataFileHeaderSize] = {};
  {
    TFileHandler file;
    file.SetFileName(directory_.Path() + TableFileName(table_name_, kDataExtension));
    file.SetInMemory(in_memory_);
    file.Open();
    TFileAccess access(file);
    file.Seek(0);
    file.Read(bytes, sizeof bytes, true);
  }
  TDataFileHeader header;
  if (bytes[8] != kDataFormatVersion || !DecodeDataFileHeader(bytes, header)) {
    uint8_t version[kDataFileHeaderSize] = {};
    version[8] = bytes[8];
    DecodeDataFileHeader(version, header);
    return header;
  }
  if (header.Encrypted != 0) {
    std::string password = header.TablePassword;
    Scramble(reinterpret_cast<uint8_t*>(password.data()), password.size(), kHeaderTextKey);
    RequirePassword(password);
  }
  return header;
}
