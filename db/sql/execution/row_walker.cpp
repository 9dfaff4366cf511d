// The nested loop of a query (see row_walker.h).
#include "db/sql/execution/row_walker.h"

#include <algorithm>
#include <cstring>

#include "db/engine/errors/engine_error_codes.h"
#include "db/sql/execution/value_compare.h"
#include "db/sql/expressions/prepare_filter.h"

TExpTokenStack& ThreadExpTokenPool() {
  // Values taken and given back within one execution on this thread: the pool's lock is never
  // contended, unlike the process-wide pool's.
  static thread_local TExpTokenStack pool;
  return pool;
}

bool TProgressReporter::Advance() {
  ++Done;
  if (!Callback) return true;
  const int percent =
      Total == 0 ? 100 : static_cast<int>(std::min<uint64_t>(100, uint64_t{Done} * 100 / Total));
  if (percent - Last >= std::max(Step, 1)) {
    Last = percent;
    Callback(UserData, percent, Aborted);
  }
  return !Aborted;
}

void TProgressReporter::Finish() {
  if (!Callback || Last == 100) return;
  Last = 100;
  bool abort = false;
  Callback(UserData, 100, abort);
}

void TRowWalker::DropFilters(TQueryPlan& plan) {
  for (TFilter* filter : plan.InstalledFilters)
    if (filter && filter->Cursor) filter->Cursor->DropFilter(filter);
  plan.InstalledFilters.clear();
}

void TRowWalker::InstallFilters(TQueryPlan& plan, TExpTokenStack& pool) {
  DropFilters(plan);
  TFilterPrepareOptions prepare;
  prepare.NoPartialCompare = true;
  prepare.SortId = plan.SortId;
  prepare.LanguageId = plan.LanguageId;
  TFilterOptions options;
  options.NoPartialCompare = true;
  // The conditions of one table are parts of one AND: each is evaluated only on the records
  // the ones before it passed, so the table is read once rather than once per part. Equalities
  // go first, as the parts likely to keep fewest records; the view is their intersection
  // whatever the order.
  options.AfterOthers = true;
  std::vector<std::pair<TSourceState*, const TExpToken*>> ordered = plan.CursorConditions;
  std::stable_partition(ordered.begin(), ordered.end(), [](const auto& condition) {
    const TExpToken& node = *condition.second;
    return node.NodeClass == kNodeBinary && node.OpCode == kOpEqual;
  });
  for (auto& [source, tree] : ordered) {
    TExpToken* prepared = PrepareFilter(*tree, prepare, pool);
    TFilter* filter = nullptr;
    try {
      filter = source->Cursor->AddFilter(options, prepared);
    } catch (...) {
      ReleaseExpTree(pool, prepared);
      throw;
    }
    plan.InstalledFilters.push_back(filter);
    source->Cursor->ActivateFilter(filter);
  }
}

void TRowWalker::Walk(const std::function<bool()>& sink) {
  // Filter trees live as long as their filters: they come from the statement's pool.
  InstallFilters(plan_, plan_.Query->Statement.Pool());
  const uint32_t driving =
      plan_.Levels.empty() ? 0 : plan_.Levels.front().Source->Cursor->RecordCount();
  for (TJoinLevel& level : plan_.Levels) {
    level.Source->NullRow = false;
    if (level.SeekIndex >= 0) {
      TDataCursor& cursor = *level.Source->Cursor;
      if (cursor.IndexNumber() != level.SeekIndex) cursor.SetIndexNumber(level.SeekIndex);
      level.Probe.assign(cursor.RecordSize(), 0);
      LoadMemorySeek(level, driving);
    }
  }
  if (progress_ && progress_->Callback && !plan_.Levels.empty())
    progress_->Total = plan_.Levels.front().Source->Cursor->RecordCount();
  sink_ = &sink;
  WalkLevel(0);
  sink_ = nullptr;
  if (progress_) progress_->Finish();
}

bool TRowWalker::AllHold(const std::vector<const TExpToken*>& conditions) {
  for (const TExpToken* condition : conditions)
    if (!evaluator_.Holds(*condition, nullptr)) return false;
  return true;
}

