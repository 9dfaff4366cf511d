// The live result path (see live_result.h).
#include "db/sql/execution/live_result.h"

#include <cstring>
#include <limits>

#include "db/sql/execution/row_walker.h"
#include "db/sql/execution/select_prepare.h"
#include "db/sql/execution/value_compare.h"
#include "db/sql/expressions/prepare_filter.h"
#include "db/sql/expressions/value_conversion.h"

namespace {

// The key range a WHERE of comparisons on one indexed column stands for.
struct TKeyRange {
  int Index = -1;
  const TExpToken* Column = nullptr;
  std::vector<std::pair<uint8_t, const TExpToken*>> Bounds;  // operator, value
};

bool IntegerKind(uint8_t type) {
  return type == kFieldSmallInt || type == kFieldInteger || type == kFieldLargeInt ||
         type == kFieldInt32 || type == kFieldDate || type == kFieldTime;
}

bool KeyRangeOf(const TQueryPlan& plan, TKeyRange& range) {
  if (plan.CursorConditions.empty() || plan.CursorConditions.size() > 4) return false;
  for (const auto& [source, tree] : plan.CursorConditions) {
    const TExpToken& node = *tree;
    if (node.NodeClass != kNodeBinary || node.OpCode < kOpEqual || node.OpCode > kOpLessEqual ||
        node.OpCode == kOpNotEqual)
      return false;
    bool found = false;
    for (int side = 0; side < 2 && !found; ++side) {
      const TExpToken* column = side == 0 ? node.Left : node.Right;
      const TExpToken* value = side == 0 ? node.Right : node.Left;
      if (!column || !value || column->NodeClass != kNodeColumn || column->FieldNo == 0 ||
          column->ValueType != value->ValueType || !(IsColumnFree(*value) || value->IsParam))
        continue;
      if (range.Column && range.Column->FieldNo != column->FieldNo) return false;
      uint8_t op = node.OpCode;
      if (side == 1 && op != kOpEqual) {  // value op column: turn it round
        static const uint8_t kTurned[] = {
            0, 0, 0, 0, 0, kOpLess, kOpGreater, kOpLessEqual, kOpGreaterEqual};
        op = kTurned[op];
      }
      range.Column = column;
      range.Bounds.emplace_back(op, value);
      found = true;
    }
    if (!found) return false;
  }
  const FieldDescriptor& field =
      plan.Sources.front()->Cursor->FieldDescriptors()[range.Column->FieldNo - 1];
  if (field.IsAutoIncrement()) return false;
  const bool equalityOnly = range.Bounds.size() == 1 && range.Bounds[0].first == kOpEqual;
  if (!equalityOnly && !IntegerKind(field.Type)) return false;
  range.Index = SeekIndexFor(*plan.Sources.front(), range.Column->FieldNo);
  return range.Index >= 0 && (plan.LiveIndex == kRecordOrder || plan.LiveIndex == range.Index);
}

int64_t LowestOf(uint8_t type) {
  switch (type) {
    case kFieldSmallInt:
      return std::numeric_limits<int16_t>::min();
    case kFieldLargeInt:
      return std::numeric_limits<int64_t>::min();
    default:
      return std::numeric_limits<int32_t>::min();
  }
}

int64_t HighestOf(uint8_t type) {
  switch (type) {
    case kFieldSmallInt:
      return std::numeric_limits<int16_t>::max();
    case kFieldLargeInt:
      return std::numeric_limits<int64_t>::max();
    default:
      return std::numeric_limits<int32_t>::max();
  }
}

// Sets the range on cursor: one key for an equality, else integer bounds. False, with nothing
// set, when the bounds hold no value (the conditions then go in as filters).
bool ApplyKeyRange(const TQueryPlan& plan, const TKeyRange& range, TDataCursor& cursor,
                   TExpTokenStack& pool) {
  const FieldDescriptor& field = cursor.FieldDescriptors()[range.Column->FieldNo - 1];
  std::vector<uint8_t> low(cursor.RecordSize(), 0), high(cursor.RecordSize(), 0);
  TExpEvaluator evaluator(nullptr, plan.SortId, plan.LanguageId, pool);
  TExpToken scratch;
  if (range.Bounds.size() == 1 && range.Bounds[0].first == kOpEqual) {
    TExpToken* value = evaluator.Evaluate(*range.Bounds[0].second, nullptr);
    StoreValue(field, *value, scratch, low.data());
    pool.Return(value);
    if (cursor.IndexNumber() != range.Index) cursor.SetIndexNumber(range.Index);
    cursor.SetRange(false, low.data(), 1, low.data(), 1);
    return true;
  }
  const int64_t lowest = LowestOf(field.Type), highest = HighestOf(field.Type);
  int64_t from = lowest, to = highest;
  bool empty = false;
  for (const auto& [op, tree] : range.Bounds) {
    TExpToken* value = evaluator.Evaluate(*tree, nullptr);
    const bool null = value->IsNull != 0;
    const int64_t v = null ? 0 : IntegerOf(*value);
    pool.Return(value);
    if (null) return false;  // an ordering against NULL: left to the filters
    if (op == kOpEqual || op == kOpGreaterEqual) from = std::max(from, v);
    if (op == kOpEqual || op == kOpLessEqual) to = std::min(to, v);
    if (op == kOpGreater) {
      if (v == highest)
        empty = true;
      else
        from = std::max(from, v + 1);
    }
    if (op == kOpLess) {
      if (v == lowest)
        empty = true;
      else
        to = std::min(to, v - 1);
    }
  }
  if (empty || from > to) return false;
  StoreInteger(scratch, field.Type, from);
  StoreValue(field, scratch, scratch, low.data());
  StoreInteger(scratch, field.Type, to);
  StoreValue(field, scratch, scratch, high.data());
  if (cursor.IndexNumber() != range.Index) cursor.SetIndexNumber(range.Index);
  cursor.SetRange(false, low.data(), 1, high.data(), 1);
  return true;
}

void ReopenSource(TSourceState& source) {
  auto cursor = std::make_unique<TDataCursor>(*source.Directory);
  cursor->SetTableName(source.Table->TableName);
  cursor->SetInMemory(source.Table->InMemory);
  cursor->SetReadOnly(source.ReadOnly);
  cursor->SetLiveResult(source.LiveResult);
  cursor->OpenCursor();
  source.Cursor = std::move(cursor);
  source.Table->Cursor = source.Cursor.get();
  source.Buffer.assign(source.Cursor->RecordSize(), 0);
  source.Environment = std::make_unique<TCursorEnvironment>(source.Cursor->FieldDescriptors());
  source.Fresh = true;
}

}  // namespace

