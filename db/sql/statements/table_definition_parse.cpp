// The table definitions, after their keywords:
//   CREATE TABLE [IF NOT EXISTS] table-ref ( column {, column} [, key] [options] )
//   ALTER TABLE table-ref action {, action} [options] [NOBACKUP]
//     action = ADD [COLUMN] column | ADD key | REDEFINE [COLUMN] name [type] [new [type]] ...
//            | REDEFINE key | DROP [CONSTRAINT name] PRIMARY KEY | DROP [COLUMN] name
//   DROP TABLE [IF EXISTS] table-ref
// The column list of CREATE TABLE ends at ")" or at a word that starts a key or a table
// option (kColumnListEnds), after a column or after a ",".
#include "db/sql/statements/query_statement.h"
#include "db/sql/statements/sql_keywords.h"
#include "db/sql/statements/statement_limits.h"
#include "db/sql/statements/statement_parse.h"

namespace {

void ReadTargetTable(TSqlReader& reader, TDataQuery& query, std::string_view missing) {
  TTableReference table;
  reader.ReadTableReference(table, missing, missing);
  query.TargetTable = std::move(table.Name);
  query.Memory = table.Memory;
}

// ADD or REDEFINE, consumed: a primary key or a column.
void ParseAlterColumnOrKey(TSqlReader& reader, TDataQuery& query, bool add) {
  if (reader.IsAny(kPrimaryKeyStarts)) {
    TCreateIndex& key = query.CreateIndexes.emplace_back();
    key.Owner = &query;
    key.Add = add;
    key.Redefine = !add;
    ParsePrimaryKey(reader, key);
    return;
  }
  reader.Accept("COLUMN");
  TCreateField& field = query.CreateFields.emplace_back();
  field.Add = add;
  field.Redefine = !add;
  ParseColumnDefinition(reader, query, field, !add, true);
}

void ParseAlterDrop(TSqlReader& reader, TDataQuery& query) {
  if (reader.Is("CONSTRAINT") || reader.Is("PRIMARY")) {
    TCreateIndex& key = query.CreateIndexes.emplace_back();
    key.Owner = &query;
    key.Drop = true;
    key.PrimaryKey = true;
    if (reader.Accept("CONSTRAINT"))
      reader.ReadName("Constraint name expected after CONSTRAINT keyword, instead found '",
                      "Constraint name");
    reader.Expect("PRIMARY", "PRIMARY keyword expected, instead found '");
    reader.Expect("KEY", "KEY keyword expected after PRIMARY keyword, instead found '");
    return;
  }
  reader.Accept("COLUMN");
  ParseDroppedColumn(reader, query, query.CreateFields.emplace_back());
}

}  // namespace

void ParseCreateTable(TSqlReader& reader, TDataQuery& query) {
  if (reader.Accept("IF")) {
    reader.Expect("NOT", "NOT keyword expected after IF keyword, instead found '");
    reader.Expect("EXISTS", "EXISTS keyword expected after NOT keyword, instead found '");
    query.IfNotExists = true;
  }
  ReadTargetTable(reader, query,
                  "Table name expected after CREATE TABLE keywords, instead found '");
  reader.ExpectChar('(', "Left parentheses expected before list of table columns, instead found '");
  while (!reader.IsChar(')') && !reader.IsAny(kColumnListEnds)) {
    reader.CheckCount(query.CreateFields.size(), kMaxListItems, "column definitions");
    ParseColumnDefinition(reader, query, query.CreateFields.emplace_back(), false, false);
    if (!reader.AcceptChar(',')) break;
  }
  if (reader.IsAny(kPrimaryKeyStarts)) {
    TCreateIndex& key = query.CreateIndexes.emplace_back();
    key.Owner = &query;
    ParsePrimaryKey(reader, key);
  }
  ParseTableOptions(reader, query);
  reader.ExpectChar(')',
                    "Right parentheses expected after CREATE TABLE statement, instead found '");
}

void ParseAlterTable(TSqlReader& reader, TDataQuery& query) {
  ReadTargetTable(reader, query, "Table name expected after ALTER TABLE keywords, instead found '");
  do {
    reader.CheckCount(query.CreateFields.size() + query.CreateIndexes.size(), kMaxListItems,
                      "ALTER TABLE actions");
    if (reader.Accept("ADD"))
      ParseAlterColumnOrKey(reader, query, true);
    else if (reader.Accept("REDEFINE"))
      ParseAlterColumnOrKey(reader, query, false);
    else if (reader.Accept("DROP"))
      ParseAlterDrop(reader, query);
    else
      reader.FailFound("ADD, DROP, or REDEFINE keyword expected, instead found '");
  } while (reader.AcceptChar(','));
  ParseTableOptions(reader, query);
  if (reader.Accept("NOBACKUP")) query.NoBackup = true;
}

void ParseDropTable(TSqlReader& reader, TDataQuery& query) {
  if (reader.Accept("IF")) {
    reader.Expect("EXISTS", "EXISTS keyword expected after IF keyword, instead found '");
    query.IfExists = true;
  }
  ReadTargetTable(reader, query, "Table name expected after DROP TABLE keywords, instead found '");
}
