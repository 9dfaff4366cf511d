// The statement runner of SELECT statements (see select_runner.h).
#include "db/sql/execution/select_runner.h"

#include <chrono>
#include <cstring>

#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/sql/execution/change_statements.h"
#include "db/sql/execution/definition_statements.h"
#include "db/sql/execution/live_result.h"
#include "db/sql/execution/result_table.h"
#include "db/sql/execution/row_collector.h"
#include "db/sql/execution/row_walker.h"
#include "db/sql/execution/select_prepare.h"
#include "db/sql/execution/source_binding.h"
#include "db/sql/execution/sql_failure.h"
#include "db/sql/execution/value_compare.h"

namespace {

// The query read brackets of WITH LOCKS, ended also when the execution fails.
class TQueryReadScope {
 public:
  TQueryReadScope(TQueryPlan& plan, bool take) {
    if (!take) return;
    for (auto& source : plan.Sources) {
      source->Cursor->BeginQueryRead();
      taken_.push_back(source->Cursor.get());
    }
  }
  ~TQueryReadScope() {
    for (TDataCursor* cursor : taken_) {
      try {
        cursor->EndQueryRead();
      } catch (const EVUZODEEngineError&) {
        // The execution's own outcome is reported; the bracket is left either way.
      }
    }
  }
  TQueryReadScope(const TQueryReadScope&) = delete;
  TQueryReadScope& operator=(const TQueryReadScope&) = delete;

 private:
  std::vector<TDataCursor*> taken_;
};

// Writes row, a record of member's layout, into master's layout (same types in order).
void AppendConverted(const TQueryPlan& member, const uint8_t* row, TQueryPlan& master) {
  const size_t at = master.Rows.size();
  master.Rows.resize(at + master.RecordSize, 0);
  uint8_t* out = master.Rows.data() + at;
  for (size_t i = 0; i < master.Fields.size(); ++i) {
    const FieldDescriptor& from = member.Fields[i];
    const FieldDescriptor& to = master.Fields[i];
    std::memcpy(out + to.Offset, row + from.Offset,
                1u + std::min(from.StoredLength, to.StoredLength));
    NormaliseField(to, out);
  }
}

void CheckUnionMember(const TQueryPlan& master, const TQueryPlan& member, bool all) {
  if (member.Fields.size() != master.Fields.size())
    SqlFail(std::string("The number of columns  in the ") + (all ? "UNION ALL" : "UNION") +
            " query must match the  number of columns in the master query");
  for (size_t i = 0; i < master.Fields.size(); ++i)
    if (member.Fields[i].Type != master.Fields[i].Type)
      SqlFail("Type mismatch between column expression '" + member.Fields[i].Name +
              "' in the UNION query and column expression '" + master.Fields[i].Name +
              "' in the master query");
}

}  // namespace

TSelectRunner& SelectRunner() {
  static TSelectRunner runner;
  return runner;
}

void InstallSelectRunner() {
  SetStatementRunner(&SelectRunner());
}

TQueryPlan* TSelectRunner::PlanOf(const TDataQuery* query) {
  std::lock_guard hold(guard_);
  auto found = plans_.find(query);
  return found == plans_.end() ? nullptr : found->second.get();
}

void TSelectRunner::PrepareQuery(TQueryStatement& statement, TDataQuery& query) {
  if (IsChangeStatement(query.Kind)) {
    PrepareChangeQuery(*this, statement, query);
    return;
  }
  if (query.Kind != kStatementSelect) return;
  auto plan = std::make_unique<TQueryPlan>();
  TQueryPlan& made = *plan;
  {
    std::lock_guard hold(guard_);
    plans_[&query] = std::move(plan);
  }
  PrepareSelect(statement, query, made, [this](const TDataQuery* q) { return PlanOf(q); });
  if (&query == statement.Master()) {
    statement.ResultIsLive = made.Live;
    statement.ResultIsLiveCursor = made.Live;
  }
}

void TSelectRunner::ReleaseQuery(TDataQuery& query) noexcept {
  if (IsChangeStatement(query.Kind)) ReleaseChangeQuery(*this, query);
  std::unique_ptr<TQueryPlan> plan;
  {
    std::lock_guard hold(guard_);
    auto found = plans_.find(&query);
    if (found == plans_.end()) return;
    plan = std::move(found->second);
    plans_.erase(found);
  }
  try {
    TRowWalker::DropFilters(*plan);
  } catch (const EVUZODEEngineError&) {
    // The query goes away with its cursors, whose filters go with them.
  }
  for (auto& table : query.SourceTables) table->Cursor = nullptr;
}

