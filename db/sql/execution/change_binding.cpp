// Binding an INSERT, UPDATE or DELETE at prepare: the target and the other source tables are
// opened, the columns named by the statement are found among the target's fields, the values
// are type-checked, and each value's type must be one its column can be compared with by "="
// (a text constant for a date or time column is converted at once). UPDATE and DELETE plan
// their WHERE and joins as a SELECT does.
#include <algorithm>

#include "db/sql/execution/change_plan.h"
#include "db/sql/execution/select_prepare.h"
#include "db/sql/execution/sql_failure.h"
#include "db/sql/expressions/type_check.h"
#include "db/sql/expressions/type_groups.h"
#include "db/sql/expressions/type_rules.h"
#include "db/sql/expressions/value_conversion.h"

namespace {

void OpenSource(TQueryStatement& statement, TSourceTable& table, TQueryPlan& plan, bool readOnly) {
  auto source = std::make_unique<TSourceState>();
  source->Table = &table;
  source->Number = table.TableNumber - 1;
  source->Directory = &SourceDirectoryOf(statement, table);
  source->ReadOnly = readOnly;
  source->Cursor = std::make_unique<TDataCursor>(*source->Directory);
  source->Cursor->SetTableName(table.TableName);
  source->Cursor->SetInMemory(table.InMemory);
  source->Cursor->SetReadOnly(readOnly);
  source->Cursor->OpenCursor();
  source->Buffer.assign(source->Cursor->RecordSize(), 0);
  source->Environment = std::make_unique<TCursorEnvironment>(source->Cursor->FieldDescriptors());
  source->Fresh = true;
  table.Cursor = source->Cursor.get();
  plan.Sources.push_back(std::move(source));
}

void OpenTables(TQueryStatement& statement, TDataQuery& query, TChangePlan& plan) {
  if (query.SourceTables.empty()) SqlFail("No table is given to change");
  for (size_t i = 0; i < query.SourceTables.size(); ++i)
    OpenSource(statement, *query.SourceTables[i], plan.Select, i > 0);
  plan.Target = plan.Select.Sources.front().get();
  const TDataFileHeader header = plan.Target->Cursor->ReadDataHeader();
  plan.Select.LanguageId = static_cast<uint16_t>(header.LanguageId);
  plan.Select.SortId = static_cast<uint16_t>(header.SortId);
  plan.Record.assign(plan.Target->Cursor->RecordSize(), 0);
}

// The target field a column of the column list names (invariant (2)).
uint16_t BindColumn(const TChangePlan& plan, const TUpdateField& column) {
  const TSourceState& target = *plan.Target;
  const auto& fields = target.Cursor->FieldDescriptors();
  const bool ours =
      column.TableAlias.empty() || SameSqlName(column.TableAlias, target.Table->CorrelationName);
  for (size_t i = 0; ours && i < fields.size(); ++i)
    if (!fields[i].Computed && SameSqlName(fields[i].Name, column.ColumnName))
      return static_cast<uint16_t>(i);
  SqlFail("Invalid column name '" + column.ColumnName + "' or table correlation name '" +
          column.TableAlias + "' specified in table columns");
}

std::vector<uint16_t> BindColumns(const TChangePlan& plan, const TDataQuery& query) {
  std::vector<uint16_t> bound;
  const auto& fields = plan.Target->Cursor->FieldDescriptors();
  for (const TUpdateField& column : query.UpdateFields) {
    if (column.AllColumns) {
      for (size_t i = 0; i < fields.size(); ++i)
        if (!fields[i].Computed) bound.push_back(static_cast<uint16_t>(i));
      continue;
    }
    const uint16_t field = BindColumn(plan, column);
    if (std::find(bound.begin(), bound.end(), field) != bound.end())
      SqlFail("Column '" + fields[field].Name + "' is given more than once in table columns");
    bound.push_back(field);
  }
  return bound;
}

const char* KindOf(const TExpToken& node) {
  if (node.NodeClass == kNodeColumn) return "column";
  if (node.NodeClass == kNodeConstant) return "constant";
  if (node.NodeClass == kNodeFunction) return "function";
  return "expression";
}

// The "=" compatibility of a value of rule type valueRule with field.
void CheckCompatible(const FieldDescriptor& field, uint8_t valueRule, const char* kind,
                     const std::string& text, const char* context) {
  const uint8_t columnRule =
      RuleTypeOf(field.IsAutoIncrement() ? kFieldInteger : field.Type, field.SubType);
  if (valueRule == kRuleNone || valueRule == columnRule) return;
  // Any value can become a BLOB's bytes, and BLOB values their text.
  if (field.Type == kFieldBlob) return;
  if (BinaryOperandsAllowed(kOpEqual, columnRule, valueRule)) return;
  SqlFail("Type mismatch between column '" + field.Name + "' and " + kind + " '" + text + "' in " +
          context);
}

void CheckValue(TDataQuery& query, TOwnedExpTree& owned, const FieldDescriptor& field,
                TColumnResolver* resolver, const char* context) {
  TTypeCheckOptions options;
  options.ErrorCode = VUZODE_SQLPARSE;
  options.StringsMayBeColumns = resolver != nullptr;
  options.Resolver = resolver;
  options.ContextName = context;
  options.Pool = &query.Statement.Pool();
  TExpToken* tree = owned.release();
  try {
    CheckTypes(options, nullptr, tree);
  } catch (...) {
    owned.reset(tree);
    throw;
  }
  owned.reset(tree);
  TExpToken& value = *owned;
  const uint8_t type = field.Type;
  if ((type == kFieldDate || type == kFieldTime || type == kFieldTimestamp) &&
      value.NodeClass == kNodeConstant && value.ValueType == kFieldString && !value.IsParam &&
      !value.IsNull) {
    const std::string text(value.StringValue());
    if (!ConvertValue(value, value, type, 0, 0, 0))
      SqlFail("Date, time, or timestamp expression expected, instead found '" + text + "' in " +
              context);
  }
  CheckCompatible(field, RuleTypeOf(value), KindOf(value), value.Text, context);
}

void BindValues(TChangePlan& plan, TDataQuery& query, const std::vector<uint16_t>& columns,
                TColumnResolver* resolver, const char* context) {
  const auto& fields = plan.Target->Cursor->FieldDescriptors();
  if (query.InsertSource) {
    if (!plan.Source) SqlFail("INSERT source query is not prepared");
    if (plan.Source->Fields.size() != columns.size())
      SqlFail("The number of values must match the number of table columns");
    for (size_t i = 0; i < columns.size(); ++i) {
      const FieldDescriptor& from = plan.Source->Fields[i];
      // A source row holds a BLOB as a reference into its own table's BLOB file.
      if (from.Type == kFieldBlob)
        SqlFail("BLOB column '" + from.Name + "' cannot be copied by INSERT ... SELECT");
      CheckCompatible(fields[columns[i]], RuleTypeOf(from.Type, from.SubType), "column", from.Name,
                      context);
      plan.Assignments.push_back({columns[i], nullptr, static_cast<int>(i), from.Name});
    }
    return;
  }
  if (query.UpdateValues.size() != columns.size())
    SqlFail("The number of values must match the number of table columns");
  for (size_t i = 0; i < columns.size(); ++i) {
    TUpdateValue& value = query.UpdateValues[i];
    CheckValue(query, value.Value, fields[columns[i]], resolver, context);
    plan.Assignments.push_back({columns[i], value.Value.get(), -1, value.ValueText});
  }
}

}  // namespace

