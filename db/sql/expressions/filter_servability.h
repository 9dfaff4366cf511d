// The index-servability test of a prepared filter tree: for each node, whether an index of
// the cursor answers it fully (2), partly (1, an AND of which one side is answered) or not at
// all (0), with an estimate of the records it selects and a cost (the estimate times the key
// length of the index used). The verdict is kept in the node's Servability, the estimates in
// Estimate and Cost (-1 when not computed), a leaf that only the threshold refused is marked
// HeldBack.
//
// The cursor answers through TFilterIndexSource, declared here because the cursor lives in the
// engine above this layer. Whether a leaf is servable is the source's answer to
// CountKeyRange, so the test never calls servable what the cursor cannot collect.
//
// Invariants after TestServability:
//   (1) A node with verdict 2 is made only of servable leaves (IS [NOT] NULL, comparisons,
//       string matches, IN, BETWEEN and their negations, of a column leading an index with a
//       constant), column-free subtrees, NOT, and AND and OR of verdict-2 sides.
//   (2) An AND with verdict 1 has its servable side on the left.
//   (3) The source's active index afterwards is the one it had before (the source keeps its
//       own choice; the test never changes the cursor's position).
#pragma once

#include <cstdint>

#include "db/sql/expressions/exp_token.h"

class TFilterIndexSource {
 public:
  virtual ~TFilterIndexSource() = default;
  // Makes the first index whose first field is field number fieldNo the active one; for a
  // string field its case option must be caseInsensitive unless anyCase. False when none.
  virtual bool SelectIndexLedBy(uint16_t fieldNo, bool caseInsensitive, bool anyCase) = 0;
  // The key length of the active index.
  virtual uint16_t ActiveKeyLength() = 0;
  // The records of the table (its active record count).
  virtual int64_t TotalRecordCount() = 0;
  // The keys of the active index in the range of op (kOpIsNull, kOpIsNotNull, kOpEqual,
  // kOpLess, kOpLessEqual, kOpGreater, kOpGreaterEqual) against constant (null for the two
  // null tests), compared over the first partialLength characters when partialLength > 0
  // (kOpEqual only), case-insensitively with noCase. column is the node of the leading
  // column (its type decides how a NULL string orders). Without count answers 0 instead of
  // counting. -1 when the index cannot answer the comparison exactly (the constant does not
  // fit the key, or the collation does not keep prefixes together).
  virtual int64_t CountKeyRange(uint8_t op, const TExpToken& column, const TExpToken* constant,
                                int32_t partialLength, bool noCase, bool count) = 0;
  // Whether field number fieldNo belongs to the table's text index.
  virtual bool InTextIndex(uint16_t fieldNo) = 0;
};

// The leading column of operand for a comparison node with the given NoCase: the column
// itself, or the column inside UPPER or LOWER when noCase is set (caseInsensitive then true).
// Null when operand is neither.
const TExpToken* ServableColumn(const TExpToken& operand, bool noCase, bool& caseInsensitive);

// Marks every node of the prepared tree root (see above). With estimate, counts the key ranges
// for the estimates; with threshold, a leaf whose estimate exceeds 90 % of the records is
// refused and marked HeldBack (an AND with a fully servable other side takes it back).
void TestServability(TExpToken& root, TFilterIndexSource& source, bool estimate, bool threshold);
