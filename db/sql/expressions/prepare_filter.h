// PrepareFilter: the copy of a checked filter tree that the filter keeps and the servability
// test reads, with constant sub-expressions folded, constants brought to the type of what they
// are compared with, and string comparisons turned into string matches an index can answer.
// FoldConstant: the value of a column-free subtree as one constant node.
//
// Invariants of a prepared tree:
//   (1) It selects exactly the records the checked tree selects. A constant is converted to the
//       type of the operand it is compared with only when the conversion loses nothing;
//       otherwise an equality that can never hold becomes FALSE, an inequality TRUE, and an
//       ordering bound moves to the nearest value of the operand's type on the correct side
//       (intcol < 1.5 becomes intcol <= 1, smallcol < 70000 becomes smallcol <= 32767). So a
//       filter answered from an index returns the records evaluation would.
//   (2) The input tree is not changed; the copy shares no node with it.
#pragma once

#include <cstdint>

#include "db/sql/expressions/exp_token.h"
#include "db/sql/expressions/exp_token_stack.h"

struct TFilterPrepareOptions {
  bool NoPartialCompare = false;  // string matches compare whole strings
  bool CaseInsensitive = false;   // the filter's case option
  uint16_t SortId = 0;
  uint16_t LanguageId = 0;
};

// True when node's subtree refers to no column, sub-select, parameter or cursor-bound function
// (TEXTSEARCH, TEXTOCCURS, LASTAUTOINC, IDENT_CURRENT), so its value is the same for every
// record.
bool IsColumnFree(const TExpToken& node);

// The value of the column-free subtree node as a new constant node (class 5, node's text) from
// pool. REQUIRES: IsColumnFree(node) and a checked tree.
TExpToken* FoldConstant(const TExpToken& node, const TFilterPrepareOptions& options,
                        TExpTokenStack& pool = GlobalExpTokenStack());

// The prepared copy of the checked filter tree root; the caller releases it with
// ReleaseExpTree. On an error nothing is left behind.
TExpToken* PrepareFilter(const TExpToken& root, const TFilterPrepareOptions& options,
                         TExpTokenStack& pool = GlobalExpTokenStack());