void BindChangeQuery(TQueryStatement& statement, TDataQuery& query, TChangePlan& plan,
                     const TPlanLookup& lookup) {
  plan.Query = &query;
  plan.Select.Query = &query;
  OpenTables(statement, query, plan);
  TSourceResolver resolver(plan.Select, lookup);
  if (query.Kind == kStatementInsert) {
    plan.StatementName = "INSERT";
    if (query.InsertSource) plan.Source = lookup(query.InsertSource);
    BindValues(plan, query, BindColumns(plan, query), nullptr, "insert values");
    plan.Target->Cursor->SetSuppressAutoInc(query.NoAutoInc);
    return;
  }
  if (query.Kind == kStatementUpdate) {
    plan.StatementName = "UPDATE";
    BindValues(plan, query, BindColumns(plan, query), &resolver, "update values");
  } else {
    plan.StatementName = "DELETE";
  }
  const auto& fields = plan.Target->Cursor->FieldDescriptors();
  for (const TAssignment& assignment : plan.Assignments) {
    const FieldDescriptor& field = fields[assignment.Field];
    if (field.Type == kFieldBlob)
      ++plan.BlobCount;
    else
      plan.PackedWidth += field.IsAutoIncrement() ? 4u : 1u + field.StoredLength;
  }
  PlanConditions(query, plan.Select, resolver);
  plan.Writer = std::make_unique<TDataCursor>(*plan.Target->Directory);
  plan.Writer->SetTableName(plan.Target->Table->TableName);
  plan.Writer->SetInMemory(plan.Target->Table->InMemory);
  plan.Writer->OpenCursor();
  plan.Writer->SetIndexNumber(kRowIdIndex);
  plan.Writer->SetSuppressAutoInc(query.NoAutoInc);
}
