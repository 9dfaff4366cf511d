// Helpers of the restructuring tests: a people table in its own folder with a private folder
// beside it, and a look at the table from a fresh session (its records in record order with
// their values as text, its field and index names, and what the consistency check finds).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/session/data_session.h"
#include "db/engine/table/restructure.h"
#include "db/engine/table/table_check.h"
#include "db/storage/blob/blob_chain.h"
#include "db/storage/index/text_index.h"
#include "tests/db/engine/table/people_table.h"

namespace engine_test {

struct TTableLook {
  std::vector<std::string> Rows;  // per active record: its values as text, "-" for null
  std::vector<std::string> Fields;
  std::vector<std::string> Indexes;  // secondary index names
  std::vector<std::string> Problems;
  std::vector<std::string> StopWords;  // of the text index, when the table has one
};

inline std::string ValueText(TDataTable& table, TConstRecordImage image,
                             const FieldDescriptor& field) {
  if (IsFieldNull(image, field)) return "-";
  if (field.Type == kFieldBlob) {
    TBlobReference blob;
    if (!GetFieldBlob(image, field, blob) || blob.FirstBlock == 0) return "-";
    const std::vector<uint8_t> bytes = LoadChain(table.BlobFile(), blob.FirstBlock, blob.Revision);
    return std::string(bytes.begin(), bytes.end());
  }
  if (field.Type == kFieldString) {
    std::string text;
    GetFieldString(image, field, text);
    return text;
  }
  int64_t value = 0;
  if (GetFieldInteger(image, field, value)) return std::to_string(value);
  return "?";
}

// Opens name in folder exclusively in a session of its own and reads everything.
inline TTableLook LookAt(const std::string& folder, const std::string& name, bool memory = false) {
  TDataSession session;
  TDataCursor cursor(session.OpenDirectory("look", folder));
  cursor.SetTableName(name);
  cursor.SetExclusive(true);
  cursor.SetInMemory(memory);
  cursor.OpenCursor();
  TDataTable& table = *cursor.Table();
  TTableLook look;
  TDataFile& data = table.DataFile();
  for (const FieldDescriptor& f : data.Descriptors()) look.Fields.push_back(f.Name);
  for (int slot = 1; slot <= table.IndexFile().Header().SecondaryIndexCount; ++slot) {
    look.Indexes.push_back(table.IndexFile().Descriptor(slot).Name);
  }
  if (table.IndexFile().Descriptor(kTextSlot).FieldCount > 0) {
    look.StopWords = ReadTextIndexParameters(table.IndexFile()).StopWords;
  }
  for (uint32_t n = 1; n <= data.RecordCount(); ++n) {
    TRecord record;
    do {
      record = data.FetchRecord(n);
    } while (!record.Valid());
    if (!record.Deleted()) {
      std::string row;
      for (const FieldDescriptor& f : data.Descriptors()) {
        row += (row.empty() ? "" : "|") + ValueText(table, record.Image(), f);
      }
      look.Rows.push_back(row);
    }
    data.Unpin(record);
  }
  look.Problems = CheckTable(table);
  return look;
}

// A session on a folder with a people table "T" of records ids 1..count and names "p<id>",
// and a private folder of its own.
struct TPeopleBed {
  TScratchFolder folder;
  TScratchFolder private_folder;
  TDataSession session;
  TDataDirectory* directory = nullptr;

  explicit TPeopleBed(int count, bool blob = false, bool memory = false) : memory_(memory) {
    session.SetPrivateDir(private_folder.Path());
    directory = &session.OpenDirectory("data", folder.Path());
    CreatePeople(*directory, "T", count, blob, memory);
  }
  // A closed exclusive cursor on T.
  std::unique_ptr<TDataCursor> Cursor() {
    auto cursor = std::make_unique<TDataCursor>(*directory);
    cursor->SetTableName("T");
    cursor->SetExclusive(true);
    cursor->SetInMemory(memory_);
    return cursor;
  }
  TRestructureWork Restructure(const TTableDefinition& definition, bool noBackup,
                               const TRestructureCallbacks& callbacks = {}) {
    return RestructureTable(*Cursor(), definition, noBackup, callbacks);
  }
  TTableLook Look() { return LookAt(folder.Path(), "T", memory_); }

 private:
  bool memory_;
};

// The rows of an untouched people table of ids 1..count.
inline std::vector<std::string> PeopleRows(int count) {
  std::vector<std::string> rows;
  for (int id = 1; id <= count; ++id) {
    rows.push_back(std::to_string(id) + "|p" + std::to_string(id));
  }
  return rows;
}

}  // namespace engine_test
