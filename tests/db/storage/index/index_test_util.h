// Test helpers: a memory index file over a small table definition, records built from values,
// and byte-level damage of a file.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "db/storage/data/field_types.h"
#include "db/storage/data/field_value.h"
#include "db/storage/files/file_list.h"
#include "db/storage/index/index_file.h"
#include "db/storage/le_codec.h"

// Fields with offsets assigned in order from 9.
inline std::vector<FieldDescriptor> MakeFields(
    const std::vector<std::pair<uint8_t, uint8_t>>& typesAndSizes) {
  std::vector<FieldDescriptor> fields;
  uint16_t offset = kRecordHeaderSize;
  for (size_t i = 0; i < typesAndSizes.size(); ++i) {
    FieldDescriptor f;
    f.FieldNumber = static_cast<uint16_t>(i + 1);
    f.Name = "F" + std::to_string(i + 1);
    f.Type = typesAndSizes[i].first;
    f.Size = typesAndSizes[i].second;
    f.StoredLength = static_cast<uint8_t>(StoredLengthOf(f.Type, f.Size));
    f.Offset = offset;
    offset = static_cast<uint16_t>(offset + f.StoredLength + 1);
    fields.push_back(f);
  }
  return fields;
}

inline uint32_t RecordSizeOf(const std::vector<FieldDescriptor>& fields) {
  uint32_t size = kRecordHeaderSize;
  for (const FieldDescriptor& f : fields) size += f.StoredLength + 1u;
  return size;
}

inline std::string UniqueIndexFileName() {
  static std::atomic<int> counter{0};
  return "index_test_" + std::to_string(counter++) + ".IDX";
}

// A memory index file, created on construction and deleted on destruction.
struct TTestIndexFile {
  TIndexFile file;
  explicit TTestIndexFile(std::vector<FieldDescriptor> fields, uint16_t languageId = 0,
                          uint16_t sortId = 0) {
    file.SetFileName(UniqueIndexFileName());
    file.SetInMemory(true);
    file.SetTableInfo(languageId, sortId, std::move(fields));
    file.CreateFile();
  }
  ~TTestIndexFile() {
    const std::string name = file.FileName();
    file.Close();
    FileList().DeleteFile(name, true);
  }
  // Flushes pages and header and opens the file afresh (a second handler reads it).
  void Reopen() {
    file.FlushPages();
    file.WriteHeader(true);
    file.Close();
    file.Open();
  }
};

inline IndexDescriptor MakeIndex(std::string name, std::vector<uint16_t> fieldNumbers, bool unique,
                                 uint8_t compression = kCompressNone, bool descending = false,
                                 std::vector<bool> fieldDescending = {}) {
  IndexDescriptor d;
  d.Name = std::move(name);
  d.Unique = unique;
  d.Compression = compression;
  d.Descending = descending;
  d.FieldCount = static_cast<uint8_t>(fieldNumbers.size());
  for (size_t i = 0; i < fieldNumbers.size(); ++i) {
    d.FieldNumbers[i] = fieldNumbers[i];
    d.FieldDescending[i] = i < fieldDescending.size() && fieldDescending[i];
  }
  return d;
}

// A record image with row id rowId and every field null.
inline std::vector<uint8_t> EmptyRecord(const std::vector<FieldDescriptor>& fields, int32_t rowId) {
  std::vector<uint8_t> record(RecordSizeOf(fields), 0);
  PutI32(record.data() + kRowIdOffset, rowId);
  return record;
}

// Overwrites bytes of the file behind index (its caches must hold nothing dirty).
inline void PatchFile(TIndexFile& index, int64_t offset, std::vector<uint8_t> bytes) {
  TAbstractFile* file = index.File();
  file->Seek(index.HandleId(), 0, offset);
  file->Write(index.HandleId(), bytes.data(), static_cast<uint32_t>(bytes.size()));
}
inline std::vector<uint8_t> ReadFileBytes(TIndexFile& index, int64_t offset, uint32_t count) {
  std::vector<uint8_t> bytes(count);
  TAbstractFile* file = index.File();
  file->Seek(index.HandleId(), 0, offset);
  file->Read(index.HandleId(), bytes.data(), count);
  return bytes;
}
inline std::vector<uint8_t> Le32(int32_t v) {
  std::vector<uint8_t> b(4);
  PutI32(b.data(), v);
  return b;
}
inline std::vector<uint8_t> Le16(uint16_t v) {
  std::vector<uint8_t> b(2);
  PutU16(b.data(), v);
  return b;
}
