// Test helpers for data files: a small table definition covering every field type, and byte
// access to a memory file so tests can corrupt, truncate and compare file images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/storage/data/data_file.h"
#include "db/storage/data/field_types.h"
#include "db/storage/files/file_handler.h"

// One field of each type code, an auto-increment field among them; offsets assigned in order.
inline std::vector<FieldDescriptor> EveryTypeFields() {
  struct FieldShape {
    const char* name;
    uint8_t type, subtype, size, scale;
  };
  const FieldShape shapes[] = {
      {"NAME", kFieldString, 0, 10, 0},
      {"BORN", kFieldDate, 0, 0, 0},
      {"NOTES", kFieldBlob, kSubtypeMemo, 0, 0},
      {"OK", kFieldBoolean, 0, 0, 0},
      {"SMALL", kFieldSmallInt, 0, 0, 0},
      {"ID", kFieldInteger, kSubtypeAutoIncrement, 0, 0},
      {"COUNT", kFieldInteger, 0, 0, 0},
      {"PRICE", kFieldFloat, kSubtypeMoney, 0, 0},
      {"AMOUNT", kFieldBcd, 0, 0, 2},
      {"RAW", kFieldBytes, 0, 3, 0},
      {"AT", kFieldTime, 0, 0, 0},
      {"STAMP", kFieldTimestamp, 0, 0, 0},
      {"W", kFieldWord, 0, 0, 0},
      {"I32", kFieldInt32, 0, 0, 0},
      {"INTERNAL", kFieldInternal, 0, 0, 0},
      {"VAR", kFieldVarBytes, 0, 4, 0},
      {"BIG", kFieldLargeInt, 0, 0, 0},
  };
  std::vector<FieldDescriptor> fields;
  uint16_t offset = kRecordHeaderSize;
  for (const FieldShape& s : shapes) {
    FieldDescriptor d;
    d.FieldNumber = static_cast<uint16_t>(fields.size() + 1);
    d.Name = s.name;
    d.Type = s.type;
    d.SubType = s.subtype;
    d.Size = s.size;
    d.Scale = s.scale;
    d.StoredLength = static_cast<uint8_t>(StoredLengthOf(s.type, s.size));
    if (d.IsAutoIncrement()) {
      d.Offset = kRowIdOffset;
    } else {
      d.Offset = offset;
      offset = static_cast<uint16_t>(offset + d.StoredLength + 1);
    }
    fields.push_back(d);
  }
  return fields;
}

// A field of type at offset (string/bytes of size).
inline FieldDescriptor Field(const char* name, uint8_t type, uint16_t offset, uint8_t size = 0) {
  FieldDescriptor d;
  d.Name = name;
  d.Type = type;
  d.Size = size;
  d.StoredLength = static_cast<uint8_t>(StoredLengthOf(type, size));
  d.Offset = offset;
  return d;
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& name, bool inMemory = true) {
  TFileHandler file;
  file.SetFileName(name);
  file.SetInMemory(inMemory);
  file.Open();
  std::vector<uint8_t> bytes(static_cast<size_t>(file.GetFileSize()));
  file.Seek(0);
  if (!bytes.empty()) file.Read(bytes.data(), static_cast<uint32_t>(bytes.size()), false);
  file.Close();
  return bytes;
}

inline void WriteFileBytes(const std::string& name, const std::vector<uint8_t>& bytes,
                           bool inMemory = true) {
  TFileHandler file;
  file.SetFileName(name);
  file.SetInMemory(inMemory);
  file.CreateFile();
  if (!bytes.empty()) file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  file.Close();
}

// Adds delta to the byte at offset of the file.
inline void IncrementByte(const std::string& name, size_t offset, int delta = 1) {
  std::vector<uint8_t> bytes = ReadFileBytes(name);
  bytes.at(offset) = static_cast<uint8_t>(bytes.at(offset) + delta);
  WriteFileBytes(name, bytes);
}

inline void SetByte(const std::string& name, size_t offset, uint8_t value) {
  std::vector<uint8_t> bytes = ReadFileBytes(name);
  bytes.at(offset) = value;
  WriteFileBytes(name, bytes);
}

// Cuts bytes off the end of the file.
inline void ShrinkSize(const std::string& name, size_t bytes) {
  std::vector<uint8_t> content = ReadFileBytes(name);
  content.resize(content.size() - bytes);
  WriteFileBytes(name, content);
}
