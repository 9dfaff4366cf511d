// ExpTreeText: a tree in a compact one-line form, for tests, traces and error reports.
//
//   operator or function   (name operand...)   e.g. (AND (= a 1) (<> b 'x')), (LOWER a)
//                          operands are Left, Right, Child and then Args, each when present;
//                          CAST also shows its type as AS type/subtype
//   column                 name or alias.name       constant  5, 5L (largeint), 0.5f, 'it''s',
//   parameter              ?                                  TRUE, NULL (untyped), NULL:1
//   sub-select             SELECT                             date:N, time:N, timestamp:N
#pragma once

#include <string>

#include "db/sql/expressions/exp_token.h"

// The name of an operator or function code ("=", "AND", "NOT BETWEEN", "LOWER",
// "EXTRACT_YEAR"), or "op<N>" for a code outside the set.
std::string ExpOpName(uint8_t op);

// REQUIRES: the tree's height is bounded (every tree the parser and the readers build is).
std::string ExpTreeText(const TExpToken* root);
