// IndexKey and the byte-comparable encodings of field values. A key is built zero-filled, then
// per index field an indicator byte (1 value, 0 null) and the value in the field's key length,
// then, unless the index is unique, the row id. Values are big-endian so that unsigned byte order
// is value order:
//
//   | Types                      | Encoding                                                  |
//   |----------------------------|-----------------------------------------------------------|
//   | 1 string                   | the characters (upper-cased when case-insensitive), zero-  |
//   |                            | terminated, zero-padded to the stored length              |
//   | 2 date, 6 integer, 10 time | 4 bytes big-endian, sign bit inverted                     |
//   | 5 small integer            | 2 bytes big-endian, sign bit inverted                     |
//   | 4 boolean, 12 word         | 2 bytes big-endian                                        |
//   | 7 float, 11 timestamp      | the double big-endian; >= 0: top bit set; < 0: all bits   |
//   |                            | inverted                                                  |
//   | 8 BCD                      | rounded count of ten-thousandths as 64-bit, sign inverted |
//   | 18 large integer           | 8 bytes big-endian, sign bit inverted                     |
//   | 9, 13, 14, 15              | the stored bytes                                          |
//   | row id                     | 4 bytes big-endian, sign bit inverted                     |
//
// Descending fields, with LanguageId 0 in an ascending index, have their bytes inverted after
// encoding (indicator and value; a string keeps its last byte, always 0, as it is), so such keys
// still compare byte by byte. With a locale, or a descending index, keys are not inverted:
// CompareKeys reverses instead.
//
// The text index ("Sys Text", 68 bytes): byte 0 = 1, bytes 1-2 the field number big-endian,
// bytes 3-63 the upper-cased word zero-padded, bytes 64-67 the row id. "Sys Deleted" (5 bytes):
// the status byte, then the row id.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "db/storage/data/field_types.h"
#include "db/storage/data/field_value.h"
#include "db/storage/index/index_descriptor.h"

struct IndexKey {
  uint16_t Length = 0;
  std::array<uint8_t, kMaxKeyLength> Bytes{};

  IndexKey() = default;
  explicit IndexKey(uint16_t length) : Length(length) {}
  // Makes the key length bytes of zeros, touching only those (a new IndexKey clears and copies
  // all kMaxKeyLength bytes, which costs more than encoding a short key).
  void Reset(uint16_t length) {
    Length = length;
    std::memset(Bytes.data(), 0, std::min<size_t>(length, kMaxKeyLength));
  }
  uint8_t* data() { return Bytes.data(); }
  const uint8_t* data() const { return Bytes.data(); }
  std::span<const uint8_t> View() const { return {Bytes.data(), Length}; }
  bool operator==(const IndexKey& other) const {
    return Length == other.Length && std::memcmp(data(), other.data(), Length) == 0;
  }
};

// One index field as the key sees it.
struct TKeyField {
  uint8_t Type = 0;
  uint16_t FieldNumber = 0;
  uint16_t RecordOffset = 0;  // of the indicator byte in the record (5 and no indicator for
                              // an auto-increment field)
  uint16_t StoredLength = 0;  // value bytes in the record
  uint16_t KeyLength = 0;     // value bytes in the key
  uint16_t KeyOffset = 0;     // of the indicator byte in the key
  bool Descending = false;
  bool AutoIncrement = false;
};

// Everything key encoding and comparison need to know of one index.
struct TKeyLayout {
  int Slot = 0;
  uint16_t KeyLength = 0;
  bool Unique = false;
  bool Descending = false;
  bool CaseInsensitive = false;
  uint16_t LanguageId = 0;
  uint16_t SortId = 0;
  std::vector<TKeyField> Fields;
  // Keys compare as plain bytes (reversed when Descending): slot 31, LanguageId 0, or no field
  // definitions known.
  bool Bytewise = true;
  // Fields inverted in the key (see above).
  bool InvertsFields = false;
};

// The layout of descriptor in slot over the table's fields. Fields that cannot be found leave
// Fields empty (the layout then compares bytes; VerifyStructure reports such a slot).
TKeyLayout MakeKeyLayout(int slot, const IndexDescriptor& descriptor,
                         std::span<const FieldDescriptor> fields, uint16_t languageId,
                         uint16_t sortId);

// Order-preserving encoders of single values; out receives the stated number of bytes.
void EncodeInt16Key(int16_t value, uint8_t* out);  // 2
void EncodeWordKey(uint16_t value, uint8_t* out);  // 2
void EncodeInt32Key(int32_t value, uint8_t* out);  // 4
void EncodeInt64Key(int64_t value, uint8_t* out);  // 8
void EncodeDoubleKey(double value, uint8_t* out);  // 8
void EncodeRowIdKey(int32_t rowId, uint8_t* out);  // 4
int32_t DecodeRowIdKey(const uint8_t* in);
// A 34-byte packed decimal (precision, sign and places, 32 bytes of digits two per byte, first
// digit in the high half) as a rounded count of ten-thousandths, saturated to the 64-bit range.
// Digits above 9 are read as 9, so a damaged value still gives an order, never a fault.
int64_t BcdToTenThousandths(const uint8_t* bcd);
void EncodeBcdKey(const uint8_t* bcd, uint8_t* out);  // 8

// The key of record image in the index of layout: zero-filled to layout.KeyLength, fields,
// then the row id (record bytes 5-8) unless unique. Raises VUZODE_FILECORRUPT when a field
// lies outside the image.
// REQUIRES: layout.Fields describes the index (not empty unless the index has no fields).
void EncodeKey(const TKeyLayout& layout, TConstRecordImage record, IndexKey& key);
// The key of "Sys Deleted": status, row id.
void EncodeDeletedKey(uint8_t status, int32_t rowId, IndexKey& key);
// The key of "Sys Text". word is cut to 61 bytes; the caller upper-cases it.
void EncodeTextKey(uint16_t fieldNumber, std::string_view word, int32_t rowId, IndexKey& key);

inline constexpr size_t kTextWordLength = 61;
