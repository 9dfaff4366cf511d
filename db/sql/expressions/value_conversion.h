// Reading and writing the values of expression nodes by type, and ConvertValue, the one
// conversion between value types that CAST, the IF/COALESCE results, the type checks and the
// filter preparation use.
//
// Invariants:
//   (1) A conversion never changes a value silently: when the target type cannot represent the
//       source value exactly enough (an integer out of the target's range, a float that is not
//       finite or beyond the target integer's range, a BCD value beyond the 64-bit count of
//       ten-thousandths, text that is no value of the type), ConvertValue answers false and
//       the target is NULL. Floats to integers drop the fraction (toward zero); numbers to BCD
//       round half away from zero at the fourth decimal. Kept by ConvertValue.
//   (2) The target receives at most its declared size: strings are cut to size - 1 characters
//       plus the zero, bytes to size.
#pragma once

#include <cstdint>
#include <string>

#include "db/sql/expressions/exp_token.h"

// A number as the evaluation computes with it.
struct TNumber {
  enum TKind : uint8_t { kInteger, kFloat, kBcd } Kind = kInteger;
  int64_t Integer = 0;  // kInteger: the value; kBcd: ten-thousandths
  double Float = 0;
};

// The value of an integer-valued node (types 2, 4, 5, 6, 10, 12, 13, 18) as stored.
int64_t IntegerOf(const TExpToken& node);
// The value of a node of a numeric type or boolean as a number; false for a BCD value that is
// malformed or beyond 64-bit ten-thousandths, and for other types.
bool NumberOf(const TExpToken& node, TNumber& number);
double NumberAsDouble(const TNumber& number);

// Writers: each sets ValueType, SubType 0, the value, its size and clears IsNull.
// StoreInteger answers false (leaving the node untouched) when value does not fit type, which
// is an integer kind, boolean (any value, stored as 0/1), date, time or the 32-bit type.
bool StoreInteger(TExpToken& node, uint8_t type, int64_t value);
void StoreBcd(TExpToken& node, int64_t tenThousandths, uint8_t scale);
// Makes node a NULL of the given type: zero-filled value of the type's size.
void StoreNull(TExpToken& node, uint8_t type, uint8_t subType, int32_t size);

// The text of a value as conversions to string write it (dates, times, numbers...); false when
// the value has no text form (malformed BCD, a date out of range).
bool ValueText(const TExpToken& node, std::string& text);

// Converts source's value into target with the given type, subtype, declared size (strings:
// bytes including the zero; bytes: the byte count; others ignored) and scale. source and target
// may be the same node. A NULL source gives a NULL target and true. On failure target is NULL
// of the target type and the answer is false (invariant (1)).
bool ConvertValue(const TExpToken& source, TExpToken& target, uint8_t type, uint8_t subType,
                  int32_t size, uint8_t scale);
