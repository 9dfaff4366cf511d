// The select list: "*" and "alias.*" expanded, every item type-checked against the source
// tables, the result column types and names, and the result record layout.
//
// Names: the AS name, else the column name, else "Expression"; an aggregate without AS name is
// "Sum Of " (and so on) + the column name, or "... Of Expr" over an expression. A name keeps
// its last 30 characters; a name another column has already (ASCII case ignored) gets "_1",
// "_2", ... with the base shortened from the left to stay within 30 characters.
#include <string>

#include "db/engine/table/table_definition.h"
#include "db/sql/execution/select_prepare.h"
#include "db/sql/execution/sql_failure.h"
#include "db/sql/expressions/field_literal.h"
#include "db/sql/expressions/prepare_filter.h"

namespace {

constexpr size_t kMaxResultColumns = 1024;
constexpr size_t kMaxName = kMaxFieldNameLength;

const char* AggregatePrefix(uint8_t aggregate) {
  switch (aggregate) {
    case kAggregateSum:
      return "Sum Of ";
    case kAggregateRunSum:
      return "Running Sum Of ";
    case kAggregateMin:
      return "Min Of ";
    case kAggregateMax:
      return "Max Of ";
    case kAggregateAvg:
      return "Average Of ";
    default:
      return "Count Of ";
  }
}

std::string LastChars(const std::string& name, size_t count) {
  return name.size() <= count ? name : name.substr(name.size() - count);
}

// Whether the parser's result name is an AS name rather than the item's own text.
bool HasAsName(const TResultField& item, uint8_t aggregate) {
  if (item.IsExpression) return item.ResultName != item.ExpressionText.substr(0, 255);
  if (aggregate != kAggregateNone) return item.ResultName.empty() || item.ResultName.back() != ')';
  return !SameSqlName(item.ResultName, item.ColumnName);
}

std::string BaseName(const TResultField& item, const TExpToken& tree, uint8_t aggregate) {
  if (HasAsName(item, aggregate)) return item.ResultName;
  if (aggregate != kAggregateNone) {
    const bool column = !tree.Args.empty() && tree.Args[0]->NodeClass == kNodeColumn &&
                        tree.Args[0]->ColumnName != "*";
    return std::string(AggregatePrefix(aggregate)) + (column ? tree.Args[0]->ColumnName : "Expr");
  }
  if (tree.NodeClass == kNodeColumn) return tree.ColumnName;
  return "Expression";
}

// Field names must begin with a letter or "_".
std::string Usable(std::string name) {
  if (name.empty()) return "Expression";
  const auto c = static_cast<unsigned char>(name[0]);
  if (!(std::isalpha(c) || c == '_' || c >= 128)) name = "_" + name;
  return name;
}

void AssignUniqueNames(TQueryPlan& plan) {
  for (size_t i = 0; i < plan.Columns.size(); ++i) {
    const std::string base = LastChars(Usable(plan.Columns[i].Name), kMaxName);
    std::string name = base;
    auto taken = [&](const std::string& candidate) {
      for (size_t j = 0; j < i; ++j)
        if (SameSqlName(plan.Columns[j].Name, candidate)) return true;
      return false;
    };
    for (int counter = 1; taken(name); ++counter) {
      const std::string suffix = "_" + std::to_string(counter);
      name = LastChars(base, kMaxName - suffix.size()) + suffix;
    }
    plan.Columns[i].Name = name;
  }
}

// The result field of a typed expression node.
FieldDescriptor FieldOfNode(const TExpToken& node, const std::string& text) {
  FieldDescriptor field;
  field.Type = node.ValueType;
  field.SubType = node.SubType == kSubtypeAutoIncrement ? 0 : node.SubType;
  field.Scale = node.Scale;
  if (node.ValueType == 0)
    SqlFail(
        "Column expression cannot be a NULL constant, use the CAST() function to specify "
        "a data type");
  const int32_t size = node.ValueSize();
  if (node.ValueType == kFieldString) {
    if (size > 251)
      SqlFail("Column expression '" + text + "' exceeds the maximum allowable field size");
    field.Size = static_cast<uint8_t>(size <= 1 ? 250 : size - 1);
  } else if (node.ValueType == kFieldBytes || node.ValueType == kFieldVarBytes) {
    if (size > 250)
      SqlFail("Column expression '" + text + "' exceeds the maximum allowable field size");
    field.Size = static_cast<uint8_t>(size == 0 ? 250 : size);
  }
  return field;
}

void AddSourceColumns(TQueryPlan& plan, TSourceState& source) {
  const auto& fields = source.Cursor->FieldDescriptors();
  for (size_t f = 0; f < fields.size(); ++f) {
    if (fields[f].Computed) continue;
    TResultColumn column;
    column.Name = fields[f].Name;
    column.Source = &source;
    column.SourceField = static_cast<uint16_t>(f + 1);
    plan.Columns.push_back(std::move(column));
    FieldDescriptor field = fields[f];
    if (field.IsAutoIncrement()) field.SubType = 0;
    field.Offset = 0;
    field.Required = false;
    field.MinValue.clear(), field.MaxValue.clear(), field.DefaultValue.clear();
    plan.Fields.push_back(std::move(field));
  }
}

void ExpandStar(TQueryPlan& plan, const TResultField& item, TSourceResolver& resolver) {
  const TExpToken& tree = *item.Expression;
  if (tree.TableAlias.empty()) {
    for (const auto& source : plan.Sources) AddSourceColumns(plan, *source);
    return;
  }
  TSourceState* source = resolver.SourceNamed(tree.TableAlias);
  if (!source)
    SqlFail("Invalid column name '*' or table correlation name '" + tree.TableAlias +
            "' specified in source columns");
  if (item.ResultName != "*" && !item.ResultName.empty() && item.ResultName != tree.ColumnName)
    SqlFail("Invalid use of column correlation name '" + item.ResultName + "' for '" +
            tree.TableAlias + "' specified in source columns");
  AddSourceColumns(plan, *source);
}

void BindItem(TDataQuery& query, TQueryPlan& plan, TResultField& item, TSourceResolver& resolver) {
  TTypeCheckOptions options;
  options.ErrorCode = VUZODE_SQLPARSE;
  options.StringsMayBeColumns = true;
  options.Resolver = &resolver;
  options.ContextName = "source columns";
  options.Pool = &query.Statement.Pool();
  TExpToken* tree = item.Expression.release();
  try {
    CheckTypes(options, nullptr, tree);
  } catch (...) {
    item.Expression.reset(tree);
    throw;
  }
  item.Expression.reset(tree);

  TResultColumn column;
  column.Aggregate = AggregateKindOf(*tree);
  column.Name = BaseName(item, *tree, column.Aggregate);
  const std::string text = item.IsExpression ? item.ExpressionText : item.ResultName;
  FieldDescriptor field;
  if (column.Aggregate != kAggregateNone) {
    const bool star = tree->Args.empty() ||
                      (tree->Args[0]->NodeClass == kNodeColumn && tree->Args[0]->ColumnName == "*");
    column.Expression = star ? nullptr : tree->Args[0];
    field = FieldOfNode(*tree, text);
  } else if (tree->NodeClass == kNodeColumn && tree->SourceTable && tree->FieldNo > 0) {
    column.Source = static_cast<TSourceState*>(tree->SourceTable);
    column.SourceField = tree->FieldNo;
    field = column.Source->Cursor->FieldDescriptors()[tree->FieldNo - 1];
    if (field.IsAutoIncrement()) field.SubType = 0;
    field.Offset = 0;
    field.Required = false;
    field.MinValue.clear(), field.MaxValue.clear(), field.DefaultValue.clear();
  } else {
    column.Expression = tree;
    field = FieldOfNode(*tree, text);
  }
  plan.Columns.push_back(std::move(column));
  plan.Fields.push_back(std::move(field));
}

}  // namespace

