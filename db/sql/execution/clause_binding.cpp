// GROUP BY, ORDER BY and HAVING bound to the result columns, and the live test.
//
// GROUP BY and ORDER BY items name a result column by its 1-based number or its name. HAVING
// names result columns too; each aggregate in it must be one of the select list (same
// function over the same column, or COUNT(*)) and becomes a reference to that column.
#include "db/sql/execution/select_prepare.h"
#include "db/sql/execution/sql_failure.h"

namespace {

int BindItem(const TQueryPlan& plan, const TGroupByField& item, const char* clause) {
  if (item.ColumnNumber > 0) {
    if (static_cast<size_t>(item.ColumnNumber) > plan.Fields.size())
      SqlFail("Invalid column number '" + std::to_string(item.ColumnNumber) + "' specified in " +
              clause + " clause");
    return item.ColumnNumber - 1;
  }
  // A name matches a result column by its result name, else by the source column it copies.
  for (size_t i = 0; i < plan.Columns.size(); ++i)
    if (SameSqlName(plan.Columns[i].Name, item.ColumnName)) return static_cast<int>(i);
  for (size_t i = 0; i < plan.Columns.size(); ++i) {
    const TResultColumn& column = plan.Columns[i];
    if (column.Source == nullptr || column.Aggregate != kAggregateNone) continue;
    const FieldDescriptor& field =
        column.Source->Cursor->FieldDescriptors()[column.SourceField - 1];
    if (SameSqlName(field.Name, item.ColumnName) &&
        (item.TableAlias.empty() ||
         SameSqlName(item.TableAlias, column.Source->Table->CorrelationName)))
      return static_cast<int>(i);
  }
  SqlFail("Invalid column name '" + item.ColumnName + "' specified in " + clause + " clause");
}

bool IsStar(const TExpToken* argument) {
  return argument == nullptr || (argument->NodeClass == kNodeColumn && argument->ColumnName == "*");
}

// Replaces every aggregate of the HAVING tree by a reference to its result column. The
// recursion is bounded by the tree's height (the parser keeps it within kMaxExpTreeHeight).
void ReplaceAggregates(TQueryPlan& plan, TExpTokenStack& pool, TExpToken* node) {
  if (!node) return;
  const uint8_t kind = AggregateKindOf(*node);
  if (kind == kAggregateNone) {
    ReplaceAggregates(plan, pool, node->Left);
    ReplaceAggregates(plan, pool, node->Right);
    for (TExpToken* arg : node->Args) ReplaceAggregates(plan, pool, arg);
    return;
  }
  const TExpToken* argument = node->Args.empty() ? nullptr : node->Args[0];
  for (size_t i = 0; i < plan.Columns.size(); ++i) {
    const TResultColumn& column = plan.Columns[i];
    if (column.Aggregate != kind) continue;
    const bool same = IsStar(argument)
                          ? column.Expression == nullptr
                          : column.Expression && argument->NodeClass == kNodeColumn &&
                                column.Expression->NodeClass == kNodeColumn &&
                                SameSqlName(column.Expression->ColumnName, argument->ColumnName) &&
                                (argument->TableAlias.empty() ||
                                 SameSqlName(column.Expression->TableAlias, argument->TableAlias));
    if (!same) continue;
    for (TExpToken*& arg : node->Args) ReleaseExpTree(pool, arg);
    node->Args.clear();
    node->NodeClass = kNodeColumn;
    node->OpCode = 0;
    node->ColumnName = plan.Fields[i].Name;
    node->TableAlias.clear();
    return;
  }
  SqlFail("Expression in HAVING clause not found in source columns");
}

void BindHaving(TDataQuery& query, TQueryPlan& plan) {
  if (!query.Having) return;
  if (!query.HasGroupBy) SqlFail("A GROUP BY clause must exist in order to use the HAVING clause");
  TExpTokenStack& pool = query.Statement.Pool();
  TExpToken* tree = query.Having.release();
  try {
    ReplaceAggregates(plan, pool, tree);
    TResultResolver resolver(plan);
    TTypeCheckOptions options;
    options.ErrorCode = VUZODE_SQLPARSE;
    options.StringsMayBeColumns = true;
    options.RewriteBooleanColumns = true;
    options.Resolver = &resolver;
    options.ContextName = "HAVING clause";
    options.Pool = &pool;
    CheckTypes(options, nullptr, tree);
    if (tree->ValueType != kFieldBoolean) SqlFail("HAVING clause must be a boolean expression");
  } catch (...) {
    query.Having.reset(tree);
    throw;
  }
  query.Having.reset(tree);
}

// The index of the table whose fields, directions and case option are those of ORDER BY;
// -1 when none is.
int OrderIndex(const TDataQuery& query, const TQueryPlan& plan) {
  const TSourceState& source = *plan.Sources.front();
  TIndexFile& indexes = source.Cursor->Table()->IndexFile();
  const int secondary = indexes.Header().SecondaryIndexCount;
  for (int slot = 0; slot <= secondary; ++slot) {
    const IndexDescriptor& index = indexes.Descriptor(slot);
    if (index.FieldCount != plan.OrderColumns.size() || index.FieldCount == 0) continue;
    if (index.CaseInsensitive != query.OrderByNoCase) continue;
    bool fits = true;
    for (size_t i = 0; i < plan.OrderColumns.size() && fits; ++i) {
      const TResultColumn& column = plan.Columns[plan.OrderColumns[i]];
      const bool descending = plan.OrderDescending[i] != index.Descending;
      fits = column.Source == &source && column.Aggregate == kAggregateNone &&
             column.SourceField == index.FieldNumbers[i] && descending == index.FieldDescending[i];
    }
    if (fits) return slot;
  }
  return -1;
}

}  // namespace

void BindResultClauses(TDataQuery& query, TQueryPlan& plan) {
  plan.GroupColumns.clear();
  plan.OrderColumns.clear();
  plan.OrderDescending.clear();
  for (const TGroupByField& item : query.GroupBy) {
    const int column = BindItem(plan, item, "GROUP BY");
    if (plan.Fields[column].Type == kFieldBlob)
      SqlFail("Invalid BLOB column '" + plan.Fields[column].Name +
              "' specified in GROUP BY clause");
    plan.GroupColumns.push_back(column);
  }
  for (const TOrderByField& item : query.OrderBy) {
    plan.OrderColumns.push_back(BindItem(plan, item, "ORDER BY"));
    plan.OrderDescending.push_back(item.Descending);
  }
  if (query.Distinct)
    for (const FieldDescriptor& field : plan.Fields)
      if (field.Type == kFieldBlob)
        SqlFail("Invalid BLOB column '" + field.Name + "' specified in DISTINCT clause");
  BindHaving(query, plan);
}

bool DecideLive(TQueryStatement& statement, TDataQuery& query, TQueryPlan& plan) {
  plan.LiveIndex = kRecordOrder;
  if (!query.LiveAllowed || !query.TargetTable.empty() || query.Memory || query.Distinct ||
      plan.Sources.size() != 1 || !query.Joins.empty() || plan.Grouped || query.Having ||
      query.Top >= 0)
    return false;
  const bool master = &query == statement.Master();
  if (master ? statement.Queries().size() > 1 : (query.UnionFollows || query.UnionMember))
    return false;
  if (query.IsSubQuery && query.HasExpressionColumns) return false;
  for (const TResultColumn& column : plan.Columns)
    if (column.Source == nullptr) return false;
  if (!plan.OrderColumns.empty()) {
    const int index = OrderIndex(query, plan);
    if (index < 0) return false;
    plan.LiveIndex = index;
  }
  return true;
}
