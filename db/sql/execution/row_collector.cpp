// Projection, grouping and the finishing steps of a query's rows (see row_collector.h).
#include "db/sql/execution/row_collector.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <unordered_set>

#include "db/engine/cursor/cursor_environment.h"
#include "db/sql/execution/value_compare.h"
#include "db/sql/expressions/value_conversion.h"
#include "db/storage/index/index_key.h"

namespace {

bool SumsAsFloat(const FieldDescriptor& field, uint8_t aggregate) {
  return aggregate == kAggregateAvg || field.Type == kFieldFloat || field.Type == kFieldTimestamp;
}

}  // namespace

TRowCollector::TRowCollector(TQueryPlan& plan, TExpEvaluator& evaluator, TExpTokenStack& pool)
    : plan_(plan), evaluator_(evaluator), pool_(pool) {
  plan_.Rows.clear();
  scratch_row_.assign(plan_.RecordSize, 0);
  for (size_t c = 0; c < plan_.Columns.size(); ++c)
    if (plan_.Columns[c].Aggregate != kAggregateNone)
      aggregate_columns_.push_back(static_cast<int>(c));
}

void TRowCollector::Project(uint8_t* row, bool aggregatesToo) {
  for (size_t c = 0; c < plan_.Columns.size(); ++c) {
    const TResultColumn& column = plan_.Columns[c];
    const FieldDescriptor& field = plan_.Fields[c];
    if (column.Aggregate != kAggregateNone && !aggregatesToo) continue;
    if (column.Source) {
      if (column.Source->NullRow) {
        std::memset(row + field.Offset, 0, 1u + field.StoredLength);
        continue;
      }
      CopyField(column.Source->Cursor->FieldDescriptors()[column.SourceField - 1],
                column.Source->Buffer.data(), field, row);
      continue;
    }
    TExpToken* value = evaluator_.Evaluate(*column.Expression, nullptr);
    StoreValue(field, *value, scratch_, row);
    pool_.Return(value);
  }
}

bool TRowCollector::Add() {
  const size_t size = plan_.RecordSize;
  if (!plan_.Grouped) {
    plan_.Rows.resize(plan_.Rows.size() + size, 0);
    Project(plan_.Rows.data() + plan_.Rows.size() - size, false);
    return early_limit_ < 0 || static_cast<int64_t>(plan_.RowCount()) < early_limit_;
  }
  std::fill(scratch_row_.begin(), scratch_row_.end(), 0);
  Project(scratch_row_.data(), false);
  key_.clear();
  for (int c : plan_.GroupColumns) {
    const FieldDescriptor& field = plan_.Fields[c];
    key_.append(reinterpret_cast<const char*>(scratch_row_.data() + field.Offset),
                1u + field.StoredLength);
  }
  auto entry = groups_.find(key_);
  if (entry == groups_.end()) {
    entry = groups_.emplace(key_, plan_.RowCount()).first;
    plan_.Rows.insert(plan_.Rows.end(), scratch_row_.begin(), scratch_row_.end());
    accumulators_.resize(accumulators_.size() + aggregate_columns_.size());
  }
  Accumulate(entry->second, plan_.Rows.data() + entry->second * size);
  return true;
}