void TSelectRunner::CollectRows(TQueryPlan& plan, int64_t earlyLimit) {
  // The host hears of the master query's progress.
  TProgressReporter progress;
  TDataQuery& owner = *plan.Query;
  if (&owner == owner.Statement.Master()) {
    progress.Callback = owner.Statement.Callbacks.Progress;
    progress.UserData = owner.Statement.Callbacks.ProgressData;
    if (owner.Statement.Database())
      progress.Step = owner.Statement.Database()->Session().ProgressPercentStep();
  }
  TDataQuery& query = *plan.Query;
  EnsureSourcesOpen(plan);
  TQueryReadScope bracket(plan, query.WithLocks);
  TExpTokenStack& pool = ThreadExpTokenPool();
  TJoinEnvironment environment([this](const TDataQuery* q) { return PlanOf(q); });
  TExpEvaluator evaluator(&environment, plan.SortId, plan.LanguageId, pool);
  TRowCollector collector(plan, evaluator, pool);
  collector.SetEarlyLimit(earlyLimit);
  if (earlyLimit != 0) {
    TRowWalker walker(plan, evaluator, pool, &progress);
    walker.Walk([&] { return collector.Add(); });
  } else {
    progress.Finish();
  }
  collector.FinishGroups();
}

void TSelectRunner::RunChain(TQueryPlan& plan, int32_t maxRows) {
  TDataQuery& query = *plan.Query;
  const bool alone = !query.UnionFollows;
  const bool reorders = plan.Grouped || query.Distinct || !plan.OrderColumns.empty();
  int64_t early = -1;
  if (alone && !reorders) {
    early = query.Top;
    if (maxRows >= 0 && (early < 0 || maxRows < early)) early = maxRows;
  }
  CollectRows(plan, early);
  if (alone) {
    FinishRows(plan, query.Distinct, query.Top, maxRows, query.OrderByNoCase);
    return;
  }
  FinishRows(plan, query.Distinct, -1, -1, false);
  // The whole union is ordered and cut as the first query asks.
  for (TDataQuery* q = &query; q->UnionFollows && q->NextUnion; q = q->NextUnion) {
    TQueryPlan* member = PlanOf(q->NextUnion);
    if (!member) SqlFail("UNION query is not prepared");
    CollectRows(*member, -1);
    std::vector<int> none;
    const auto order = std::move(member->OrderColumns);
    member->OrderColumns.clear();
    FinishRows(*member, q->NextUnion->Distinct, q->NextUnion->Top, -1, false);
    member->OrderColumns = order;
    CheckUnionMember(plan, *member, q->UnionAll);
    for (size_t i = 0; i < member->RowCount(); ++i)
      AppendConverted(*member, member->Rows.data() + i * member->RecordSize, plan);
    member->Rows.clear();
    if (!q->UnionAll) RemoveDuplicateRows(plan);
  }
  if (!plan.OrderColumns.empty())
    SortRows(plan, plan.OrderColumns, plan.OrderDescending, query.OrderByNoCase);
  KeepRows(plan, query.Top);
  KeepRows(plan, maxRows);
}

void TSelectRunner::RunSubSelects(TQueryStatement& statement, const TDataQuery* skip) {
  // The last made is the innermost.
  const auto& queries = statement.Queries();
  for (size_t i = queries.size(); i-- > 1;) {
    TDataQuery& query = *queries[i];
    if (!query.IsSubQuery || query.Kind != kStatementSelect || &query == skip) continue;
    TQueryPlan* plan = PlanOf(&query);
    if (!plan) SqlFail("Sub-select query is not prepared");
    RunChain(*plan, -1);
    plan->Values.clear();
    if (plan->Fields.empty()) continue;
    for (size_t r = 0; r < plan->RowCount(); ++r)
      plan->Values.insert(
          FieldKeyOf(plan->Fields.front(), plan->Rows.data() + r * plan->RecordSize));
  }
}

TDataCursor* TSelectRunner::ExecuteStatement(TQueryStatement& statement, bool returnResult) {
  TDataQuery& master = *statement.Master();
  if (IsDefinitionStatement(master.Kind)) {
    ExecuteDefinitionStatement(statement);
    return nullptr;
  }
  if (IsChangeStatement(master.Kind)) {
    ExecuteChangeStatement(*this, statement);
    return nullptr;
  }
  const auto start = std::chrono::steady_clock::now();
  RunSubSelects(statement, nullptr);
  TQueryPlan* plan = PlanOf(&master);
  if (!plan) SqlFail("SELECT statement is not prepared");
  std::unique_ptr<TDataCursor> result;
  if (plan->Live) {
    EnsureSourcesOpen(*plan);
    result = MakeLiveResult(*plan, statement.Pool(), !master.UnionMember);
    master.RowCount = result->RecordCount();
  } else {
    RunChain(*plan, master.MaxRowCount);
    master.RowCount = static_cast<int64_t>(plan->RowCount());
    // The result cursor may take the rows themselves.
    result = MakeResultCursor(statement, master, *plan);
    plan->Rows.clear();
    plan->Rows.shrink_to_fit();
  }
  master.ExecutionTime =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!returnResult) return nullptr;
  return result.release();
}
