// The copy path of RestructureTable: every record converted into a work table of the new
// definition in the session's private directory (the in-memory database for an in-memory
// table), which then takes the table's place.
//
// The swap keeps the table whole at every step (restructure.h invariant (1)):
//   1. stale backup files of the table's name are deleted;
//   2. the table's files move to their backup names (.DBK, .IBK, .BBK);
//   3. the work table's files move to the table's names, copied when the private directory
//      lies on another file system (the rename answers VUZODE_OSENOTSAM);
//   4. with noBackup (always for an in-memory table) the backup files are deleted.
// A failure in 2 or 3 moves what was moved back, so the table's own files are where they were.
#include <cstring>
#include <string>
#include <vector>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/engine/session/table_file_names.h"
#include "db/engine/table/restructure.h"
#include "db/sql/expressions/exp_token.h"
#include "db/sql/expressions/value_conversion.h"
#include "db/storage/blob/blob_chain.h"
#include "db/storage/files/file_handler.h"
#include "db/storage/index/text_index.h"

namespace {

// A table's files, with the journal a commit may have left, which moves and goes with them.
constexpr std::string_view kExtensions[4] = {kDataExtension, kIndexExtension, kBlobExtension,
                                             kJournalExtension};
constexpr std::string_view kBackups[4] = {kDataBackupExtension, kIndexBackupExtension,
                                          kBlobBackupExtension, kJournalBackupExtension};

void Name(TFileHandler& file, const std::string& name, bool memory) {
  file.SetFileName(name);
  file.SetInMemory(memory);
}

bool Exists(const std::string& name, bool memory) {
  TFileHandler file;
  Name(file, name, memory);
  return file.FileExists();
}

void DeleteIfThere(const std::string& name, bool memory) {
  TFileHandler file;
  Name(file, name, memory);
  if (file.FileExists()) file.DeleteFile();
}

// Moves from to to; across file systems by copying and deleting the source.
void MoveFile(const std::string& from, const std::string& to, bool memory) {
  TFileHandler file;
  Name(file, from, memory);
  try {
    file.RenameFile(to);
    return;
  } catch (const EVUZODEEngineError& e) {
    if (e.EngineCode() != VUZODE_OSENOTSAM) throw;
  }
  try {
    file.Open();
    file.SaveToFile(to, 100, nullptr, nullptr);
    file.Close();
  } catch (...) {
    file.Close();
    try {
      DeleteIfThere(to, memory);
    } catch (const EVUZODEEngineError&) {
      // The copy's failure is reported; a partial copy is not the table's file.
    }
    throw;
  }
  file.DeleteFile();
}

// Moves each existing file of from to the same place in to; all or none.
void MoveAll(const std::vector<std::string>& from, const std::vector<std::string>& to,
             bool memory) {
  std::vector<size_t> moved;
  try {
    for (size_t i = 0; i < from.size(); ++i) {
      if (!Exists(from[i], memory)) continue;
      MoveFile(from[i], to[i], memory);
      moved.push_back(i);
    }
  } catch (...) {
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
      try {
        MoveFile(to[*it], from[*it], memory);
      } catch (const EVUZODEEngineError&) {
        // The first failure is reported; a file that cannot move back keeps its new name.
      }
    }
    throw;
  }
}

std::vector<std::string> NamesOf(const std::string& path, const std::string& table,
                                 const std::string_view (&extensions)[4]) {
  std::vector<std::string> names;
  for (std::string_view e : extensions) names.push_back(path + TableFileName(table, e));
  return names;
}

// Puts the work table in the table's place (the steps above).
void SwapIn(const std::vector<std::string>& table, const std::vector<std::string>& backups,
            const std::vector<std::string>& work, bool deleteBackups, bool memory) {
  // Nothing moves unless the work table is there to take the table's place.
  if (!Exists(work[0], memory)) RaiseEngineError(VUZODE_OSENOENT, {}, {}, {}, work[0]);
  for (const std::string& b : backups) DeleteIfThere(b, memory);
  MoveAll(table, backups, memory);
  try {
    MoveAll(work, table, memory);
  } catch (...) {
    try {
      MoveAll(backups, table, memory);
    } catch (const EVUZODEEngineError&) {
      // The table stays under its backup names, from where a repair takes it.
    }
    throw;
  }
  if (deleteBackups) {
    for (const std::string& b : backups) DeleteIfThere(b, memory);
  }
}

