// The nested loop of a query (see row_walker.h).
#include "db/sql/execution/row_walker.h"

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
  for (auto& [source, tree] : plan.CursorConditions) {
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
  for (TJoinLevel& level : plan_.Levels) {
    level.Source->NullRow = false;
    if (level.SeekIndex >= 0) {
      TDataCursor& cursor = *level.Source->Cursor;
      if (cursor.IndexNumber() != level.SeekIndex) cursor.SetIndexNumber(level.SeekIndex);
      level.Probe.assign(cursor.RecordSize(), 0);
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

// Positions level's table on its first candidate record: the first key equal to the sought
// value, or the first record of the view.
uint16_t TRowWalker::First(TJoinLevel& level) {
  TSourceState& source = *level.Source;
  TDataCursor& cursor = *source.Cursor;
  if (level.SeekIndex < 0) {
    cursor.SetToBegin();
    return cursor.GetNextRecord(source.Buffer.data());
  }
  TExpToken* value = evaluator_.Evaluate(*level.SeekValue, nullptr);
  const FieldDescriptor& field = cursor.FieldDescriptors()[level.SeekField - 1];
  if (field.IsAutoIncrement()) {
    const bool null = value->IsNull != 0;
    if (!null) std::memcpy(level.Probe.data() + kRowIdOffset, value->Value(), 4);
    pool_.Return(value);
    if (null) return VUZODE_EOF;
  } else {
    StoreValue(field, *value, scratch_, level.Probe.data());
    pool_.Return(value);
  }
  const bool found = cursor.FindKey(level.Probe.data(), false, source.Buffer.data(), 0, true, 1);
  return found ? 0 : VUZODE_EOF;
}

bool TRowWalker::WalkLevel(size_t index) {
  if (index == plan_.Levels.size()) {
    if (!AllHold(plan_.Residual)) return true;
    return (*sink_)();
  }
  TJoinLevel& level = plan_.Levels[index];
  TSourceState& source = *level.Source;
  TDataCursor& cursor = *source.Cursor;
  bool matched = false;
  source.NullRow = false;
  const bool driving = index == 0 && progress_ != nullptr;
  for (uint16_t code = First(level); code == 0; code = cursor.GetNextRecord(source.Buffer.data())) {
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
