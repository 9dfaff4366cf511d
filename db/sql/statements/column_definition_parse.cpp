// Column and index definitions shared by CREATE TABLE, ALTER TABLE and CREATE INDEX:
//   column  = name type [AT n] [DESCRIPTION 's'] [NOT NULL] [DEFAULT v] [MIN|MINIMUM v]
//             [MAX|MAXIMUM v] [CHARCASE UPPER|LOWER|NOCHANGE]           (AT: ALTER only)
//   v       = CURRENT_DATE | CURRENT_TIME | CURRENT_TIMESTAMP | TRUE | FALSE | 'text'
//             | [+|-] number                        stored as text, sign and number joined
//   key     = [CONSTRAINT name] modifiers PRIMARY KEY ( column {, column} ) [COMPRESS c]
//   modifiers = [UNIQUE] [ASC | ASCENDING | DESC | DESCENDING] [NOCASE]
// Options stand in this fixed order; an option out of order ends the definition, and the
// caller reports the token it cannot use.
#include <string>

#include "db/sql/statements/query_statement.h"
#include "db/sql/statements/sql_keywords.h"
#include "db/sql/statements/statement_limits.h"
#include "db/sql/statements/statement_parse.h"
#include "db/storage/data/field_types.h"

namespace {

constexpr std::string_view kValueKeywords[] = {"CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP",
                                               "TRUE", "FALSE"};

// The name a column node stands for: a column reference, or a string constant.
std::string ColumnNameOf(TSqlReader& reader, const TExpToken& node) {
  if (node.NodeClass == kNodeColumn) return node.ColumnName;
  if (node.NodeClass == kNodeConstant && node.ValueType == kFieldString && !node.IsNull &&
      !node.IsParam) {
    std::string name(node.StringValue());
    reader.CheckName(name, "Column name");
    return name;
  }
  reader.Fail("Column name expected, instead found '" + node.Text + "'");
}

// A DEFAULT, MIN or MAX value as text.
void ReadValue(TSqlReader& reader, std::string& value, std::string_view missing,
               std::string_view what) {
  TExpressionParser& parser = reader.Parser;
  if (reader.IsAny(kValueKeywords)) {
    value.clear();
    for (char c : parser.RawToken())
      value += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    reader.Next();
    return;
  }
  if (parser.TokenIs(kTokenSingleQuoted)) {
    value = reader.ReadName(missing, what);
    return;
  }
  value.clear();
  if (reader.IsChar('+') || reader.IsChar('-')) {
    value += static_cast<char>(parser.TokenKind());
    reader.Next();
  }
  if (!parser.TokenIs(kTokenInteger) && !parser.TokenIs(kTokenReal)) reader.FailFound(missing);
  value += parser.RawToken();
  reader.CheckName(value, what);
  reader.Next();
}

void ParseColumnOptions(TSqlReader& reader, TCreateField& field, bool alter) {
  if (alter && reader.Accept("AT"))
    field.AtPosition = static_cast<int16_t>(reader.ReadInteger(
        "Integer value expected after AT keyword, instead found '", 1, kMaxColumnNumber));
  if (reader.Accept("DESCRIPTION")) {
    field.Description = reader.ReadString(
        "Description expected after DESCRIPTION keyword, instead found '", "Description");
    field.DescriptionGiven = true;
  }
  if (reader.Accept("NOT")) {
    reader.Expect("NULL", "NULL keyword expected after NOT keyword, instead found '");
    field.NotNull = true;
    field.NotNullGiven = true;
  }
  if (reader.Accept("DEFAULT")) {
    ReadValue(reader, field.DefaultValue,
              "Default expression expected after DEFAULT keyword, instead found '",
              "Default value");
    field.DefaultGiven = true;
  }
  if (reader.Accept("MIN") || reader.Accept("MINIMUM")) {
    ReadValue(reader, field.MinValue,
              "Minimum expression expected after MIN or MINIMUM keyword, instead found '",
              "Minimum value");
    field.MinGiven = true;
  }
  if (reader.Accept("MAX") || reader.Accept("MAXIMUM")) {
    ReadValue(reader, field.MaxValue,
              "Maximum expression expected after MAX or MAXIMUM keyword, instead found '",
              "Maximum value");
    field.MaxGiven = true;
  }
  if (reader.Accept("CHARCASE")) {
    if (reader.Accept("UPPER"))
      field.CharCase = kCharCaseUpper;
    else if (reader.Accept("LOWER"))
      field.CharCase = kCharCaseLower;
    else if (reader.Accept("NOCHANGE"))
      field.CharCase = kCharCaseNoChange;
    else
      reader.FailFound(
          "UPPER, LOWER, or NOCHANGE keyword expected after CHARCASE keyword, instead found '");
    field.CharCaseGiven = true;
  }
}

}  // namespace