// Tells the data-loss callback; answers whether to go on.
class TLossReport {
 public:
  explicit TLossReport(const TRestructureCallbacks& callbacks)
      : callbacks_(callbacks), carry_on_(static_cast<bool>(callbacks.DataLoss)) {}
  bool Tell(TDataLossKind kind, std::string_view text) {
    if (!stop_asking_ && callbacks_.DataLoss) {
      callbacks_.DataLoss(kind, text, stop_asking_, carry_on_);
    }
    return carry_on_;
  }

 private:
  const TRestructureCallbacks& callbacks_;
  bool stop_asking_ = false;
  bool carry_on_;
};

// The new field that continues the old field number: continues[i] is the number the
// definition gave the work table's field i. Null when none does.
const FieldDescriptor* FieldContinuing(const std::vector<FieldDescriptor>& fields,
                                       const std::vector<uint16_t>& continues, uint16_t number) {
  for (size_t i = 0; i < continues.size() && i < fields.size(); ++i) {
    if (continues[i] == number && !fields[i].Computed) return &fields[i];
  }
  return nullptr;
}

// The old value of a non-BLOB field as an expression value.
void LoadValue(const uint8_t* image, const FieldDescriptor& field, TExpToken& value) {
  value.Reset();
  value.ValueType = field.Type;
  value.SubType = field.SubType;
  value.Scale = field.Scale;
  if (field.IsAutoIncrement()) {
    value.SetValueSize(4);
    std::memcpy(value.Value(), image + kRowIdOffset, 4);
  } else {
    value.SetValueSize(field.StoredLength);
    std::memcpy(value.Value(), image + field.Offset + 1, field.StoredLength);
  }
  value.IsNull = 0;
}

// Converts value into the new field of record; false when it does not fit.
bool StoreConverted(const TExpToken& value, const FieldDescriptor& field, uint8_t* record) {
  TExpToken converted;
  if (!ConvertValue(value, converted, field.Type, field.SubType, field.StoredLength, field.Scale)) {
    return false;
  }
  if (field.Type == kFieldString) {
    // A text cut to the new size loses its end: that is a loss like any other.
    TExpToken whole;
    if (!ConvertValue(value, whole, kFieldString, 0, 4096, 0) ||
        whole.StringValue().size() != converted.StringValue().size()) {
      return false;
    }
  }
  if (field.IsAutoIncrement()) return true;
  record[field.Offset] = 1;
  const size_t size =
      std::min<size_t>(static_cast<size_t>(converted.ValueSize()), field.StoredLength);
  std::memset(record + field.Offset + 1, 0, field.StoredLength);
  std::memcpy(record + field.Offset + 1, converted.Value(), size);
  return true;
}

bool CopyBlob(TDataTable& table, TDataCursor& work, const TBlobReference& blob,
              const FieldDescriptor& field, uint8_t* record) {
  if (field.Type != kFieldBlob || !table.HasBlobFile()) return false;
  const std::vector<uint8_t> bytes = LoadChain(table.BlobFile(), blob.FirstBlock, blob.Revision);
  uint32_t size = 0;
  work.CheckCode(work.OpenBlob(field.FieldNumber, record, size, true, true, 2));
  work.CheckCode(work.PutBlob(field.FieldNumber, record, true, 0,
                              static_cast<int64_t>(bytes.size()), bytes.data()));
  return true;
}

bool IsDataLoss(uint16_t code) {
  return code == VUZODE_KEYVIOL || code == VUZODE_REQDERR || code == VUZODE_MINVALERR ||
         code == VUZODE_MAXVALERR;
}

