// The data-changing statements (see change_statements.h): the plans of prepared INSERT,
// UPDATE and DELETE queries, kept by query until the query is released, and the dispatch to
// the files that bind and run each kind.
#include "db/sql/execution/change_statements.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "db/sql/execution/change_plan.h"
#include "db/sql/execution/row_walker.h"
#include "db/sql/execution/select_runner.h"
#include "db/sql/execution/sql_failure.h"

namespace {

// Plans by query; each query is used by one thread at a time, the map by many.
struct TChangePlans {
  std::mutex Guard;
  std::unordered_map<const TDataQuery*, std::unique_ptr<TChangePlan>> Plans;
};

TChangePlans& Plans() {
  static TChangePlans plans;
  return plans;
}

TChangePlan* ChangePlanOf(const TDataQuery* query) {
  TChangePlans& plans = Plans();
  std::lock_guard hold(plans.Guard);
  auto found = plans.Plans.find(query);
  return found == plans.Plans.end() ? nullptr : found->second.get();
}

bool IsTransactionStatement(int kind) {
  return kind == kStatementStartTransaction || kind == kStatementCommit ||
         kind == kStatementRollback;
}

}  // namespace

bool IsChangeStatement(int kind) {
  return kind == kStatementInsert || kind == kStatementUpdate || kind == kStatementDelete ||
         IsTransactionStatement(kind);
}

void PrepareChangeQuery(TSelectRunner& runner, TQueryStatement& statement, TDataQuery& query) {
  if (IsTransactionStatement(query.Kind)) return;
  auto plan = std::make_unique<TChangePlan>();
  TChangePlan& made = *plan;
  {
    TChangePlans& plans = Plans();
    std::lock_guard hold(plans.Guard);
    plans.Plans[&query] = std::move(plan);
  }
  BindChangeQuery(statement, query, made,
                  [&runner](const TDataQuery* q) { return runner.PlanOf(q); });
}

void ExecuteChangeStatement(TSelectRunner& runner, TQueryStatement& statement) {
  TDataQuery& master = *statement.Master();
  const auto start = std::chrono::steady_clock::now();
  master.RowCount = 0;
  if (IsTransactionStatement(master.Kind)) {
    ExecuteTransactionStatement(statement, master);
  } else {
    TChangePlan* plan = ChangePlanOf(&master);
    if (!plan) SqlFail("Statement is not prepared");
    if (statement.Queries().size() > 1) runner.RunSubSelects(statement, master.InsertSource);
    if (master.Kind == kStatementInsert)
      ExecuteInsert(runner, *plan);
    else
      ExecuteUpdateOrDelete(runner, *plan);
  }
  master.ExecutionTime =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void ReleaseChangeQuery(TSelectRunner&, TDataQuery& query) noexcept {
  std::unique_ptr<TChangePlan> plan;
  {
    TChangePlans& plans = Plans();
    std::lock_guard hold(plans.Guard);
    auto found = plans.Plans.find(&query);
    if (found == plans.Plans.end()) return;
    plan = std::move(found->second);
    plans.Plans.erase(found);
  }
  try {
    TRowWalker::DropFilters(plan->Select);
  } catch (const EVUZODEEngineError&) {
    // The query goes away with its cursors, whose filters go with them.
  }
  for (auto& table : query.SourceTables) table->Cursor = nullptr;
}
