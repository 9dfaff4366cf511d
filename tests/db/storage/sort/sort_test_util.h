// Test helpers of the record sort: tables built from field shapes, their record area read back
// raw (so a wrong record number in the file shows), and the two ways a sort can run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/storage/data/data_file.h"
#include "db/storage/data/data_file_structure.h"
#include "db/storage/files/file_list.h"
#include "db/storage/scramble.h"

namespace sort_test {

struct TShape {
  const char* Name;
  uint8_t Type;
  uint8_t Size = 0;
};

// Fields of shapes with numbers and offsets in order.
inline std::vector<FieldDescriptor> Fields(std::initializer_list<TShape> shapes) {
  std::vector<FieldDescriptor> fields;
  uint16_t offset = kRecordHeaderSize;
  for (const TShape& s : shapes) {
    FieldDescriptor d;
    d.FieldNumber = static_cast<uint16_t>(fields.size() + 1);
    d.Name = s.Name;
    d.Type = s.Type;
    d.Size = s.Size;
    d.StoredLength = static_cast<uint8_t>(StoredLengthOf(s.Type, s.Size));
    d.Offset = offset;
    offset = static_cast<uint16_t>(offset + d.StoredLength + 1);
    fields.push_back(d);
  }
  return fields;
}

struct TTableSetup {
  std::string Name;
  bool InMemory = true;
  std::vector<FieldDescriptor> Fields;
  int16_t LanguageId = 0;
  bool Encrypted = false;
};

// A new, empty table with its header and descriptors written.
inline std::unique_ptr<TDataFile> NewTable(const TTableSetup& setup) {
  auto file = std::make_unique<TDataFile>();
  file->SetFileName(setup.Name);
  file->SetInMemory(setup.InMemory);
  TDataFileDefinition def;
  def.Fields = setup.Fields;
  def.LanguageId = setup.LanguageId;
  def.Encrypted = setup.Encrypted;
  def.Password = setup.Encrypted ? "pw" : "";
  file->InitializeHeader(def);
  file->WriteHeader(false);
  file->WriteDescriptors();
  return file;
}

// Writes the cached records and the header, then drops the cache: the next sort of the file
// goes through run files.
inline void Uncache(TDataFile& file) {
  file.FlushRecords();
  file.WriteHeader(false);
  file.DiscardRecords();
}

using TImage = std::vector<uint8_t>;

// The records of the file as stored (unscrambled), without the cache.
inline std::vector<TImage> StoredRecords(TDataFile& file) {
  const uint32_t size = file.RecordSize();
  std::vector<TImage> images(file.RecordCount(), TImage(size));
  TFileAccess access(file);
  file.Seek(FirstRecordOffset(file.FieldCount()));
  for (TImage& image : images) {
    file.Read(image.data(), size, false);
    if (file.Encrypted()) Scramble(image.data(), size, kRecordKey);
  }
  return images;
}

inline int64_t RecordAreaEnd(TDataFile& file) {
  return FirstRecordOffset(file.FieldCount()) +
         static_cast<int64_t>(file.RecordCount()) * file.RecordSize();
}

}  // namespace sort_test
