// TRowCollector: turns the joined rows of one query into its result rows (the plan's Rows):
// projection, then grouping with the aggregates (explicit GROUP BY, or the implicit group of a
// select list of aggregates, which yields one row even over no rows), HAVING, DISTINCT,
// ORDER BY, TOP and finally the statement's maximum row count. Groups are found by hashing
// their key bytes (an open-addressing table of group numbers; every key has the same length,
// the group columns' stored bytes) and come out ordered by their keys; DISTINCT rows without ORDER
// BY come out ordered by all columns.
//
// Invariants:
//   (1) Every stored row is normalised (value_compare.h), so equal rows have equal bytes.
//   (2) The maximum row count and TOP cut the result only after grouping, DISTINCT and
//       ORDER BY; rows stop being collected early only when nothing after would reorder or
//       merge them.
#pragma once

#include <cstdint>
#include <vector>

#include "db/sql/execution/query_plan.h"
#include "db/sql/expressions/evaluate.h"

class TRowCollector {
 public:
  TRowCollector(TQueryPlan& plan, TExpEvaluator& evaluator, TExpTokenStack& pool);
  // The limit on collected rows below which collecting may stop (-1: none).
  void SetEarlyLimit(int64_t limit) { early_limit_ = limit; }
  // Takes the current joined row; false when no more rows are needed.
  bool Add();
  // Completes the groups (aggregates, HAVING) and leaves the rows in the plan.
  void FinishGroups();

 private:
  struct TAccumulator {
    int64_t Count = 0;
    int64_t Integer = 0;
    double Float = 0;
  };
  void Project(uint8_t* row, bool aggregatesToo);
  // The argument of aggregate column c for the current row, read straight from its source
  // record when it is a plain column: false for NULL.
  bool DirectArgument(const TResultColumn& column, double& asFloat, int64_t& asInteger,
                      bool& handled);
  void Accumulate(size_t group, const uint8_t* row);
  // The group whose key is key_ (key_size_ bytes), added with scratch_row_ as its row when new.
  size_t GroupOf();
  void GrowGroupSlots();
  void FinishGroup(size_t group, std::vector<TAccumulator>& running);

  TQueryPlan& plan_;
  TExpEvaluator& evaluator_;
  TExpTokenStack& pool_;
  int64_t early_limit_ = -1;
  std::vector<uint8_t> scratch_row_;
  TExpToken scratch_;
  // Per slot the high half of a group's hash and its number + 1 (0: empty); a power of two of
  // slots, at most half used. The key bytes and hash of group g are at g * key_size_ and g.
  std::vector<uint64_t> group_slots_;
  std::vector<uint8_t> group_keys_;
  std::vector<uint64_t> group_hashes_;
  std::vector<uint8_t> key_;
  size_t key_size_ = 0;
  std::vector<TAccumulator> accumulators_;  // groups x columns
  std::vector<int> aggregate_columns_;
};

// The row numbers of plan's rows in their stable order on columns (descending flags in
// parallel, missing ones ascending).
std::vector<uint32_t> SortedOrder(const TQueryPlan& plan, const std::vector<int>& columns,
                                  const std::vector<bool>& descending, bool noCase);
// Sorts plan's rows on columns (descending flags in parallel).
void SortRows(TQueryPlan& plan, const std::vector<int>& columns,
              const std::vector<bool>& descending, bool noCase);
// Removes repeated rows (all columns), keeping the first of each.
void RemoveDuplicateRows(TQueryPlan& plan);
// Keeps the first count rows (count < 0: all).
void KeepRows(TQueryPlan& plan, int64_t count);
// Orders, de-duplicates and cuts the finished rows of a query as its clauses ask.
void FinishRows(TQueryPlan& plan, bool distinct, int32_t top, int32_t maxRows, bool noCase);