bool ApplyWhereKeyRange(TQueryPlan& plan, TExpTokenStack& pool) {
  if (plan.Sources.size() != 1 || !plan.Residual.empty()) return false;
  for (const TJoinLevel& level : plan.Levels)
    if (!level.Match.empty() || !level.After.empty()) return false;
  TKeyRange range;
  return KeyRangeOf(plan, range) && ApplyKeyRange(plan, range, *plan.Sources.front()->Cursor, pool);
}

void EnsureSourcesOpen(TQueryPlan& plan) {
  for (auto& source : plan.Sources) {
    if (!source->Cursor)
      ReopenSource(*source);
    else if (!source->Fresh)
      source->Cursor->Refresh();
    source->Fresh = false;
  }
}

std::unique_ptr<TDataCursor> MakeLiveResult(TQueryPlan& plan, TExpTokenStack& pool, bool markLive) {
  TSourceState& source = *plan.Sources.front();
  // A cursor marked as a live result starts in record order, whose view is a bitmap as large
  // as the table; a result that a key range serves has its index active anyway, so it stays
  // an ordinary cursor on the table and costs only its own keys.
  auto mark = [&](bool live) {
    if (source.Cursor->LiveResult() == live) return;
    source.Cursor->CloseCursor();
    source.Cursor->SetLiveResult(live);
    source.Cursor->OpenCursor();
  };
  TRowWalker::DropFilters(plan);
  TKeyRange range;
  bool ranged = KeyRangeOf(plan, range);
  if (ranged) {
    mark(false);
    ranged = ApplyKeyRange(plan, range, *source.Cursor, pool);
  }
  if (!ranged) {
    mark(markLive);
    TRowWalker::InstallFilters(plan, pool);
    if (plan.LiveIndex != kRecordOrder && source.Cursor->IndexNumber() != plan.LiveIndex)
      source.Cursor->SetIndexNumber(plan.LiveIndex);
  }
  source.LiveResult = source.Cursor->LiveResult();
  source.Cursor->SetToBegin();
  // The filters now belong to the caller's cursor.
  plan.InstalledFilters.clear();
  std::unique_ptr<TDataCursor> result = std::move(source.Cursor);
  // Opened again now, while the result still holds the table: were the table's last cursor
  // closed first, the registry would free it and the next open would read it afresh. The
  // cursor's reads notice other users' changes on their own, so it needs no refresh later.
  ReopenSource(source);
  return result;
}