void ParseColumnDefinition(TSqlReader& reader, TDataQuery& query, TCreateField& field,
                           bool typeOptional, bool alter) {
  field.Owner = &query;
  TExpTokenStack& pool = reader.Statement.Pool();
  reader.Parser.MarkStart();
  field.Column = OwnExpTree(pool, reader.Expression(TExpLevel::kPrimary, 0, "table column"));
  field.ColumnName = ColumnNameOf(reader, *field.Column);
  if (reader.DataType(*field.Column, typeOptional)) {
    field.DataType = field.Column->ValueType;
    field.SubType = field.Column->SubType;
  }
  // REDEFINE old [type] new [type]: the new name's node links to the old one's.
  if (field.Redefine && !reader.AtStatementEnd() && !reader.IsChar(',') &&
      !reader.IsAny(kRedefineEnds)) {
    TExpToken* renamed = reader.Expression(TExpLevel::kPrimary, 0, "table column");
    renamed->Left = field.Column.release();
    field.Column = OwnExpTree(pool, renamed);
    field.NewColumnName = ColumnNameOf(reader, *renamed);
    if (reader.DataType(*renamed, true)) {
      field.DataType = renamed->ValueType;
      field.SubType = renamed->SubType;
    }
  }
  ParseColumnOptions(reader, field, alter);
  field.ColumnText = reader.Parser.ConsumedText();
}

void ParseIndexModifiers(TSqlReader& reader, TCreateIndex& index) {
  if (reader.Accept("UNIQUE")) index.Unique = true;
  if (reader.Accept("DESC") || reader.Accept("DESCENDING"))
    index.Descending = true;
  else if (!reader.Accept("ASC"))
    reader.Accept("ASCENDING");
  if (reader.Accept("NOCASE")) index.NoCase = true;
}

void ParsePrimaryKey(TSqlReader& reader, TCreateIndex& index) {
  index.PrimaryKey = true;
  if (reader.Accept("CONSTRAINT"))
    reader.ReadName("Constraint name expected after CONSTRAINT keyword, instead found '",
                    "Constraint name");
  ParseIndexModifiers(reader, index);
  reader.Expect("PRIMARY", "PRIMARY keyword expected, instead found '");
  reader.Expect("KEY", "KEY keyword expected after PRIMARY keyword, instead found '");
  ParseIndexColumns(reader, index, "Left parentheses expected, instead found '",
                    "Right parentheses expected, instead found '");
  ParseCompression(reader, index);
}

void ParseIndexColumns(TSqlReader& reader, TCreateIndex& index, std::string_view leftMissing,
                       std::string_view rightMissing) {
  reader.ExpectChar('(', leftMissing);
  reader.Parser.MarkStart();
  do {
    reader.CheckCount(index.Columns.size(), kMaxListItems, "indexed columns");
    TExpToken* column = reader.Expression(TExpLevel::kPrimary, 0, "index column");
    index.Columns.push_back(OwnExpTree(reader.Statement.Pool(), column));
    // A column reference's text is its name, or the correlation name, "." and the name.
    if (column->NodeClass == kNodeColumn && column->Text.size() != column->ColumnName.size())
      reader.Fail("Invalid use of table correlation name '" +
                  column->Text.substr(0, column->Text.size() - column->ColumnName.size() - 1) +
                  "' specified in indexed columns");
  } while (reader.AcceptChar(','));
  index.ColumnsText = reader.Parser.ConsumedText();
  reader.ExpectChar(')', rightMissing);
}

void ParseCompression(TSqlReader& reader, TCreateIndex& index) {
  if (!reader.Accept("COMPRESS")) return;
  if (reader.Accept("FULL"))
    index.Compression = kCompressFull;
  else if (reader.Accept("DUPBYTE"))
    index.Compression = kCompressDuplicates;
  else if (reader.Accept("TRAILBYTE"))
    index.Compression = kCompressTrailing;
  else if (reader.Accept("NONE"))
    index.Compression = kCompressNone;
  else
    reader.FailFound(
        "FULL, DUPBYTE, TRAILBYTE, or NONE keyword expected after COMPRESS keyword, instead "
        "found '");
}

void ParseDroppedColumn(TSqlReader& reader, TDataQuery& query, TCreateField& field) {
  field.Owner = &query;
  field.Drop = true;
  field.Column = OwnExpTree(reader.Statement.Pool(),
                            reader.Expression(TExpLevel::kPrimary, 0, "table column"));
  field.ColumnName = ColumnNameOf(reader, *field.Column);
}