void TRowCollector::Accumulate(size_t group, const uint8_t* row) {
  uint8_t* image = const_cast<uint8_t*>(row);
  for (size_t a = 0; a < aggregate_columns_.size(); ++a) {
    const int c = aggregate_columns_[a];
    const TResultColumn& column = plan_.Columns[c];
    const FieldDescriptor& field = plan_.Fields[c];
    TAccumulator& acc = accumulators_[group * aggregate_columns_.size() + a];
    if (!column.Expression) {  // COUNT(*)
      ++acc.Count;
      continue;
    }
    bool handled = false;
    double directFloat = 0;
    int64_t directInteger = 0;
    const bool present = DirectArgument(column, directFloat, directInteger, handled);
    if (handled) {
      if (!present) continue;
      ++acc.Count;
      if (column.Aggregate == kAggregateCount) continue;
      if (SumsAsFloat(field, column.Aggregate))
        acc.Float += directFloat;
      else
        acc.Integer += directInteger;
      continue;
    }
    TExpToken* value = evaluator_.Evaluate(*column.Expression, nullptr);
    if (value->IsNull || (value->ValueType == kFieldString && value->StringValue().empty())) {
      pool_.Return(value);
      continue;
    }
    ++acc.Count;
    switch (column.Aggregate) {
      case kAggregateCount:
        break;
      case kAggregateMin:
      case kAggregateMax: {
        StoreValue(field, *value, scratch_, scratch_row_.data());
        const int order = CompareFieldValues(field, scratch_row_.data(), image, {});
        if (image[field.Offset] == 0 || (column.Aggregate == kAggregateMin ? order < 0 : order > 0))
          std::memcpy(image + field.Offset, scratch_row_.data() + field.Offset,
                      1u + field.StoredLength);
        break;
      }
      default: {
        TNumber number;
        double asFloat = 0;
        int64_t asInteger = 0;
        if (NumberOf(*value, number)) {
          asFloat = NumberAsDouble(number);
          asInteger =
              number.Kind == TNumber::kFloat ? static_cast<int64_t>(number.Float) : number.Integer;
          if (field.Type == kFieldBcd && number.Kind != TNumber::kBcd)
            asInteger = std::llround(asFloat * 10000.0);
        } else {
          asFloat = StoredNumber(value->ValueType, value->Value());
          asInteger = static_cast<int64_t>(asFloat);
        }
        if (SumsAsFloat(field, column.Aggregate))
          acc.Float += asFloat;
        else
          acc.Integer += asInteger;
      }
    }
    pool_.Return(value);
  }
}

bool TRowCollector::DirectArgument(const TResultColumn& column, double& asFloat, int64_t& asInteger,
                                   bool& handled) {
  const TExpToken& node = *column.Expression;
  handled = false;
  if (node.NodeClass != kNodeColumn || !node.SourceTable || node.FieldNo == 0 ||
      column.Aggregate == kAggregateMin || column.Aggregate == kAggregateMax)
    return false;
  const auto& source = *static_cast<const TSourceState*>(node.SourceTable);
  const FieldDescriptor& field = source.Cursor->FieldDescriptors()[node.FieldNo - 1];
  if (field.Computed || field.Type == kFieldBlob) return false;
  handled = true;
  if (source.NullRow) return false;
  const uint8_t* record = source.Buffer.data();
  if (field.IsAutoIncrement()) {
    int32_t id;
    std::memcpy(&id, record + kRowIdOffset, 4);
    asFloat = id, asInteger = id;
    return true;
  }
  const uint8_t* at = record + field.Offset;
  if (at[0] == 0) return false;
  switch (field.Type) {
    case kFieldString:
      if (column.Aggregate != kAggregateCount) return handled = false;
      return at[1] != 0;
    case kFieldFloat:
    case kFieldTimestamp:
      std::memcpy(&asFloat, at + 1, 8);
      asInteger = static_cast<int64_t>(asFloat);
      return true;
    case kFieldLargeInt:
      std::memcpy(&asInteger, at + 1, 8);
      asFloat = static_cast<double>(asInteger);
      return true;
    case kFieldBcd:
      asInteger = BcdToTenThousandths(at + 1);
      asFloat = static_cast<double>(asInteger) / 10000.0;
      return true;
    case kFieldSmallInt:
    case kFieldBoolean:
    case kFieldWord:
    case kFieldDate:
    case kFieldInteger:
    case kFieldTime:
    case kFieldInt32:
      asFloat = StoredNumber(field.Type, at + 1);
      asInteger = static_cast<int64_t>(asFloat);
      return true;
    default:
      if (column.Aggregate != kAggregateCount) return handled = false;
      return true;
  }
}