// Copies every active record of cursor's table into work; false when told to stop.
bool CopyRecords(TDataCursor& cursor, TDataCursor& work, const std::vector<uint16_t>& continues,
                 const TRestructureCallbacks& callbacks) {
  TDataTable& table = *cursor.Table();
  TDataFile& data = table.DataFile();
  const std::vector<FieldDescriptor>& fields = work.FieldDescriptors();
  const bool keepsRowIds = work.HasAutoIncrement();
  work.SetSuppressAutoInc(keepsRowIds);
  TLossReport loss(callbacks);
  TProgressSteps progress(callbacks.Progress, table.Session().ProgressPercentStep());
  std::vector<uint8_t> record(work.RecordSize());
  std::vector<uint8_t> old(data.Header().RecordSize);
  TExpToken value;
  const uint32_t highest = data.RecordCount();
  for (uint32_t n = 1; n <= highest; ++n) {
    TRecord stored = data.FetchRecordSettled(n, true);
    const bool deleted = stored.Deleted();
    if (!deleted) std::memcpy(old.data(), stored.Image().data(), old.size());
    data.Unpin(stored);
    if (deleted) continue;
    std::fill(record.begin(), record.end(), 0);
    std::memcpy(record.data() + kRowIdOffset, old.data() + kRowIdOffset, 4);
    for (const FieldDescriptor& from : data.Descriptors()) {
      const FieldDescriptor* to = FieldContinuing(fields, continues, from.FieldNumber);
      if (to == nullptr) {
        if (!loss.Tell(kLossFieldDropped, from.Name)) return false;
        continue;
      }
      if (!from.IsAutoIncrement() && old[from.Offset] == 0) continue;
      bool copied = true;
      if (from.Type == kFieldBlob) {
        TBlobReference blob;
        if (GetFieldBlob(TConstRecordImage(old.data(), old.size()), from, blob) &&
            blob.FirstBlock != 0) {
          copied = CopyBlob(table, work, blob, *to, record.data());
        }
      } else if (to->Type == kFieldBlob) {
        copied = false;
      } else {
        LoadValue(old.data(), from, value);
        copied = StoreConverted(value, *to, record.data());
      }
      if (!copied && !loss.Tell(kLossConversion, from.Name)) return false;
    }
    try {
      work.AppendRecord(record.data(), false);
    } catch (const EVUZODEEngineError& e) {
      if (!IsDataLoss(e.EngineCode())) throw;
      work.FreeAllBlobs(true);
      const TDataLossKind kind =
          e.EngineCode() == VUZODE_KEYVIOL ? kLossDuplicateKey : kLossValidity;
      if (!loss.Tell(kind, kind == kLossDuplicateKey ? e.ContextIndex() : e.ContextField())) {
        return false;
      }
    }
    if (!progress.Record(n, highest)) return false;
  }
  return progress.Finish();
}

}  // namespace

bool CopyIntoNewStructure(TDataCursor& cursor, const TTableDefinition& definition, bool noBackup,
                          const TRestructureCallbacks& callbacks) {
  TDataTable& table = *cursor.Table();
  const bool memory = table.InMemory();
  TDataSession& session = cursor.Directory().Session();
  const bool addPassword = definition.Encrypted && !session.HasPassword(definition.Password);
  if (addPassword) session.AddPassword(definition.Password);
  TDataDirectory& workDirectory = memory ? session.OpenDirectory("Memory", {})
                                         : session.OpenDirectory({}, session.GetPrivateDir());
  const uint8_t kind = table.Kind();
  std::string workName;
  bool copied = false;
  try {
    // The definition's field numbers say which old field each new one continues; the work
    // table numbers its fields by position, as every table does.
    std::vector<uint16_t> continues;
    TTableDefinition positional = definition;
    for (size_t i = 0; i < positional.Fields.size(); ++i) {
      continues.push_back(positional.Fields[i].FieldNumber);
      positional.Fields[i].FieldNumber = static_cast<uint16_t>(i + 1);
    }
    workName = workDirectory.CreateWorkTable(kind, positional);
    TDataCursor work(workDirectory);
    work.SetTableName(workName);
    work.SetExclusive(true);
    work.SetInMemory(memory);
    work.OpenCursor();
    // The work table is created without text index parameters: it takes the definition's
    // (given, or kept from the table) before any record's words are indexed.
    if (definition.TextIndex.FieldCount > 0) {
      WriteTextIndexParameters(work.Table()->IndexFile(), TextIndexParametersOf(definition));
    }
    work.SetIndexNumber(kRecordOrder);
    copied = CopyRecords(cursor, work, continues, callbacks);
    if (copied) {
      TDataTable& made = *work.Table();
      if (definition.LastAutoIncrement > made.DataFile().Header().LastRowId) {
        made.DataFile().SetLastRowId(definition.LastAutoIncrement);
      }
    }
    work.CloseCursor(!copied);
    const std::string tableName = cursor.TableName();
    cursor.CloseCursor();
    if (copied) {
      const std::string& path = cursor.Directory().Path();
      SwapIn(NamesOf(path, tableName, kExtensions), NamesOf(path, tableName, kBackups),
             NamesOf(workDirectory.Path(), workName, kExtensions), noBackup || memory, memory);
    } else {
      workDirectory.DeleteTable(workName, kind);
    }
  } catch (...) {
    if (!workName.empty()) {
      for (const std::string& f : NamesOf(workDirectory.Path(), workName, kExtensions)) {
        try {
          DeleteIfThere(f, memory);
        } catch (const EVUZODEEngineError&) {
          // The restructuring's own failure is the one reported.
        }
      }
    }
    session.CloseDirectory(&workDirectory);
    if (addPassword) session.RemovePassword(definition.Password);
    throw;
  }
  session.CloseDirectory(&workDirectory);
  if (addPassword) session.RemovePassword(definition.Password);
  return copied;
}
