// The 120-byte index descriptor codec; the layout table is in index_descriptor.h.
#include "db/storage/index/index_descriptor.h"

#include <algorithm>
#include <cstring>

#include "db/storage/le_codec.h"

void EncodeIndexDescriptor(const IndexDescriptor& d, uint8_t* block) {
  std::memset(block, 0, kIndexDescriptorSize);
  const size_t nameLength = std::min(d.Name.size(), kMaxIndexNameLength);
  block[0] = static_cast<uint8_t>(nameLength);
  std::memcpy(block + 1, d.Name.data(), nameLength);
  PutU16(block + 31, d.KeyLength);
  block[33] = d.Descending ? 1 : 0;
  block[34] = d.CaseInsensitive ? 1 : 0;
  block[35] = d.Unique ? 1 : 0;
  block[36] = d.Compression;
  block[37] = d.FieldCount;
  for (size_t i = 0; i < kMaxIndexFields; ++i) {
    block[38 + i] = d.FieldDescending[i] ? 1 : 0;
    PutU16(block + 54 + 2 * i, d.FieldNumbers[i]);
  }
  PutI32(block + 86, d.RootPage);
  PutI32(block + 90, d.FirstFreePage);
  PutI32(block + 96, d.ParameterPage);
  block[100] = d.NoCounts ? 1 : 0;
}

void DecodeIndexDescriptor(const uint8_t* block, IndexDescriptor& d) {
  const size_t nameLength = std::min<size_t>(block[0], kMaxIndexNameLength);
  d.Name.assign(reinterpret_cast<const char*>(block + 1), nameLength);
  d.KeyLength = GetU16(block + 31);
  d.Descending = block[33] != 0;
  d.CaseInsensitive = block[34] != 0;
  d.Unique = block[35] != 0;
  d.Compression = block[36];
  d.FieldCount = block[37];
  for (size_t i = 0; i < kMaxIndexFields; ++i) {
    d.FieldDescending[i] = block[38 + i] != 0;
    d.FieldNumbers[i] = GetU16(block + 54 + 2 * i);
  }
  d.RootPage = GetI32(block + 86);
  d.FirstFreePage = GetI32(block + 90);
  d.ParameterPage = GetI32(block + 96);
  d.NoCounts = block[100] != 0;
}

uint16_t FieldKeyLength(uint8_t type, uint16_t storedLength) {
  return type == kFieldBcd ? 8 : storedLength;
}

uint32_t ComputeKeyLength(const IndexDescriptor& d, std::span<const FieldDescriptor> fields) {
  uint32_t total = 0;
  for (size_t i = 0; i < d.FieldCount && i < kMaxIndexFields; ++i) {
    const uint16_t number = d.FieldNumbers[i];
    if (number == 0 || number > fields.size()) return 0;
    const FieldDescriptor& f = fields[number - 1];
    if (f.Type == kFieldBlob || !IsValidFieldType(f.Type)) return 0;
    total += FieldKeyLength(f.Type, StoredLengthOf(f.Type, f.Size)) + 1u;
  }
  if (!d.Unique) total += 4;
  return total;
}