void TRowCollector::FinishGroup(size_t group, std::vector<TAccumulator>& running) {
  uint8_t* row = plan_.Rows.data() + group * plan_.RecordSize;
  for (size_t a = 0; a < aggregate_columns_.size(); ++a) {
    const int c = aggregate_columns_[a];
    const uint8_t aggregate = plan_.Columns[c].Aggregate;
    const FieldDescriptor& field = plan_.Fields[c];
    TAccumulator acc = accumulators_[group * aggregate_columns_.size() + a];
    if (aggregate == kAggregateMin || aggregate == kAggregateMax) continue;
    if (aggregate == kAggregateRunSum) {
      running[a].Count += acc.Count, running[a].Integer += acc.Integer;
      running[a].Float += acc.Float;
      acc = running[a];
    }
    TExpToken& out = scratch_;
    if (aggregate == kAggregateCount) {
      out.SetInteger(static_cast<int32_t>(acc.Count));
    } else if (aggregate == kAggregateAvg) {
      // An average over no values is 0, as the averaging step gives for a count of 0.
      const double average = acc.Count == 0 ? 0 : acc.Float / static_cast<double>(acc.Count);
      if (field.Type == kFieldBcd)
        StoreBcd(out, std::llround(average * 10000.0), field.Scale);
      else if (field.Type == kFieldFloat || field.Type == kFieldTimestamp)
        out.SetFloat(average), out.ValueType = field.Type;
      else
        StoreInteger(out, field.Type, std::llround(average));
    } else if (acc.Count == 0) {
      out.SetNull();
    } else if (field.Type == kFieldBcd) {
      StoreBcd(out, acc.Integer, field.Scale);
    } else if (SumsAsFloat(field, aggregate)) {
      out.SetFloat(acc.Float), out.ValueType = field.Type;
    } else if (!StoreInteger(out, field.Type, acc.Integer)) {
      out.SetNull();
    }
    StoreValue(field, out, scratch_, row);
  }
}

void TRowCollector::FinishGroups() {
  if (!plan_.Grouped) return;
  if (plan_.RowCount() == 0 && plan_.Query->GroupBy.empty()) {
    // The implicit group over no rows is still one row.
    for (auto& source : plan_.Sources) source->NullRow = true;
    std::fill(scratch_row_.begin(), scratch_row_.end(), 0);
    Project(scratch_row_.data(), false);
    for (auto& source : plan_.Sources) source->NullRow = false;
    plan_.Rows.assign(scratch_row_.begin(), scratch_row_.end());
    accumulators_.assign(aggregate_columns_.size(), {});
  }
  // Groups in key order, then their aggregates (the running sums follow that order).
  const size_t count = plan_.RowCount();
  std::vector<size_t> order(count);
  std::iota(order.begin(), order.end(), 0);
  const TCompareOptions options{false, plan_.LanguageId, plan_.SortId};
  const size_t size = plan_.RecordSize;
  std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
    for (int c : plan_.GroupColumns) {
      const int r = CompareFieldValues(plan_.Fields[c], plan_.Rows.data() + x * size,
                                       plan_.Rows.data() + y * size, options);
      if (r != 0) return r < 0;
    }
    return false;
  });
  std::vector<uint8_t> rows(count * size);
  std::vector<TAccumulator> accumulators(accumulators_.size());
  const size_t width = aggregate_columns_.size();
  for (size_t i = 0; i < count; ++i) {
    std::memcpy(rows.data() + i * size, plan_.Rows.data() + order[i] * size, size);
    std::copy_n(accumulators_.begin() + static_cast<std::ptrdiff_t>(order[i] * width), width,
                accumulators.begin() + static_cast<std::ptrdiff_t>(i * width));
  }
  plan_.Rows = std::move(rows);
  accumulators_ = std::move(accumulators);
  std::vector<TAccumulator> running(width);
  for (size_t g = 0; g < count; ++g) FinishGroup(g, running);

  const TExpToken* having = plan_.Query->Having.get();
  if (!having) return;
  TCursorEnvironment environment(plan_.Fields);
  TExpEvaluator evaluator(&environment, plan_.SortId, plan_.LanguageId, pool_);
  size_t kept = 0;
  for (size_t g = 0; g < count; ++g) {
    const uint8_t* row = plan_.Rows.data() + g * size;
    if (!evaluator.Holds(*having, row)) continue;
    if (kept != g) std::memmove(plan_.Rows.data() + kept * size, row, size);
    ++kept;
  }
  plan_.Rows.resize(kept * size);
}
