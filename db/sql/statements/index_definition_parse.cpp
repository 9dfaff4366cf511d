// The index statements:
//   CREATE [UNIQUE] [ASC | ASCENDING | DESC | DESCENDING] [NOCASE] INDEX [IF NOT EXISTS] name
//          ON table-ref ( column {, column} ) [COMPRESS FULL | DUPBYTE | TRAILBYTE | NONE]
//   DROP INDEX [IF EXISTS] [MEMORY] table.index
// DROP INDEX reads its name as one expression in the context "index name expression" and
// splits it into the table (the correlation part) and the index (the column part).
#include "db/sql/statements/query_statement.h"
#include "db/sql/statements/statement_parse.h"

void ParseCreateIndex(TSqlReader& reader, TDataQuery& query) {
  TCreateIndex& index = query.CreateIndexes.emplace_back();
  index.Owner = &query;
  ParseIndexModifiers(reader, index);
  reader.Expect("INDEX", "INDEX keyword expected, instead found '");
  if (reader.Accept("IF")) {
    reader.Expect("NOT", "NOT keyword expected after IF keyword, instead found '");
    reader.Expect("EXISTS", "EXISTS keyword expected after NOT keyword, instead found '");
    query.IfNotExists = true;
  }
  index.IndexName =
      reader.ReadName("Index name expected after INDEX keyword, instead found '", "Index name");
  reader.Expect("ON", "ON keyword expected after index name, instead found '");
  TTableReference table;
  reader.ReadTableReference(table, "Table name expected after ON keyword, instead found '",
                            "Table name expected after ON keyword, instead found '");
  query.TargetTable = std::move(table.Name);
  query.Memory = table.Memory;
  ParseIndexColumns(reader, index, "Left parentheses expected, instead found '",
                    "Right parentheses expected, instead found '");
  ParseCompression(reader, index);
}

void ParseDropIndex(TSqlReader& reader, TDataQuery& query) {
  if (reader.Accept("IF")) {
    reader.Expect("EXISTS", "EXISTS keyword expected after IF keyword, instead found '");
    query.IfExists = true;
  }
  query.Memory = reader.Accept("MEMORY");
  if (reader.AtStatementEnd()) reader.Fail("Index name expression is empty");
  TOwnedExpTree name = OwnExpTree(
      reader.Statement.Pool(), reader.Expression(TExpLevel::kPrimary, 0, "index name expression"));
  // A column reference's text is the correlation name, "." and the column name.
  const std::string& text = name->Text;
  if (name->NodeClass != kNodeColumn || text.size() == name->ColumnName.size())
    reader.Fail("Table name expected after DROP INDEX keywords, instead found '" + text + "'");
  query.TargetTable = text.substr(0, text.size() - name->ColumnName.size() - 1);
  reader.CheckName(query.TargetTable, "Table name");
  query.IndexName = name->ColumnName;
}
