// The tree shape of the older serialised form, for peers below protocol version 30400, which
// know no argument lists: arguments travel in the Left, Right and Child links.
//
//   | Node                                            | Left         | Right        | further |
//   |-------------------------------------------------|--------------|--------------|----------------|
//   | SUM RUNSUM COUNT MIN MAX AVG UPPER LOWER LENGTH | arg 0        |              | | |   EXTRACT
//   ABS                                   |              |              |                | |
//   SUBSTRING                                       | arg 0        | arg 1 (FROM) | arg 2 as Right
//   of arg 1 | | REPLACE                                         | arg 2 (IN)   | arg 0        |
//   arg 1 as Right of arg 0 | | POS, OCCURS, TRIM                               | arg 1        |
//   arg 0        |                | | CAST                                            | arg 0 | arg
//   1        | arg 2 as Right of arg 1 | | ROUND                                           | arg 0
//   | arg 1        |                | | IF                                              | arg 0 |
//   arg 1        | arg 2 as Child | | LIKE, NOT LIKE                                  | arg 0 | arg
//   1        |                | | BETWEEN, NOT BETWEEN                            | arg 0        |
//   arg 1        | arg 2 as Right of arg 1 | | IN, NOT IN (value list)                         |
//   arg 0        | arg 1        | each further value as Right of the one before |
//
// Two faults of a plain in-place rewrite are avoided here:
//   - The caller's tree is never changed: the old form is written from a reshaped copy.
//   - A node that must carry a chained value in its Right link (arg 1 of SUBSTRING, CAST and
//     BETWEEN, arg 0 of REPLACE, every IN value) may not have a Right link of its own (1 + 2 as
//     a BETWEEN bound): the chain would overwrite it, and the reader could not tell the two
//     apart. Such a tree, and functions the old form cannot carry at all (COALESCE, IFNULL,
//     TEXTSEARCH, TEXTOCCURS, LASTAUTOINC, IDENT_CURRENT), are refused instead of being sent
//     in a form that means something else.
// Every node below is reshaped, not only those in Left positions, so nested functions keep
// their arguments.
#pragma once

#include <cstdint>
#include <string>

#include "db/sql/expressions/exp_token.h"
#include "db/sql/expressions/exp_token_stack.h"

// A reshaped copy of root's tree taken from pool (no node has Args), owned by the caller.
// Raises errorCode with a detail naming the node when the tree cannot be carried in the old
// form (see above) or holds a sub-select. REQUIRES: root is non-null and its height bounded.
TExpToken* ReshapeForOldForm(TExpTokenStack& pool, const TExpToken* root, uint16_t errorCode);

// Moves the arguments of an old-form tree back into Args, in place: the inverse of the
// reshaping. Returns the empty text on success, else what is wrong (a missing link, a link the
// node's kind does not use); the tree's links are then unspecified but every node is still in
// it or detached, so the caller releases the nodes it took. Heights are recomputed.
// REQUIRES: the tree's height is at most kMaxExpTreeHeight.
std::string RestoreOldFormArguments(TExpToken* root);
