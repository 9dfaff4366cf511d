// IndexDescriptor: the definition and the tree roots of one index, as one 120-byte slot of the
// index file header. index_descriptor.cpp holds the codec; its byte layout:
//
//   | Offset | Width | Content                                                         |
//   |--------|-------|-----------------------------------------------------------------|
//   |   0    |  31   | name, length-prefixed, at most 30 characters (empty: primary)   |
//   |  31    |  u16  | KeyLength, bytes per key                                        |
//   |  33    |  u8   | descending (the whole index)                                    |
//   |  34    |  u8   | case-insensitive                                                |
//   |  35    |  u8   | unique (no row id suffix)                                       |
//   |  36    |  u8   | leaf compression: 0 none, 1 duplicate, 2 trailing, 3 full       |
//   |  37    |  u8   | field count, 0 to 16                                            |
//   |  38    |  16   | per-field descending flags                                      |
//   |  54    | 16xu16| field numbers, unused entries 0                                 |
//   |  86    |  i32  | RootPage, 0 while empty                                         |
//   |  90    |  i32  | FirstFreePage, 0 when none                                      |
//   |  94    |  2    | 0                                                               |
//   |  96    |  i32  | ParameterPage (text index only)                                 |
//   | 100    |  u8   | no-counts flag: internal entries carry no subtree counts        |
//   | 101    |  19   | 0                                                               |
//
// All integers little-endian. Decoding takes every value as stored; the index file checks them
// (index_header.cpp) before any is used.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "db/storage/data/field_types.h"

inline constexpr size_t kIndexDescriptorSize = 120;
inline constexpr size_t kMaxIndexFields = 16;
inline constexpr size_t kMaxIndexNameLength = 30;
inline constexpr uint16_t kMaxKeyLength = 522;

// Leaf compression modes.
inline constexpr uint8_t kCompressNone = 0;
inline constexpr uint8_t kCompressDuplicates = 1;
inline constexpr uint8_t kCompressTrailing = 2;
inline constexpr uint8_t kCompressFull = 3;

struct IndexDescriptor {
  std::string Name;
  uint16_t KeyLength = 0;
  bool Descending = false;
  bool CaseInsensitive = false;
  bool Unique = false;
  uint8_t Compression = kCompressNone;
  uint8_t FieldCount = 0;
  std::array<bool, kMaxIndexFields> FieldDescending{};
  std::array<uint16_t, kMaxIndexFields> FieldNumbers{};
  int32_t RootPage = 0;
  int32_t FirstFreePage = 0;
  int32_t ParameterPage = 0;
  bool NoCounts = false;
};

// Writes descriptor into the 120 bytes at block (the name cut to 30 characters).
void EncodeIndexDescriptor(const IndexDescriptor& descriptor, uint8_t* block);
// Reads the 120 bytes at block. A name length above 30 is cut to 30 (the header check reports
// the slot); every other value is taken as stored.
void DecodeIndexDescriptor(const uint8_t* block, IndexDescriptor& descriptor);

// The key length of a value of type with the stored length: the stored length, except BCD (8).
uint16_t FieldKeyLength(uint8_t type, uint16_t storedLength);

// KeyLength of descriptor over the table's fields: sum of (field key length + 1), plus 4 when
// not unique. Returns 0 when a field number names no field of fields, or a field is a BLOB or
// of an invalid type (the caller reports its own error).
uint32_t ComputeKeyLength(const IndexDescriptor& descriptor,
                          std::span<const FieldDescriptor> fields);
