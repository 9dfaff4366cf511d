// Key ranges of filter comparisons on one index, as intervals of ranks (0-based places in the
// index's own order), and the walks that collect or count the records of rank intervals.
//
// A comparison of the column that leads the index with a constant is a probe key (the
// constant encoded as the index encodes the column: locale, case option, descending fields)
// compared over the column's bytes only. The keys equal to it over those bytes are the ranks
// [CountBefore(probe, n), CountBefore(probe, n, inclusive)); the other operators take the
// ranks on one side of that block, up to the block of null keys, which lies at the low end of
// the column's order (at the start of an ascending, at the end of a descending index). Counting
// ranks through the branch pages' subtree counts needs no successor or predecessor key and no
// filler, so it is exact for every collation.
//
// Ordering comparisons of strings follow the evaluator, which orders a NULL string as the
// empty one: their range takes the null block too exactly when '' satisfies the comparison.
//
// Invariant: a range holds exactly the keys whose records the evaluator lets pass for the
// comparison (BuildKeyRange answers false when it cannot promise that: a constant of another
// type than the column, a string longer than the column, a prefix match under a collation).
#pragma once

#include <cstdint>

#include "db/sql/bitmaps/records_bitmap.h"
#include "db/storage/index/index_file.h"

class TExpToken;

// Raised by the walks when the pages they follow no longer form the tree they started on
// (another session's change replaced them): the caller starts its build again. The same
// signal as a cache miss that found the index changed, so one handler serves both.
using TViewChanged = TIndexChanged;

// At most two rank intervals [First, Last).
struct TRankRange {
  int64_t First[2] = {0, 0};
  int64_t Last[2] = {0, 0};
  int Parts = 0;

  void Add(int64_t first, int64_t last) {
    if (first < last) {
      First[Parts] = first;
      Last[Parts] = last;
      ++Parts;
    }
  }
  int64_t Count() const {
    int64_t total = 0;
    for (int i = 0; i < Parts; ++i) total += Last[i] - First[i];
    return total;
  }
};

// The range of op (kOpIsNull, kOpIsNotNull, kOpEqual, kOpLess, kOpLessEqual, kOpGreater,
// kOpGreaterEqual, and kOpBetween with constant and high) on index slot, whose first field is
// the column compared; partialLength > 0 compares that many leading characters (kOpEqual).
// noCase: the comparison ignores case (the index then is case-insensitive). A NULL constant
// makes = an IS NULL; other operators with it answer false. With count unset the ranks are not
// computed (the answer only says whether the range can be formed). recordSize is the table's.
bool BuildKeyRange(TIndexFile& index, int slot, uint32_t recordSize, uint8_t op,
                   const TExpToken* constant, const TExpToken* high, int32_t partialLength,
                   bool noCase, bool count, TRankRange& range);

// Sets the bit of the record of every entry of index slot with rank in [first, last).
// Raises TViewChanged when the leaf chain ends or breaks before last.
void CollectRanks(TIndexFile& index, int slot, int64_t first, int64_t last, TRecordsBitmap& bitmap);
// The number of entries with rank in [first, last) whose record is in members.
int64_t CountMembers(TIndexFile& index, int slot, int64_t first, int64_t last,
                     const TRecordsBitmap& members);
