// The serialised forms in which an expression tree travels between processes (filters sent to
// a database server, computed-field expressions received from one), their writer and readers.
//
// A tree is written depth-first: a node's record, its Left subtree, its Right subtree, [its
// Child subtree,] then each argument's subtree in order. A record is a sequence of items, each a
// 4-byte little-endian length followed by that many bytes:
//
//   | #  | Item                                  | Bytes        |
//   |----|---------------------------------------|--------------|
//   | 1  | Text                                  | its length   |
//   | 2  | NodeClass                             | 1            |
//   | 3  | OpCode                                | 1            |
//   | 4  | Servability                           | 1            |
//   | 5  | ColumnName characters                 | 0..255       |
//   | 6  | FieldNo (LE)                          | 2            |
//   | 7  | value size (LE)                       | 4            |
//   | 8  | value                                 | value size   |
//   | 9  | IsNull                                | 1            |
//   | 10 | PartialLength (LE)                    | 4            |
//   | 11 | NoCase                                | 1            |
//   | 12 | ValueType                             | 1            |
//   | 13 | SubType                               | 1            |
//   | 14 | Scale                                 | 1            |
//   | 15 | offset of the Left record, 0 if none  | 4            |
//   | 16 | offset of the Right record, 0 if none | 4            |
//   | 17 | argument count                        | 4            |  current form only
//   | 18 | offset of the first argument, 0 if none | 4          |  current form only
//   | 17 | offset of the Child record, 0 if none | 4            |  older form only
//
// Offsets count from the start of the buffer. The older form (for peers below protocol version
// 30400) carries no argument lists; exp_tree_reshape.h gives how arguments move into the links.
//
// The readers trust nothing in the buffer. Invariants they keep:
//   (1) Every length is checked against the bytes left and against its item's width before a
//       byte of the item is read; nothing is ever read outside the buffer.
//   (2) A non-zero offset must equal the position where that subtree starts in depth-first
//       order, so a record is read at most once: no loops, no shared nodes, no jumps.
//   (3) The tree is at most kMaxExpTreeHeight high; an argument count is only trusted as far as
//       records actually follow.
//   (4) The tree must have the shape the parser builds (exp_tree_check.h), the buffer must end
//       exactly where the tree does, and a failed read leaves no node behind.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "db/engine/errors/engine_error_codes.h"
#include "db/sql/expressions/exp_token.h"
#include "db/sql/expressions/exp_token_stack.h"

// Peers below this protocol version get the older form.
inline constexpr int32_t kArgumentListVersion = 30400;

// Writes root's tree in the form for a peer of peerVersion into buffer (replacing what it held)
// and returns the size. The tree is not changed. Raises errorCode with a detail naming the node
// when the tree cannot be written: a sub-select, a tree higher than kMaxExpTreeHeight, or for
// the older form a tree that form cannot carry (exp_tree_reshape.h). REQUIRES: root non-null.
size_t SerializeTree(const TExpToken* root, int32_t peerVersion, std::vector<uint8_t>& buffer,
                     TExpTokenStack& pool = GlobalExpTokenStack(),
                     uint16_t errorCode = VUZODE_INVALIDFILTER);

// Rebuilds a tree from bytes written for a peer of peerVersion, with nodes from pool, and
// returns it (the caller owns it; release with ReleaseExpTree). Raises errorCode with the detail
// "Invalid expression tree: <what> at offset <n>" for any buffer that breaks invariants (1) to
// (4); the older form's arguments are moved back into Args.
TExpToken* ReadSerializedTree(std::span<const uint8_t> bytes, int32_t peerVersion,
                              TExpTokenStack& pool = GlobalExpTokenStack(),
                              uint16_t errorCode = VUZODE_INVALIDFILTER);
