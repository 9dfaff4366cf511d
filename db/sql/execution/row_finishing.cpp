// The finishing steps of a query's rows: ordering, removing repeated rows, and cutting to
// TOP and the maximum row count (see row_collector.h).
#include <algorithm>
#include <cstring>
#include <numeric>
#include <string_view>
#include <unordered_set>

#include "db/sql/execution/row_collector.h"
#include "db/sql/execution/value_compare.h"

namespace {

// A row to sort with its first key column taken out when that column is of an integer kind:
// most comparisons then read the key beside the row number instead of the row.
struct TSortEntry {
  int64_t Value;
  uint32_t Row;
  bool Present;  // not NULL
};

}  // namespace

std::vector<uint32_t> SortedOrder(const TQueryPlan& plan, const std::vector<int>& columns,
                                  const std::vector<bool>& descending, bool noCase) {
  const size_t size = plan.RecordSize, count = plan.RowCount();
  const TCompareOptions options{noCase, plan.LanguageId, plan.SortId};
  const uint8_t* rows = plan.Rows.data();
  // Compares rows x and y on the key columns from first on.
  auto compareFrom = [&](size_t first, uint32_t x, uint32_t y) {
    for (size_t i = first; i < columns.size(); ++i) {
      int r =
          CompareFieldValues(plan.Fields[columns[i]], rows + x * size, rows + y * size, options);
      if (i < descending.size() && descending[i]) r = -r;
      if (r != 0) return r;
    }
    return 0;
  };
  std::vector<TSortEntry> order(count);
  const bool keyed = !columns.empty() && IsIntegerKind(plan.Fields[columns[0]].Type);
  for (size_t i = 0; i < count; ++i) {
    TSortEntry& entry = order[i];
    entry.Row = static_cast<uint32_t>(i);
    entry.Value = 0;
    entry.Present = false;
    if (!keyed) continue;
    const FieldDescriptor& field = plan.Fields[columns[0]];
    const uint8_t* at = rows + i * size + field.Offset;
    entry.Present = at[0] != 0;
    if (entry.Present) entry.Value = StoredInteger(field.Type, at + 1);
  }
  if (keyed) {
    // Invariant (2) of value_compare.h: NULL first, then by value; later columns break ties,
    // and then the row number, which makes the order the stable one without a stable sort.
    const bool down = !descending.empty() && descending[0];
    std::sort(order.begin(), order.end(), [&](const TSortEntry& x, const TSortEntry& y) {
      int r = x.Present != y.Present ? (x.Present ? 1 : -1)
                                     : (x.Value < y.Value ? -1 : (y.Value < x.Value ? 1 : 0));
      if (down) r = -r;
      if (r == 0) r = compareFrom(1, x.Row, y.Row);
      return r != 0 ? r < 0 : x.Row < y.Row;
    });
  } else {
    std::stable_sort(order.begin(), order.end(), [&](const TSortEntry& x, const TSortEntry& y) {
      return compareFrom(0, x.Row, y.Row) < 0;
    });
  }
  std::vector<uint32_t> rowOrder(count);
  for (size_t i = 0; i < count; ++i) rowOrder[i] = order[i].Row;
  return rowOrder;
}

void SortRows(TQueryPlan& plan, const std::vector<int>& columns,
              const std::vector<bool>& descending, bool noCase) {
  const size_t size = plan.RecordSize, count = plan.RowCount();
  const std::vector<uint32_t> order = SortedOrder(plan, columns, descending, noCase);
  std::vector<uint8_t> sorted(count * size);
  for (size_t i = 0; i < count; ++i)
    std::memcpy(sorted.data() + i * size, plan.Rows.data() + size_t{order[i]} * size, size);
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
