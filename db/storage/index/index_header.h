// IndexFileHeader: page 0 of an index file. index_header.cpp holds the codec and the bounds
// check every header read passes; the byte layout (4096 bytes, little-endian):
//
//   | Offset | Width    | Field                                                           |
//   |--------|----------|-----------------------------------------------------------------|
//   |    0   | i32      | ChangeCount, +1 by every header write                           |
//   |    4   | 4        | 0                                                               |
//   |    8   | u8       | FormatVersion, always 5                                         |
//   |    9   | i32      | NextPageNumber, one past the last page (1 for an empty file)    |
//   |   13   | u8       | SecondaryIndexCount, 0 to 30                                    |
//   |   14   | 33 x 120 | IndexDescriptor slots: 0 primary, 1..30 secondary,              |
//   |        |          | 31 "Sys Deleted", 32 "Sys Text"                                 |
//   | 3974   | i32      | ActiveRecordCount                                               |
//   | 3978   | u8       | NoPrimaryIndex                                                  |
//   | 3979   | u8       | HeaderDirty (meaningful in memory only)                         |
//   | 3980   | 116      | 0                                                               |
//
// Page n >= 1 starts at n * 4096. When the table is encrypted the whole 4096 bytes are
// scrambled with the record key.
#pragma once

#include <array>
#include <cstdint>

#include "db/storage/index/index_descriptor.h"

inline constexpr uint32_t kIndexPageSize = 4096;
inline constexpr int kIndexSlotCount = 33;
inline constexpr int kPrimarySlot = 0;
inline constexpr int kMaxSecondaryIndexes = 30;
inline constexpr int kDeletedSlot = 31;
inline constexpr int kTextSlot = 32;
inline constexpr uint8_t kIndexFormatVersion = 5;
inline constexpr uint16_t kDeletedKeyLength = 5;
inline constexpr uint16_t kTextKeyLength = 68;
// The file limits: pages and bytes.
inline constexpr uint32_t kMaxIndexPages = 2000000000u;
inline constexpr int64_t kMaxIndexFileBytes = 4000000000LL;

struct IndexFileHeader {
  int32_t ChangeCount = 0;
  uint8_t FormatVersion = kIndexFormatVersion;
  int32_t NextPageNumber = 1;
  uint8_t SecondaryIndexCount = 0;
  std::array<IndexDescriptor, kIndexSlotCount> Slots;
  int32_t ActiveRecordCount = 0;
  bool NoPrimaryIndex = false;
  bool HeaderDirty = false;
};

// The header of a new index file: the two system slots set up, NextPageNumber 1.
IndexFileHeader NewIndexFileHeader();

void EncodeIndexFileHeader(const IndexFileHeader& header, uint8_t* page);
void DecodeIndexFileHeader(const uint8_t* page, IndexFileHeader& header);

// Whether slot is in use: 0 unless NoPrimaryIndex, 1..SecondaryIndexCount, 31 and 32.
bool SlotInUse(const IndexFileHeader& header, int slot);

// The bounds every value of a header read from a file must meet before any is used. Returns 0
// when they hold, else the code to raise: VUZODE_OLDVERSION for a FormatVersion other than 5,
// VUZODE_HEADERCORRUPT otherwise. Checked: SecondaryIndexCount <= 30; NextPageNumber within
// 1 .. kMaxIndexPages; for every slot in use a compression 0..3, at most 16 fields, a KeyLength
// of at most 522 (and not 0 for a secondary index; 5 for slot 31; 68 for slot 32) that leaves
// room for the row id suffix of a non-unique index, and RootPage, FirstFreePage, ParameterPage
// within 0 .. NextPageNumber - 1 (ParameterPage 0 except in slot 32).
uint16_t CheckIndexHeaderBounds(const IndexFileHeader& header);
