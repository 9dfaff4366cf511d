// Comparison, arithmetic and LIKE over evaluated value nodes, shared by the evaluator's files.
// Not part of the interface.
#pragma once

#include <cstdint>
#include <string_view>

#include "db/sql/expressions/exp_token.h"

struct TCollation {
  uint16_t LanguageId = 0;
  uint16_t SortId = 0;
};

// The text of a string or memo value; empty for NULL.
std::string_view TextOf(const TExpToken& value);
bool IsNullValue(const TExpToken& value);

// -1, 0, 1 comparing two non-NULL values of comparable types; false in comparable when they
// cannot be compared (a malformed BCD value), in which case no comparison holds.
int CompareValues(const TExpToken& left, const TExpToken& right, TCollation collation, bool noCase,
                  bool& comparable);
// -1, 0 or 1 as a is below, equal to or above b.
template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// Whether comparison op (= <> < > <= >=) holds for a three-way order; false for other ops.
bool OrderHolds(uint8_t op, int order);

// The comparison op (= <> < > <= >=) with the NULL rules of evaluate.h.
bool CompareForOp(uint8_t op, const TExpToken& left, const TExpToken& right, TCollation collation,
                  bool noCase);

// + - * / of node (checked) over the operand values into out, which gets node's type data.
void Arithmetic(const TExpToken& node, const TExpToken& left, const TExpToken& right,
                TExpToken& out);
// Unary minus or plus of value into out.
void Negate(const TExpToken& node, const TExpToken& value, TExpToken& out);
