// The data-change statements, after their first keyword:
//   INSERT INTO table-ref [alias] [( column {, column} )]
//          (VALUES ( value {, value} ) | SELECT ... | ( SELECT ... )) [NOAUTOINC] [commit]
//   UPDATE table-ref [[AS] alias] SET column = value {, column = value}
//          [FROM sources] [WHERE c] [NOAUTOINC] [commit] [NOJOINOPTIMIZE]
//   DELETE FROM sources [WHERE c] [commit] [NOJOINOPTIMIZE]
//   commit = COMMIT [INTERVAL n] [FLUSH]
// The table changed is source table 1. An INSERT without a column list gets one update field
// standing for all columns; its SELECT source is a sub-query of the statement.
#include <limits>
#include <string>

#include "db/sql/statements/query_statement.h"
#include "db/sql/statements/sql_keywords.h"
#include "db/sql/statements/statement_limits.h"
#include "db/sql/statements/statement_parse.h"

namespace {

constexpr std::string_view kInsertAliasStops[] = {"VALUES", "SELECT"};
constexpr std::string_view kUpdateAliasStops[] = {"SET"};

TUpdateField& AddColumn(TSqlReader& reader, TDataQuery& query, TExpLevel level) {
  reader.CheckCount(query.UpdateFields.size(), kMaxListItems, "table columns");
  TUpdateField& field = query.UpdateFields.emplace_back();
  field.Owner = &query;
  field.Column = OwnExpTree(reader.Statement.Pool(), reader.Expression(level, 0, "table column"));
  if (field.Column->NodeClass == kNodeColumn) {
    field.ColumnName = field.Column->ColumnName;
    field.TableAlias = field.Column->TableAlias;
  }
  return field;
}

void AddValue(TSqlReader& reader, TDataQuery& query) {
  reader.CheckCount(query.UpdateValues.size(), kMaxListItems, "values");
  TUpdateValue& value = query.UpdateValues.emplace_back();
  value.Owner = &query;
  reader.Parser.MarkStart();
  value.Value = OwnExpTree(reader.Statement.Pool(),
                           reader.Expression(TExpLevel::kOr, kParseParameters, "value expression"));
  value.ValueText = reader.Parser.ConsumedText();
}

void ParseCommitClause(TSqlReader& reader, TDataQuery& query) {
  if (!reader.Accept("COMMIT")) return;
  bool given = false;
  if (reader.Accept("INTERVAL")) {
    query.CommitInterval =
        reader.ReadInteger("Integer value expected after INTERVAL keyword, instead found '", 0,
                           std::numeric_limits<int32_t>::max());
    query.CommitIntervalGiven = true;
    given = true;
  }
  if (reader.Accept("FLUSH")) {
    query.Flush = true;
    given = true;
  }
  if (!given)
    reader.FailFound(
        "INTERVAL and/or FLUSH keywords expected after COMMIT keyword, instead found '");
}

}  // namespace

void ParseInsert(TSqlReader& reader, TDataQuery& query) {
  reader.Expect("INTO", "INTO keyword expected, instead found '");
  TTableReference reference;
  reader.ReadTableReference(reference, "Table name expected after INTO keyword, instead found '",
                            "Table name expected after INTO clause, instead found '");
  std::string correlation;
  if (reader.Parser.IsSymbolOrString() && !reader.IsAny(kInsertAliasStops))
    correlation = reader.ReadName({}, "Table correlation name");
  AddSourceTable(reader, query, reference, std::move(correlation));
  query.Memory = reference.Memory;

  bool parenthesisedSelect = false;
  if (reader.AcceptChar('(')) {
    if (reader.Is("SELECT")) {
      parenthesisedSelect = true;
    } else {
      do AddColumn(reader, query, TExpLevel::kOr);
      while (reader.AcceptChar(','));
      reader.ExpectChar(')',
                        "Right parentheses expected after list of table columns, instead found '");
      if (reader.AcceptChar('(')) {
        if (!reader.Is("SELECT"))
          reader.FailFound("VALUES or SELECT  keyword expected, instead found '");
        parenthesisedSelect = true;
      }
    }
  }
  if (query.UpdateFields.empty()) {
    TUpdateField& all = query.UpdateFields.emplace_back();
    all.Owner = &query;
    all.AllColumns = true;
    all.ColumnName = "*";
  }

  if (parenthesisedSelect || reader.Is("SELECT")) {
    query.InsertSelect = true;
    TDataQuery& source = reader.Statement.NewQuery();
    source.Kind = kStatementSelect;
    source.IsSubQuery = true;
    source.LiveAllowed = true;
    query.InsertSource = &source;
    ParseSelect(reader, source, parenthesisedSelect, kChangeAliasStops);
  } else if (reader.Accept("VALUES")) {
    reader.ExpectChar('(', "Left parentheses expected after VALUES keyword, instead found '");
    do AddValue(reader, query);
    while (reader.AcceptChar(','));
    reader.ExpectChar(')', "Right parentheses expected after list of values, instead found '");
  } else {
    reader.FailFound("VALUES or SELECT  keyword expected, instead found '");
  }
  if (reader.Accept("NOAUTOINC")) query.NoAutoInc = true;
  ParseCommitClause(reader, query);
}

void ParseUpdate(TSqlReader& reader, TDataQuery& query) {
  TTableReference reference;
  reader.ReadTableReference(reference, "Table name expected, instead found '",
                            "Table name expected, instead found '");
  std::string correlation = ReadCorrelationName(reader, kUpdateAliasStops);
  AddSourceTable(reader, query, reference, std::move(correlation));
  query.Memory = reference.Memory;
  reader.Expect("SET", "SET keyword expected, instead found '");
  do {
    AddColumn(reader, query, TExpLevel::kPrimary);
    reader.ExpectChar('=', "Assignment (=) operator expected after column name, instead found '");
    AddValue(reader, query);
  } while (reader.AcceptChar(','));
  if (reader.Accept("FROM")) ParseFromList(reader, query, kChangeAliasStops, true);
  ParseWhere(reader, query);
  if (reader.Accept("NOAUTOINC")) query.NoAutoInc = true;
  ParseCommitClause(reader, query);
  if (reader.Accept("NOJOINOPTIMIZE")) query.NoJoinOptimize = true;
}

void ParseDelete(TSqlReader& reader, TDataQuery& query) {
  reader.Expect("FROM", "FROM keyword expected, instead found '");
  ParseFromList(reader, query, kChangeAliasStops, false);
  ParseWhere(reader, query);
  ParseCommitClause(reader, query);
  if (reader.Accept("NOJOINOPTIMIZE")) query.NoJoinOptimize = true;
}
