// Source tables: FROM lists with their joins (SELECT, UPDATE ... FROM, DELETE) and the
// correlation names of tables.
//   sources   = source {, source}
//   source    = {"("} table-ref [[AS] alias] {join}
//   join      = (JOIN | INNER JOIN | LEFT [OUTER] JOIN | RIGHT [OUTER] JOIN) {"("} table-ref
//               [[AS] alias] ON condition {")"}
//   table-ref = [MEMORY] name ["\" name]
// "(" before a table is counted; after each ON condition as many ")" are consumed as are still
// open, and any left open at the end of the list is an error. The count is a plain number, so
// parentheses cost no recursion.
#include <string>

#include "db/sql/statements/query_statement.h"
#include "db/sql/statements/sql_keywords.h"
#include "db/sql/statements/statement_parse.h"

namespace {

void ParseJoins(TSqlReader& reader, TDataQuery& query, size_t& open) {
  for (;;) {
    uint8_t kind = kJoinInner;
    if (reader.Accept("JOIN")) {
      kind = kJoinInner;
    } else if (reader.Accept("INNER")) {
      reader.Expect("JOIN", "JOIN keyword expected after INNER keyword, instead found '");
    } else if (reader.Accept("LEFT")) {
      reader.Accept("OUTER");
      reader.Expect("JOIN", "JOIN keyword expected after LEFT or OUTER keyword, instead found '");
      kind = kJoinLeftOuter;
    } else if (reader.Accept("RIGHT")) {
      reader.Accept("OUTER");
      reader.Expect("JOIN", "JOIN keyword expected after RIGHT or OUTER keyword, instead found '");
      kind = kJoinRightOuter;
    } else if (reader.Is("FULL")) {
      reader.Fail("Full outer joins are currently not supported in SQL SELECT statements");
    } else {
      return;
    }
    query.SeveralTables = true;
    while (reader.AcceptChar('(')) ++open;
    TTableReference reference;
    reader.ReadTableReference(reference, "Table name expected after JOIN keyword, instead found '",
                              "Table name expected after JOIN keyword, instead found '");
    std::string correlation = ReadCorrelationName(reader, kJoinAliasStops);
    TSourceTable& table = AddSourceTable(reader, query, reference, std::move(correlation));
    reader.Expect("ON", "ON keyword expected in JOIN clause, instead found '");
    TJoinExpression& join = query.Joins.emplace_back();
    join.Owner = &query;
    join.Kind = kind;
    join.Table = &table;
    join.Condition = OwnExpTree(
        reader.Statement.Pool(),
        reader.Expression(TExpLevel::kOr, kParsePredicates | kParseParameters, "JOIN clause"));
    while (open > 0 && reader.AcceptChar(')')) --open;
  }
}

// Whether reference with correlation names target (UPDATE t ... FROM t).
bool SameTable(const TSourceTable& target, const TTableReference& reference,
               const std::string& correlation) {
  std::string directory, name;
  SplitTablePath(reference.Name, directory, name);
  if (reference.Memory != target.InMemory || !SameName(name, target.TableName)) return false;
  if (!reference.Memory && !SameName(directory, target.DatabaseName)) return false;
  return correlation.empty() || SameName(correlation, target.CorrelationName);
}

}  // namespace

std::string ReadCorrelationName(TSqlReader& reader, std::span<const std::string_view> stops) {
  if (reader.Accept("AS"))
    return reader.ReadName("Symbol or string expected after AS keyword, instead found '",
                           "Table correlation name");
  if (reader.Parser.IsSymbolOrString() && !reader.IsAny(stops))
    return reader.ReadName({}, "Table correlation name");
  return {};
}

TSourceTable& AddSourceTable(TSqlReader& reader, TDataQuery& query,
                             const TTableReference& reference, std::string correlation) {
  TSourceTable& table = query.AddSourceTable();
  SplitTablePath(reference.Name, table.DatabaseName, table.TableName);
  table.InMemory = reference.Memory;
  if (reference.Memory)
    table.DatabaseName = "Memory";
  else if (table.DatabaseName.empty())
    table.Database = reader.Statement.Database();
  table.CorrelationName = correlation.empty() ? table.TableName : std::move(correlation);
  for (const auto& other : query.SourceTables)
    if (other.get() != &table && SameName(other->CorrelationName, table.CorrelationName))
      reader.Fail("Duplicate table correlation name '" + table.CorrelationName +
                  "' found in source tables");
  return table;
}

void ParseFromList(TSqlReader& reader, TDataQuery& query,
                   std::span<const std::string_view> aliasStops, bool matchFirst) {
  constexpr std::string_view kMissing = "Table name expected after FROM keyword, instead found '";
  size_t open = 0;
  bool first = true;
  for (;;) {
    while (reader.AcceptChar('(')) ++open;
    TTableReference reference;
    reader.ReadTableReference(reference, kMissing, kMissing);
    std::string correlation = ReadCorrelationName(reader, aliasStops);
    if (first && matchFirst) {
      if (!SameTable(*query.SourceTables.front(), reference, correlation))
        reader.Fail(
            "The first source table specified in FROM clause must match the table being updated "
            "in the UPDATE statement");
    } else {
      AddSourceTable(reader, query, reference, std::move(correlation));
    }
    first = false;
    ParseJoins(reader, query, open);
    if (!reader.AcceptChar(',')) break;
    query.SeveralTables = true;
  }
  if (open > 0) reader.Fail("Mismatched join parentheses");
}
