// Projection, grouping and the finishing steps of a query's rows (see row_collector.h).
#include "db/sql/execution/row_collector.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <unordered_set>

#include "db/engine/cursor/cursor_environment.h"
#include "db/sql/execution/sql_failure.h"
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
  for (int c : plan_.GroupColumns) key_size_ += 1u + plan_.Fields[c].StoredLength;
  key_.assign(key_size_, 0);
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
  uint8_t* key = key_.data();
  for (int c : plan_.GroupColumns) {
    const FieldDescriptor& field = plan_.Fields[c];
    std::memcpy(key, scratch_row_.data() + field.Offset, 1u + field.StoredLength);
    key += 1u + field.StoredLength;
  }
  const size_t group = GroupOf();
  Accumulate(group, plan_.Rows.data() + group * size);
  return true;
}

namespace {

uint64_t HashKey(const uint8_t* key, size_t size) {
  uint64_t hash = 0x9E3779B97F4A7C15ull ^ size;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, key + i, 8);
    hash = (hash ^ word) * 0xBF58476D1CE4E5B9ull;
    hash ^= hash >> 31;
  }
  uint64_t tail = 0;
  if (i < size) std::memcpy(&tail, key + i, size - i);
  hash = (hash ^ tail) * 0x94D049BB133111EBull;
  return hash ^ (hash >> 29);
}

// A used slot: the high half of the group's hash (compared before its key) and its number + 1.
uint64_t SlotOf(uint64_t hash, size_t group) {
  return (hash >> 32 << 32) | (group + 1);
}

}  // namespace

size_t TRowCollector::GroupOf() {
  const uint64_t hash = HashKey(key_.data(), key_size_);
  if (group_slots_.empty()) GrowGroupSlots();
  size_t mask = group_slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const uint64_t slot = group_slots_[i];
    if (slot == 0) break;
    const size_t group = static_cast<uint32_t>(slot) - 1u;
    if ((slot >> 32) == (hash >> 32) &&
        (key_size_ == 0 ||
         std::memcmp(group_keys_.data() + group * key_size_, key_.data(), key_size_) == 0))
      return group;
  }
  const size_t group = plan_.RowCount();
  if (group >= 0xFFFFFFFEu) SqlFail("Too many groups");
  plan_.Rows.insert(plan_.Rows.end(), scratch_row_.begin(), scratch_row_.end());
  accumulators_.resize(accumulators_.size() + aggregate_columns_.size());
  if ((group + 1) * 2 > group_slots_.size()) GrowGroupSlots();
  group_keys_.insert(group_keys_.end(), key_.begin(), key_.end());
  group_hashes_.push_back(hash);
  mask = group_slots_.size() - 1;
  size_t i = hash & mask;
  while (group_slots_[i] != 0) i = (i + 1) & mask;
  group_slots_[i] = SlotOf(hash, group);
  return group;
}

void TRowCollector::GrowGroupSlots() {
  // Twice the slots, refilled from the hashes of the groups so far.
  const size_t capacity = group_slots_.empty() ? 64 : group_slots_.size() * 2;
  group_slots_.assign(capacity, 0);
  const size_t mask = capacity - 1;
  for (size_t g = 0; g < group_hashes_.size(); ++g) {
    size_t i = group_hashes_[g] & mask;
    while (group_slots_[i] != 0) i = (i + 1) & mask;
    group_slots_[i] = SlotOf(group_hashes_[g], g);
  }
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
  if (IsIntegerKind(field.Type)) {
    asInteger = StoredInteger(field.Type, at + 1);
    asFloat = static_cast<double>(asInteger);
    return true;
  }
  switch (field.Type) {
    case kFieldString:
      if (column.Aggregate != kAggregateCount) return handled = false;
      return at[1] != 0;
    case kFieldFloat:
    case kFieldTimestamp:
      std::memcpy(&asFloat, at + 1, 8);
      asInteger = static_cast<int64_t>(asFloat);
      return true;
    case kFieldBcd:
      asInteger = BcdToTenThousandths(at + 1);
      asFloat = static_cast<double>(asInteger) / 10000.0;
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
  const std::vector<uint32_t> order = SortedOrder(plan_, plan_.GroupColumns, {}, false);
  const size_t size = plan_.RecordSize;
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
