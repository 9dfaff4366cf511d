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

// Unsigned bytes in order, -1, 0 or 1: eight at a time as big-endian words, then one by one.
// Keys are short (an integer key with its indicator and row id is 9 bytes), so this inline loop
// beats a call to memcmp in the searches of every insertion and lookup.
inline int CompareBytes(const uint8_t* a, const uint8_t* b, size_t length) {
  for (; length >= 8; a += 8, b += 8, length -= 8) {
    uint64_t x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    if (x != y) return __builtin_bswap64(x) < __builtin_bswap64(y) ? -1 : 1;
  }
  for (; length > 0; --length, ++a, ++b) {
    if (*a != *b) return *a < *b ? -1 : 1;
  }
  return 0;
}

inline int CompareKeys(const TKeyLayout& layout, const uint8_t* a, const uint8_t* b,
                       size_t length) {
  if (layout.Bytewise) {
    const int sign = CompareBytes(a, b, length);
    return layout.Descending ? -sign : sign;
  }
  return CompareKeysSlow(layout, a, b, length);
}
