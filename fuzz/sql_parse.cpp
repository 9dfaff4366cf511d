// Fuzz target: arbitrary text prepared as an SQL request, every statement of a script in turn.
// Beyond the sanitizers' own checks it asserts the invariants of the parse structures on every
// statement that parses: table numbers in order, lists and names within their limits, and
// trees that can be walked.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "db/engine/errors/engine_error.h"
#include "db/sql/expressions/exp_tree_text.h"
#include "db/sql/statements/query_statement.h"
#include "db/sql/statements/statement_limits.h"

namespace {

void Check(bool holds) {
  if (!holds) std::abort();
}

void CheckName(const std::string& name) {
  Check(name.size() <= kMaxSqlNameLength);
}

void CheckQuery(const TDataQuery& query) {
  Check(query.SourceTables.size() <= kMaxSourceTables);
  for (size_t i = 0; i < query.SourceTables.size(); ++i) {
    const TSourceTable& table = *query.SourceTables[i];
    Check(table.TableNumber == static_cast<int16_t>(i + 1) && table.Owner == &query);
    CheckName(table.TableName);
    CheckName(table.CorrelationName);
  }
  Check(query.ResultFields.size() <= kMaxListItems && query.OrderBy.size() <= kMaxListItems &&
        query.GroupBy.size() <= kMaxListItems && query.UpdateValues.size() <= kMaxListItems &&
        query.UpdateFields.size() <= kMaxListItems && query.CreateFields.size() <= kMaxListItems);
  for (const TResultField& field : query.ResultFields) {
    CheckName(field.ResultName);
    CheckName(field.ColumnName);
    (void)ExpTreeText(field.Expression.get());
  }
  for (const TJoinExpression& join : query.Joins) (void)ExpTreeText(join.Condition.get());
  for (const TCreateField& field : query.CreateFields) {
    CheckName(field.ColumnName);
    CheckName(field.DefaultValue);
    (void)ExpTreeText(field.Column.get());
  }
  CheckName(query.TargetTable);
  CheckName(query.Password);
  (void)ExpTreeText(query.Where.get());
  (void)ExpTreeText(query.Having.get());
}

void CheckStatement(const TQueryStatement& statement) {
  Check(statement.Queries().size() <= kMaxStatementQueries);
  for (const auto& query : statement.Queries()) CheckQuery(*query);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  TQueryStatement statement(nullptr);
  try {
    statement.Prepare(text);
    CheckStatement(statement);
    while (statement.PrepareNext()) CheckStatement(statement);
  } catch (const EVUZODEEngineError& error) {
    Check(error.EngineCode() == VUZODE_SQLPARSE);
  }
  return 0;
}