void TRowWalker::LoadMemorySeek(TJoinLevel& level, uint32_t drivingRecords) {
  // Reading the table once costs less than a seek per outer row only when the outer rows are
  // at least as many as its records; memory bounds the table's size.
  constexpr uint32_t kMostRecords = 65536;
  level.Memory = false;
  level.FromMemory = false;
  level.MemoryKeys.clear();
  level.MemoryRecords.clear();
  TSourceState& source = *level.Source;
  TDataCursor& cursor = *source.Cursor;
  const uint32_t records = cursor.RecordCount();
  if (!level.SeekUnique || records > kMostRecords || records > drivingRecords) return;
  const auto& fields = cursor.FieldDescriptors();
  const FieldDescriptor& field = fields[level.SeekField - 1];
  // Integer keys match exactly where the index's key does; BLOB values are read through the
  // cursor's position, which a record from memory does not move.
  if (!IsIntegerKind(field.Type) || field.IsAutoIncrement() || field.Computed) return;
  for (const FieldDescriptor& f : fields)
    if (f.Type == kFieldBlob) return;
  const size_t size = cursor.RecordSize();
  std::vector<uint8_t>& buffer = source.Buffer;
  cursor.SetToBegin();
  while (cursor.GetNextRecord(buffer.data()) == 0) {
    const uint8_t* at = buffer.data() + field.Offset;
    if (at[0] == 0) continue;  // NULL keys are sought through the index
    const auto row = static_cast<uint32_t>(level.MemoryRecords.size() / size);
    // In index order: the first record of a key is the one the seek finds.
    if (level.MemoryKeys.emplace(StoredInteger(field.Type, at + 1), row).second)
      level.MemoryRecords.insert(level.MemoryRecords.end(), buffer.begin(), buffer.end());
  }
  level.Memory = true;
}

// Positions level's table on its first candidate record: the first key equal to the sought
// value, or the first record of the view.
uint16_t TRowWalker::First(TJoinLevel& level) {
  TSourceState& source = *level.Source;
  TDataCursor& cursor = *source.Cursor;
  level.FromMemory = false;
  if (level.SeekIndex < 0) {
    cursor.SetToBegin();
    return cursor.GetNextRecord(source.Buffer.data());
  }
  const FieldDescriptor& field = cursor.FieldDescriptors()[level.SeekField - 1];
  if (level.Memory) {
    // A sought value that is a column of the same type is read straight from its record.
    const TExpToken& node = *level.SeekValue;
    if (node.NodeClass == kNodeColumn && node.SourceTable && node.FieldNo != 0) {
      const auto& from = *static_cast<const TSourceState*>(node.SourceTable);
      const FieldDescriptor& column = from.Cursor->FieldDescriptors()[node.FieldNo - 1];
      const uint8_t* at = from.Buffer.data() + column.Offset;
      if (!from.NullRow && column.Type == field.Type && !column.Computed &&
          !column.IsAutoIncrement() && at[0] != 0)
        return FirstFromMemory(level, StoredInteger(field.Type, at + 1));
    }
  }
  TExpToken* value = evaluator_.Evaluate(*level.SeekValue, nullptr);
  if (field.IsAutoIncrement()) {
    const bool null = value->IsNull != 0;
    if (!null) std::memcpy(level.Probe.data() + kRowIdOffset, value->Value(), 4);
    pool_.Return(value);
    if (null) return VUZODE_EOF;
  } else {
    StoreValue(field, *value, scratch_, level.Probe.data());
    pool_.Return(value);
    const uint8_t* at = level.Probe.data() + field.Offset;
    if (level.Memory && at[0] != 0)
      return FirstFromMemory(level, StoredInteger(field.Type, at + 1));
  }
  const bool found = cursor.FindKey(level.Probe.data(), false, source.Buffer.data(), 0, true, 1);
  return found ? 0 : VUZODE_EOF;
}

uint16_t TRowWalker::FirstFromMemory(TJoinLevel& level, int64_t key) {
  const auto found = level.MemoryKeys.find(key);
  if (found == level.MemoryKeys.end()) return VUZODE_EOF;
  std::vector<uint8_t>& buffer = level.Source->Buffer;
  std::memcpy(buffer.data(), level.MemoryRecords.data() + size_t{found->second} * buffer.size(),
              buffer.size());
  level.FromMemory = true;
  return 0;
}

// The next candidate record: a unique key's record from memory has no successor with its key.
uint16_t TRowWalker::Next(TJoinLevel& level) {
  if (level.FromMemory) return VUZODE_EOF;
  return level.Source->Cursor->GetNextRecord(level.Source->Buffer.data());
}

bool TRowWalker::WalkLevel(size_t index) {
  if (index == plan_.Levels.size()) {
    if (!AllHold(plan_.Residual)) return true;
    return (*sink_)();
  }
  TJoinLevel& level = plan_.Levels[index];
  TSourceState& source = *level.Source;
  bool matched = false;
  source.NullRow = false;
  const bool driving = index == 0 && progress_ != nullptr;
  for (uint16_t code = First(level); code == 0; code = Next(level)) {
    // Keys are in order: the first record past the sought value ends the seek.
    if (level.SeekCondition && !evaluator_.Holds(*level.SeekCondition, nullptr)) break;
    if (AllHold(level.Match)) {
      matched = true;
      if (AllHold(level.After) && !WalkLevel(index + 1)) return false;
      if (level.SeekUnique) break;
    }
    if (driving && !progress_->Advance()) return false;
  }
  if (!matched && level.Outer) {
    source.NullRow = true;
    const bool go = !AllHold(level.After) || WalkLevel(index + 1);
    source.NullRow = false;
    return go;
  }
  return true;
}
