// The sort key of a record and the order of sort keys.
//
// A sort key is, per sort field, the record's indicator byte followed by the value in its index
// key encoding (index_key.h: the same bytes, strings upper-cased when case-insensitive, a
// descending field's bytes inverted when LanguageId is 0), and then the record's row id (record
// bytes 5-8) as a 4-byte row id key:
//
//   | Offset                      | Size             | Content                              |
//   |-----------------------------|------------------|--------------------------------------|
//   | sum of the earlier fields   | 1 + key length   | indicator, encoded value (per field) |
//   | FieldsLength()              | 4                | row id, big-endian, sign inverted    |
//
// Keys are encoded by the index layer's EncodeKey and compared by its CompareKeys: the sort
// fields form one index-like layout for comparison and, since an index key has at most
// kMaxKeyLength bytes, one or more chunks of consecutive fields for encoding.
//
// Invariants:
//   (1) Every sort field lies inside a record of the layout's record size (checked by the
//       constructor), so Encode never reads outside an image.
//   (2) The full comparison is a total order on records with distinct row ids; the comparison
//       without the row id agrees with it (equal fields compare 0, unequal ones as in full).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "db/storage/data/field_types.h"
#include "db/storage/data/field_value.h"
#include "db/storage/index/compare_keys.h"
#include "db/storage/index/index_key.h"

// One sort field: a field of the table and its direction.
struct TSortField {
  FieldDescriptor Field;
  bool Descending = false;
};

inline constexpr size_t kMaxSortFields = 1024;

class TSortKeyLayout {
 public:
  // Raises VUZODE_FLDLIMIT for more than kMaxSortFields fields, VUZODE_INVALIDFLDTYPE for a
  // field of no valid type or one that does not lie inside a record of recordSize bytes.
  TSortKeyLayout(std::span<const TSortField> fields, uint16_t recordSize, bool caseInsensitive,
                 uint16_t languageId, uint16_t sortId);

  // Bytes of a whole key, and of its fields without the row id.
  uint32_t Length() const { return fields_length_ + 4; }
  uint32_t FieldsLength() const { return fields_length_; }
  // Whether keys compare as plain unsigned bytes (no collation, no reversed field).
  bool Bytewise() const { return compare_.Bytewise; }

  // Writes the key of record to out (Length() bytes).
  // REQUIRES: record holds a whole record of the layout's record size; one thread at a time
  // (the encoder's scratch key is shared).
  void Encode(TConstRecordImage record, uint8_t* out) const;

  // -1, 0 or 1. With full the row id decides between equal fields; without it equal fields give
  // 0.
  int Compare(const uint8_t* a, const uint8_t* b, bool full) const {
    return CompareKeys(compare_, a, b, full ? Length() : fields_length_);
  }

 private:
  struct TChunk {
    TKeyLayout Layout;
    uint32_t Offset = 0;  // where the chunk's bytes start in the sort key
  };
  std::vector<TChunk> chunks_;
  TKeyLayout compare_;
  uint32_t fields_length_ = 0;
  mutable IndexKey scratch_;  // one chunk's key on its way into a sort key
};
