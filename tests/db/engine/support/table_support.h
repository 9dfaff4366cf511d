// Test support for the engine: a scratch folder per test, a small table definition, and record
// changes made at the storage layer under the table's locks (record changes through cursors
// come later; these keep the data file, the primary and row-id indexes and the record count in
// step the same way).
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/table/data_table.h"
#include "db/engine/table/table_definition.h"
#include "db/storage/data/field_value.h"
#include "db/storage/index/btree.h"
#include "db/storage/index/index_header.h"
#include "platform/os/fault_injection.h"

namespace engine_test {

// A fresh folder under the temporary directory, removed with its files at the end.
class TScratchFolder {
 public:
  TScratchFolder() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("pebrio_engine_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string Path() const { return path_.string(); }
  bool Has(const std::string& file) const { return std::filesystem::exists(path_ / file); }
  // The file names in the folder, sorted.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

inline FieldDescriptor MakeField(uint16_t number, std::string name, uint8_t type, uint8_t size = 0,
                                 uint8_t subType = 0) {
  FieldDescriptor f;
  f.FieldNumber = number;
  f.Name = std::move(name);
  f.Type = type;
  f.Size = size;
  f.SubType = subType;
  return f;
}

inline IndexDescriptor MakeIndexDefinition(std::string name, std::vector<uint16_t> fields,
                                           bool unique) {
  IndexDescriptor d;
  d.Name = std::move(name);
  d.Unique = unique;
  d.FieldCount = static_cast<uint8_t>(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) d.FieldNumbers[i] = fields[i];
  return d;
}

// ID integer (primary key), NAME string(20), NOTE memo when withBlob; secondary index BYNAME.
inline TTableDefinition PeopleDefinition(bool withBlob = false) {
  TTableDefinition d;
  d.Fields.push_back(MakeField(1, "ID", kFieldInteger));
  d.Fields.push_back(MakeField(2, "NAME", kFieldString, 20));
  if (withBlob) d.Fields.push_back(MakeField(3, "NOTE", kFieldBlob, 0, kSubtypeMemo));
  d.Indexes.push_back(MakeIndexDefinition("", {1}, true));
  d.Indexes.push_back(MakeIndexDefinition("BYNAME", {2}, false));
  return d;
}

// Appends a record (id, name) with its keys, under the write lock; written through unless the
// table is in a transaction or exclusive. Returns the record number.
inline uint32_t AppendPerson(TDataTable& table, int64_t id, const std::string& name) {
  table.BeginWrite();
  TDataFile& data = table.DataFile();
  TIndexFile& index = table.IndexFile();
  TRecord record;
  do {
    record = data.AllocateRecord();
  } while (!record.Valid());
  const uint32_t n = record.Number();
  record.SetRowId(data.NextRowId());
  SetFieldInteger(record.MutableImage(), data.Descriptor(1), id);
  SetFieldString(record.MutableImage(), data.Descriptor(2), name);
  IndexKey key;
  for (int slot : {kPrimarySlot, 1}) {
    TBTree tree(index, slot);
    EncodeKey(tree.Layout(), record.Image(), key);
    tree.InsertKey(key.data(), static_cast<int32_t>(n));
  }
  EncodeDeletedKey(record.Status(), record.RowId(), key);
  TBTree(index, kDeletedSlot).InsertKey(key.data(), static_cast<int32_t>(n));
  index.IncrementActiveRecordCount();
  data.MarkHeaderChanged();
  data.Unpin(record);
  if (!table.InTransaction() && !table.Exclusive()) table.FlushBuffers();
  table.EndWrite();
  return n;
}

// The ids of the table in primary key order, read through the index and the records, as one
// read operation.
inline std::vector<int64_t> IdsInKeyOrder(TDataTable& table) {
  std::vector<int64_t> ids;
  TBTree tree(table.IndexFile(), kPrimarySlot);
  const int64_t count = tree.Count();
  for (int64_t rank = 0; rank < count; ++rank) {
    IndexKey key;
    int32_t n = 0;
    if (!tree.EntryAtRank(rank, key, n)) break;
    TRecord record;
    do {
      record = table.DataFile().FetchRecord(static_cast<uint32_t>(n));
    } while (!record.Valid());
    int64_t id = 0;
    GetFieldInteger(record.Image(), table.DataFile().Descriptor(1), id);
    table.DataFile().Unpin(record);
    ids.push_back(id);
  }
  // A fetch that missed the cache took the read lock for this operation (as a cursor's read
  // does); the operation is over.
  table.EndRead();
  return ids;
}

// One record given as texts, converted by the field types (strings as they are, floats and
// integers parsed); nullopt leaves the field NULL.
using TTextRow = std::vector<std::optional<std::string>>;

// Appends rows to table of directory through a cursor.
inline void AppendTextRows(TDataDirectory& directory, const std::string& table,
                           const std::vector<TTextRow>& rows) {
  TDataCursor cursor(directory);
  cursor.SetTableName(table);
  cursor.OpenCursor();
  const auto& fields = cursor.FieldDescriptors();
  std::vector<uint8_t> buffer(cursor.RecordSize());
  for (const TTextRow& row : rows) {
    std::fill(buffer.begin(), buffer.end(), 0);
    TRecordImage image(buffer.data(), buffer.size());
    for (size_t i = 0; i < row.size() && i < fields.size(); ++i) {
      if (!row[i]) continue;
      const std::string& text = *row[i];
      switch (fields[i].Type) {
        case kFieldString:
          SetFieldString(image, fields[i], text);
          break;
        case kFieldFloat:
          SetFieldFloat(image, fields[i], std::stod(text));
          break;
        default:
          SetFieldInteger(image, fields[i], std::stoll(text));
      }
    }
    cursor.AppendRecord(buffer.data(), false);
  }
}

}  // namespace engine_test

namespace engine_test {

// The size of a heavy test: the environment variable name when set, else fallback (a quarter
// of it under the sanitizers, which run several times slower).
inline int64_t HeavyTestSize(const char* name, int64_t fallback) {
  if (const char* text = std::getenv(name); text != nullptr && *text != '\0') {
    return std::atoll(text);
  }
#if defined(__SANITIZE_ADDRESS__)
  return fallback / 4;
#else
  return fallback;
#endif
}

// Makes plan fail the step-th read of the files under folder with EIO.
inline void FailReadAt(platform::TFileFaultPlan& plan, const std::string& folder, uint64_t step) {
  plan.path_filter = folder;
  plan.fail_read_at = step;
  plan.read_error = EIO;
}

}  // namespace engine_test
