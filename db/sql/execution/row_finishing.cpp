// The finishing steps of a query's rows: ordering, removing repeated rows, and cutting to
// TOP and the maximum row count (see row_collector.h).
#include <algorithm>
#include <cstring>
#include <numeric>
#include <string_view>
#include <unordered_set>

#include "db/sql/execution/row_collector.h"
#include "db/sql/execution/value_compare.h"

void SortRows(TQueryPlan& plan, const std::vector<int>& columns,
              const std::vector<bool>& descending, bool noCase) {
  const size_t size = plan.RecordSize, count = plan.RowCount();
  std::vector<uint32_t> order(count);
  std::iota(order.begin(), order.end(), 0);
  const TCompareOptions options{noCase, plan.LanguageId, plan.SortId};
  const uint8_t* rows = plan.Rows.data();
  std::stable_sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
    for (size_t i = 0; i < columns.size(); ++i) {
      int r =
          CompareFieldValues(plan.Fields[columns[i]], rows + x * size, rows + y * size, options);
      if (i < descending.size() && descending[i]) r = -r;
      if (r != 0) return r < 0;
    }
    return false;
  });
  std::vector<uint8_t> sorted(count * size);
  for (size_t i = 0; i < count; ++i)
    std::memcpy(sorted.data() + i * size, rows + order[i] * size, size);
  plan.Rows = std::move(sorted);
}

void RemoveDuplicateRows(TQueryPlan& plan) {
  const size_t size = plan.RecordSize, count = plan.RowCount();
  std::unordered_set<std::string_view> seen;
  seen.reserve(count);
  std::vector<uint8_t> kept;
  kept.reserve(plan.Rows.size());
  for (size_t i = 0; i < count; ++i) {
    const auto* row = reinterpret_cast<const char*>(plan.Rows.data() + i * size);
    if (seen.insert(std::string_view(row, size)).second)
      kept.insert(kept.end(), plan.Rows.data() + i * size, plan.Rows.data() + (i + 1) * size);
  }
  plan.Rows = std::move(kept);
}

void KeepRows(TQueryPlan& plan, int64_t count) {
  if (count >= 0 && static_cast<size_t>(count) < plan.RowCount())
    plan.Rows.resize(static_cast<size_t>(count) * plan.RecordSize);
}

void FinishRows(TQueryPlan& plan, bool distinct, int32_t top, int32_t maxRows, bool noCase) {
  if (distinct) {
    RemoveDuplicateRows(plan);
    if (plan.OrderColumns.empty()) {
      std::vector<int> all(plan.Fields.size());
      std::iota(all.begin(), all.end(), 0);
      SortRows(plan, all, {}, false);
    }
  }
  if (!plan.OrderColumns.empty()) SortRows(plan, plan.OrderColumns, plan.OrderDescending, noCase);
  KeepRows(plan, top);
  KeepRows(plan, maxRows);
}
