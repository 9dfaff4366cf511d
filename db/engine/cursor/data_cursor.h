// TDataCursor: one view of one table. This file holds the cursor's options, its opening and
// closing, and the operations on the whole table (create, delete, rename, empty, index backup
// and restore, reading a closed table's header). Positioning and reading records, filters,
// BLOB access and record changes build on the open state kept here.
//
// Invariants:
//   (1) Options change only while the cursor is closed (VUZODE_TABLEOPEN otherwise).
//   (2) An open cursor counts once in its table's open count (OpenCursor, CloseCursor); a
//       failed open leaves the table as it was and the cursor closed.
//   (3) The field descriptors of an open cursor are its table's (computed fields after them).
// A cursor is used by one thread at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "db/engine/table/data_table.h"
#include "db/engine/table/table_definition.h"
#include "db/storage/data/data_file_header.h"

class TDataDirectory;

class TDataCursor {
 public:
  // Called when the table is encrypted and the session does not know its password: answers
  // whether to try again (after adding the password to the session).
  using TPasswordCallback = std::function<bool(TDataCursor&)>;

  explicit TDataCursor(TDataDirectory& directory);
  ~TDataCursor();  // Closes first.
  TDataCursor(const TDataCursor&) = delete;
  TDataCursor& operator=(const TDataCursor&) = delete;

  TDataDirectory& Directory() const { return directory_; }
  bool Opened() const { return table_ != nullptr; }
  TDataTable* Table() const { return table_; }

  // Options (closed cursor only).
  const std::string& TableName() const { return table_name_; }
  void SetTableName(std::string_view name);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);
  bool InMemory() const { return in_memory_; }
  void SetInMemory(bool value);
  bool SharesExclusiveTable() const { return shares_exclusive_; }
  void SetSharesExclusiveTable(bool value);
  bool ResultCursor() const { return result_cursor_; }
  void SetResultCursor(bool value);
  bool LiveResult() const { return live_result_; }
  void SetLiveResult(bool value);
  bool Temporary() const { return temporary_; }
  void SetTemporary(bool value);
  void SetPasswordCallback(TPasswordCallback callback) { password_callback_ = std::move(callback); }

  // Opens the table through the directory's registry. Raises VUZODE_OSEACCES when the table is
  // held in a conflicting way, VUZODE_NOTSUFFTABLERIGHTS when its password is not known and the
  // callback gives up, and the errors of the files. Rebuilds the indexes when the index file
  // had to be recreated.
  void OpenCursor();
  // Closes; with discard a temporary exclusive table drops its buffers unwritten.
  void CloseCursor(bool discard = false);
  // A new open cursor on the same table with the same options (sharing an exclusive table).
  std::unique_ptr<TDataCursor> CloneCursor();

  // The table's fields as this cursor sees them.
  const std::vector<FieldDescriptor>& FieldDescriptors() const { return fields_; }
  uint32_t RecordSize() const { return record_size_; }
  bool HasValidityChecks() const { return has_validity_checks_; }
  bool HasAutoIncrement() const { return has_auto_increment_; }

  // Whole-table operations.
  // Creates the table of definition (the cursor closed, exclusive, not read-only). Raises
  // VUZODE_NEEDEXCLACCESS, VUZODE_OSEACCES, the definition check's codes, VUZODE_TABLEEXISTS
  // when the table exists and overwrite is false.
  void CreateTable(TTableDefinition definition, bool overwrite);
  // The cursor closed; checks the password; removes or renames the files.
  void DeleteTable();
  void RenameTable(std::string_view newName);
  // An exclusive cursor: empties the three files, keeping definitions and text index
  // parameters.
  void EmptyTable();
  // An exclusive cursor: copies the index file to the table's ".IBK" file, and back.
  void BackupIndex();
  void RestoreIndex(bool keepCurrent, bool deleteBackup);
  // The data file's header: the open table's, else read from the closed file (its password
  // checked for an encrypted table).
  TDataFileHeader ReadDataHeader();
  // Writes the table's buffers (the write path of the table).
  void FlushBuffers();

  // Raises code (not 0) with this cursor's table and database and text as detail (field).
  void CheckCode(uint16_t code, std::string_view text = {}) const;
  void CheckFieldCode(uint16_t code, std::string_view field) const;

 private:
  void RequireClosed() const;
  void RequireExclusiveWritable() const;
  [[noreturn]] void Raise(uint16_t code, std::string_view field = {},
                          std::string_view detail = {}) const;
  // Asks the password callback until the session knows password; raises
  // VUZODE_NOTSUFFTABLERIGHTS when it gives up.
  void RequirePassword(const std::string& password);
  void LoadFields();
  uint8_t Kind() const { return in_memory_ ? kMemoryTable : kDiskTable; }

  TDataDirectory& directory_;
  std::string table_name_;
  bool exclusive_ = false;
  bool read_only_ = false;
  bool in_memory_ = false;
  bool shares_exclusive_ = false;
  bool result_cursor_ = false;
  bool live_result_ = false;
  bool temporary_ = false;
  TPasswordCallback password_callback_;

  TDataTable* table_ = nullptr;
  std::vector<FieldDescriptor> fields_;
  uint32_t record_size_ = 0;
  bool has_validity_checks_ = false;
  bool has_defaults_ = false;
  bool has_auto_increment_ = false;
  bool files_read_only_ = false;
  // Text index parameters given by CreateTable or kept by EmptyTable, stored at close.
  bool text_parameters_set_ = false;
  TTextIndexParameters text_parameters_;
};
