// The type rules of expressions as tables: which operand types each two-operand operator
// accepts, the type its result takes, and which source types a CAST accepts for each target.
// Rule types are those of type_groups.h; the NULL constant (rule type 0) is accepted on either
// side against any type the operator takes as its left operand, and against itself.
#pragma once

#include <cstdint>

#include "db/sql/expressions/exp_token.h"

// The type data a node gets from the checks.
struct TValueShape {
  uint8_t Type = 0;
  uint8_t SubType = 0;
  int32_t Size = 0;
  uint8_t Scale = 0;
};

// True when op (a comparison, AND, OR, + - * /) accepts a left operand of rule type left and a
// right one of rule type right.
bool BinaryOperandsAllowed(uint8_t op, uint8_t left, uint8_t right);

// The result shape of op over the checked operands. REQUIRES: BinaryOperandsAllowed holds for
// their rule types. Comparisons, AND and OR give boolean; arithmetic follows the result table
// in type_rules.cpp. With one operand the NULL constant the result takes the other's shape.
TValueShape BinaryResultShape(uint8_t op, const TExpToken& left, const TExpToken& right);

// True when CAST accepts a source of rule type source for target type (0 always is).
bool CastAllowed(uint8_t target, uint8_t source);