void BindSelectList(TDataQuery& query, TQueryPlan& plan, TSourceResolver& resolver) {
  plan.Columns.clear();
  plan.Fields.clear();
  for (TResultField& item : query.ResultFields) {
    const TExpToken& tree = *item.Expression;
    if (tree.NodeClass == kNodeColumn && tree.ColumnName == "*")
      ExpandStar(plan, item, resolver);
    else
      BindItem(query, plan, item, resolver);
    if (plan.Columns.size() > kMaxResultColumns)
      SqlFail("Maximum number of columns (1024) in result set exceeded");
  }
  bool aggregates = false, plain = false, everyAggregateOrConstant = true;
  for (const TResultColumn& column : plan.Columns) {
    if (column.Aggregate != kAggregateNone) {
      aggregates = true;
      continue;
    }
    const bool constant =
        column.Source == nullptr && column.Expression && IsColumnFree(*column.Expression);
    if (!constant) plain = true, everyAggregateOrConstant = false;
  }
  if (aggregates && plain && !query.HasGroupBy)
    SqlFail("Invalid use of aggregate function(s), the necessary GROUP BY clause is missing");
  plan.Grouped = query.HasGroupBy || (aggregates && everyAggregateOrConstant);

  AssignUniqueNames(plan);
  TTableDefinition definition;
  for (size_t i = 0; i < plan.Columns.size(); ++i) {
    plan.Fields[i].FieldNumber = static_cast<uint16_t>(i + 1);
    plan.Fields[i].Name = plan.Columns[i].Name;
    definition.Fields.push_back(plan.Fields[i]);
  }
  CheckTableDefinition(definition, &FieldLiteralValid, "", "result");
  plan.Fields = definition.Fields;
  plan.RecordSize = static_cast<uint32_t>(kRecordHeaderSize);
  for (const FieldDescriptor& field : plan.Fields)
    plan.RecordSize = std::max<uint32_t>(plan.RecordSize, field.Offset + field.RecordBytes());
}
