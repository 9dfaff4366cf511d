// TQueryStatement: the life of a request: prepare, the script loop of execute, sub-selects and
// parameters as the expression parser meets them, and the statement runner slot.
#include "db/sql/statements/query_statement.h"

#include <string>

#include "db/engine/errors/engine_error.h"
#include "db/sql/statements/sql_keywords.h"
#include "db/sql/statements/statement_limits.h"

namespace {

TStatementRunner* installed_runner = nullptr;

// Counts the sub-select levels being parsed, however a level is left.
class TDepthScope {
 public:
  explicit TDepthScope(int& depth) : depth_(depth) { ++depth_; }
  ~TDepthScope() { --depth_; }
  TDepthScope(const TDepthScope&) = delete;
  TDepthScope& operator=(const TDepthScope&) = delete;

 private:
  int& depth_;
};

}  // namespace

void SetStatementRunner(TStatementRunner* runner) {
  installed_runner = runner;
}

TStatementRunner* InstalledStatementRunner() {
  return installed_runner;
}

TQueryStatement::TQueryStatement(TDataDirectory* database, TExpTokenStack& pool)
    : Runner(InstalledStatementRunner()), database_(database), parser_(this, pool) {
  parser_.ErrorCode = VUZODE_SQLPARSE;
  spare_queries_.reserve(kSpareQueries);  // so that FreeQueries never allocates
}

TQueryStatement::~TQueryStatement() {
  FreeQueries();
}

void TQueryStatement::FreeQueries() noexcept {
  parameters_.clear();  // invariant (2): the nodes go with the trees
  if (Runner)
    for (auto& query : queries_) Runner->ReleaseQuery(*query);
  for (auto& query : queries_)
    if (spare_queries_.size() < kSpareQueries) {
      query->Recycle();
      spare_queries_.push_back(std::move(query));
    }
  queries_.clear();
  master_ = nullptr;
}

TDataQuery& TQueryStatement::NewQuery() {
  if (queries_.size() >= kMaxStatementQueries)
    parser_.Fail("Too many queries in one statement (more than " +
                 std::to_string(kMaxStatementQueries) + " SELECTs, UNION members and sub-selects)");
  if (spare_queries_.empty()) {
    queries_.push_back(std::make_unique<TDataQuery>(*this));
  } else {
    queries_.push_back(std::move(spare_queries_.back()));
    spare_queries_.pop_back();
  }
  return *queries_.back();
}

void TQueryStatement::Prepare(std::string_view text) {
  FreeQueries();
  execution_time_ = 0;
  rows_affected_ = 0;
  parser_.ErrorCode = VUZODE_SQLPARSE;
  parser_.ErrorTable.clear();
  parser_.ContextName = "SQL statement";
  parser_.SetText(text);
  parser_.NextToken();
  PrepareCurrent();
}

void TQueryStatement::PrepareCurrent() {
  ResultIsLive = false;
  ResultIsLiveCursor = false;
  sub_select_depth_ = 0;
  TDataQuery& master = NewQuery();
  master_ = &master;
  master.LiveAllowed = RequestLive;
  master.MaxRowCount = MaxRowCount;
  master.Parse(false, false, nullptr);
  if (Runner)
    for (size_t i = queries_.size(); i-- > 0;) Runner->PrepareQuery(*this, *queries_[i]);
  if (Callbacks.StatementInfo)
    Callbacks.StatementInfo(Callbacks.StatementInfoData, master.Kind, master.SingleStar,
                            ResultIsLive, ResultIsLiveCursor);
}

bool TQueryStatement::PrepareNext() {
  if (!HasNextStatement()) return false;
  FreeQueries();
  PrepareCurrent();
  return true;
}

void TQueryStatement::Account(const TDataQuery& query) {
  execution_time_ += query.ExecutionTime;
  if (query.Kind == kStatementStartTransaction) {
    rows_at_transaction_start_ = rows_affected_;
  } else if (query.Kind == kStatementRollback) {
    rows_affected_ = rows_at_transaction_start_;
  } else {
    rows_affected_ += query.RowCount;
  }
}

TDataCursor* TQueryStatement::Execute() {
  if (!Runner)
    RaiseEngineError(VUZODE_NOTINITIALIZED, {}, {}, {}, {}, {}, {},
                     "SQL statements cannot be executed: no statement runner is installed");
  if (!master_) parser_.Fail("No SQL statement has been prepared");
  execution_time_ = 0;
  rows_affected_ = 0;
  rows_at_transaction_start_ = 0;
  // Only the first statement's result goes to the caller; a later SELECT of a script runs for
  // its effects (INTO).
  TDataCursor* result = Runner->ExecuteStatement(*this, true);
  Account(*master_);
  while (PrepareNext()) {
    Runner->ExecuteStatement(*this, false);
    Account(*master_);
  }
  return result;
}

void TQueryStatement::AddParameter(TExpToken* parameter) {
  parameters_.push_back(parameter);
}

void TQueryStatement::ParseSubSelect(TExpressionParser& parser, TExpToken* node) {
  TDepthScope depth(sub_select_depth_);
  if (sub_select_depth_ > kMaxSubSelectNesting)
    parser.Fail("Sub-select queries nested too deeply (more than " +
                std::to_string(kMaxSubSelectNesting) + " levels)");
  TDataQuery& query = NewQuery();
  query.IsSubQuery = true;
  query.LiveAllowed = true;
  node->SubQuery = &query;
  query.Parse(true, false, nullptr);
}
