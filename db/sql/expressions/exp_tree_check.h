// CheckExpTreeShape: whether a tree that came from outside (a serialised tree read from a
// peer) has the shape the parser and the filter preparation build, so that the type checks and
// the evaluation, which follow links and read values without further checks, can use it.
//
// The shape, per node class:
//   1 unary        Left only; op IS NULL, IS NOT NULL, NOT, unary minus or plus
//   2 two-operand  Left and Right; op a comparison, AND, OR, + - * /
//   3 string match Left and Right, or exactly two Args; op =, <>, LIKE or NOT LIKE
//   4 column, 5 constant   no links; a non-null constant holds a well-formed value of its type
//                          (fixed-width types their exact size, strings zero-terminated)
//   10 function    Args only, their count as the function takes (COUNT 1, SUBSTRING 2..3 ...)
//   12 predicate   Args only: BETWEEN 3, LIKE 2, IN at least 2
// Sub-selects (6) cannot travel and are refused, as is any other class or code. Every link and
// argument is non-null and Child is never set.
#pragma once

#include <string>

#include "db/sql/expressions/exp_token.h"

// The empty text when every node of root's tree has its shape; otherwise what is wrong with the
// first node that has not. REQUIRES: the tree's height is at most kMaxExpTreeHeight.
std::string ExpTreeShapeFault(const TExpToken* root);

// The number of arguments a function or predicate code takes: [minimum, maximum]. False for a
// code that is no function or predicate of class cls.
bool ExpArgumentRange(uint8_t cls, uint8_t op, size_t& minimum, size_t& maximum);
