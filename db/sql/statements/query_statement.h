// TQueryStatement: one request in the SQL dialect. It owns the text, the expression parser
// shared by all its queries, the queries themselves (the master first, then every UNION member,
// INSERT ... SELECT source and IN sub-select in creation order) and the list of "?" parameters.
// A text may hold several statements separated by ";": Prepare parses the first, and Execute
// runs each in turn, parsing the next one after the previous has run.
//
// Preparing and executing parsed queries belong to the execution layer, reached through the
// statement's Runner (statement_runner.h). Without one, Prepare parses and stores, and Execute
// raises VUZODE_NOTINITIALIZED.
//
// Invariants:
//   (1) Queries() holds every query of the current statement, Master() first; they are freed
//       together (FreeQueries), never one by one, so the links between them stay valid.
//   (2) Parameters() lists the "?" nodes of the current statement's trees in text order; it is
//       cleared whenever those trees are freed.
//   (3) Sub-selects nest at most kMaxSubSelectNesting deep and a statement holds at most
//       kMaxStatementQueries queries (statement_limits.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "db/sql/expressions/expression_parser.h"
#include "db/sql/statements/data_query.h"
#include "db/sql/statements/statement_runner.h"

struct FieldDescriptor;

// The host's callbacks, each called with its user data. Only StatementInfo is called by the
// statement itself; the runner calls the others while it opens tables and runs queries.
struct TStatementCallbacks {
  // A source table needs a password the session does not know: answers non-zero to try again.
  int (*Password)(void* userData, TDataCursor* cursor) = nullptr;
  void* PasswordData = nullptr;
  // Percent of the work done; setting abort ends the work early.
  void (*Progress)(void* userData, int percent, bool& abort) = nullptr;
  void* ProgressData = nullptr;
  // After each statement is prepared: its kind, whether the select list is exactly "*", and
  // the live flags.
  void (*StatementInfo)(void* userData, uint8_t kind, bool singleStar, bool resultIsLive,
                        bool resultIsLiveCursor) = nullptr;
  void* StatementInfoData = nullptr;
  // A numbered notification (sent by a database server).
  void (*Notification)(void* userData, int32_t number) = nullptr;
  void* NotificationData = nullptr;
};

class TQueryStatement : private TExpressionOwner {
 public:
  // A statement that runs in database; pool is where its expression nodes come from.
  explicit TQueryStatement(TDataDirectory* database, TExpTokenStack& pool = GlobalExpTokenStack());
  ~TQueryStatement() override;
  TQueryStatement(const TQueryStatement&) = delete;
  TQueryStatement& operator=(const TQueryStatement&) = delete;

  TDataDirectory* Database() const { return database_; }
  TExpressionParser& Parser() { return parser_; }

  // Set by the query component before Prepare.
  bool RequestLive = false;
  int32_t MaxRowCount = -1;  // -1: no limit
  TStatementCallbacks Callbacks;
  // Prepares and runs the parsed queries; InstalledStatementRunner() when created.
  TStatementRunner* Runner;

  // Frees the previous queries and parses the first statement of text into the master query;
  // with a Runner, prepares every query, the last created first. Records the parameter count
  // and calls the statement-information callback. Raises VUZODE_SQLPARSE on a parse error; the
  // queries made so far stay until the next Prepare or the destructor.
  void Prepare(std::string_view text);
  // Binds the parameters and executes the statement, then every further statement of the
  // script: each is parsed and prepared after the previous one has run. Returns the result
  // cursor of the first statement when it is a SELECT, null otherwise; the caller owns it.
  // Raises VUZODE_NOTINITIALIZED without a Runner.
  TDataCursor* Execute();
  // Whether the text holds another statement after the current one.
  bool HasNextStatement() const { return master_ != nullptr && !parser_.TokenIs(kTokenEnd); }
  // Frees the queries and prepares the next statement of the script; false when there is none.
  bool PrepareNext();

  // Binds values to the parameters, in text order. Each descriptor gives a parameter's type,
  // subtype, stored length, scale and offset in values: there an indicator byte (0: NULL)
  // followed by the value; for a BLOB a 4-byte length and a pointer to the content. Raises
  // VUZODE_SQLPARSE when the count differs from ParameterCount() or a descriptor lies outside
  // values.
  void BindParameters(std::span<const FieldDescriptor> descriptors,
                      std::span<const uint8_t> values);

  TDataQuery* Master() const { return master_; }
  const std::vector<std::unique_ptr<TDataQuery>>& Queries() const { return queries_; }
  uint8_t Kind() const { return master_ ? master_->Kind : 0; }
  size_t ParameterCount() const { return parameters_.size(); }
  std::span<TExpToken* const> Parameters() const { return parameters_; }
  // Summed over the statements of a script by Execute.
  double ExecutionTime() const { return execution_time_; }
  int64_t RowsAffected() const { return rows_affected_; }
  // Set by the runner when it prepares the master query.
  bool ResultIsLive = false;
  bool ResultIsLiveCursor = false;
  bool SingleStar() const { return master_ != nullptr && master_->SingleStar; }

  // A new query in the statement's list. Raises past kMaxStatementQueries.
  TDataQuery& NewQuery();
  // The node pool of the statement's trees.
  TExpTokenStack& Pool() { return parser_.Pool(); }

 private:
  void AddParameter(TExpToken* parameter) override;
  void ParseSubSelect(TExpressionParser& parser, TExpToken* node) override;
  // Parses the statement at the current token into a new master query and prepares it.
  void PrepareCurrent();
  // Adds the master's time and rows to the totals of the script.
  void Account(const TDataQuery& query);
  void FreeQueries() noexcept;

  TDataDirectory* database_;
  TExpressionParser parser_;
  std::vector<std::unique_ptr<TDataQuery>> queries_;
  // Freed queries kept for reuse (TDataQuery::Recycle), at most kSpareQueries.
  static constexpr size_t kSpareQueries = 4;
  std::vector<std::unique_ptr<TDataQuery>> spare_queries_;
  TDataQuery* master_ = nullptr;
  std::vector<TExpToken*> parameters_;
  int sub_select_depth_ = 0;
  double execution_time_ = 0;
  int64_t rows_affected_ = 0;
  int64_t rows_at_transaction_start_ = 0;
};
