// CompareKeys: the order of one index's keys.
//
//   - Bytewise layouts (LanguageId 0, "Sys Deleted", indexes without strings or descending
//     fields): unsigned bytes from the first, reversed when the index is descending.
//   - "Sys Text" with a locale: bytes 0-2, then the 61 word bytes with the collation, then the
//     row id bytes.
//   - Otherwise field by field: indicator bytes, then strings with the collation and other
//     values as bytes; a field's result is reversed when the index or that field is descending;
//     the remaining bytes (the row id) compare as bytes, reversed for a descending index.
// A length below KeyLength compares key prefixes (partial-key searches); the order of prefixes
// agrees with the order of whole keys.
#pragma once

#include <cstdint>
#include <cstring>

#include "db/storage/index/index_key.h"

// -1, 0 or 1. REQUIRES: length <= layout.KeyLength; length bytes readable at a and b.
int CompareKeysSlow(const TKeyLayout& layout, const uint8_t* a, const uint8_t* b, size_t length);

inline int CompareKeys(const TKeyLayout& layout, const uint8_t* a, const uint8_t* b,
                       size_t length) {
  if (layout.Bytewise) {
    const int r = std::memcmp(a, b, length);
    const int sign = (r > 0) - (r < 0);
    return layout.Descending ? -sign : sign;
  }
  return CompareKeysSlow(layout, a, b, length);
}
