// The table options of CREATE TABLE and ALTER TABLE, each optional, in this fixed order:
//   TEXT INDEX ( column {, column} ) [STOP WORDS s] [SPACE CHARS s] [INCLUDE CHARS s]
//   DESCRIPTION 'text'
//   BLOB BLOCK SIZE n
//   LANGUAGE 'name' [SORT 'name']
//   ENCRYPTED WITH 'password'
//   USER MAJOR VERSION n / USER MINOR VERSION n   (either order, each at most once)
//   LAST AUTOINC [+|-] n
// Stop words and character sets are constant string expressions, folded here: the words are
// split at blanks, the characters become a 256-bit set.
#include <limits>
#include <string>

#include "db/engine/errors/engine_error_codes.h"
#include "db/sql/expressions/evaluate.h"
#include "db/sql/expressions/type_check.h"
#include "db/sql/statements/query_statement.h"
#include "db/sql/statements/statement_parse.h"
#include "db/storage/data/field_types.h"

namespace {

// The value of the constant string expression at the current token, read with ParseAdditive
// in context.
std::string ConstantText(TSqlReader& reader, std::string_view context) {
  TExpTokenStack& pool = reader.Statement.Pool();
  TExpToken* tree = reader.Expression(TExpLevel::kAdditive, 0, context);
  TTypeCheckOptions options;
  options.ErrorCode = VUZODE_SQLPARSE;
  options.ContextName = context;
  options.Pool = &pool;
  try {
    CheckTypes(options, nullptr, tree);
  } catch (...) {
    ReleaseExpTree(pool, tree);
    throw;
  }
  TOwnedExpTree owned = OwnExpTree(pool, tree);
  if (tree->ValueType != kFieldString)
    reader.Fail("String expression expected in " + std::string(context) + ", instead found '" +
                tree->Text + "'");
  TOwnedExpTree value = OwnExpTree(pool, Evaluate(*tree, nullptr, nullptr, 0, 0, pool));
  return value->IsNull ? std::string() : std::string(value->StringValue());
}

void ParseTextIndex(TSqlReader& reader, TDataQuery& query) {
  reader.Expect("INDEX", "INDEX keyword expected after TEXT keyword, instead found '");
  query.HasTextIndex = true;
  query.TextIndex.Owner = &query;
  ParseIndexColumns(reader, query.TextIndex,
                    "Left parentheses expected after TEXTINDEX keyword, instead found '",
                    "Right parentheses expected after TEXT INDEX clause, instead found '");
  if (reader.Accept("STOP")) {
    reader.Expect("WORDS", "WORDS keyword expected after STOP keyword, instead found '");
    std::string words = ConstantText(reader, "stop words");
    query.StopWords.clear();
    size_t at = 0;
    while (at < words.size()) {
      size_t end = words.find(' ', at);
      if (end == std::string::npos) end = words.size();
      if (end > at) query.StopWords.emplace_back(words, at, end - at);
      at = end + 1;
    }
    query.StopWordsGiven = true;
  }
  if (reader.Accept("SPACE")) {
    reader.Expect("CHARS", "CHARS keyword expected after SPACE keyword, instead found '");
    for (unsigned char c : ConstantText(reader, "character set"))
      query.SpaceChars[c >> 3] |= static_cast<uint8_t>(1 << (c & 7));
  }
  if (reader.Accept("INCLUDE")) {
    reader.Expect("CHARS", "CHARS keyword expected after INCLUDE keyword, instead found '");
    for (unsigned char c : ConstantText(reader, "character set"))
      query.IncludeChars[c >> 3] |= static_cast<uint8_t>(1 << (c & 7));
  }
}

void ParseUserVersions(TSqlReader& reader, TDataQuery& query) {
  constexpr std::string_view kInteger =
      "Integer value expected after VERSION keyword, instead found '";
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  while (!(query.UserMajorVersionGiven && query.UserMinorVersionGiven) && reader.Accept("USER")) {
    if (!query.UserMajorVersionGiven && reader.Accept("MAJOR")) {
      reader.Expect("VERSION", "VERSION keyword expected after MAJOR keyword, instead found '");
      query.UserMajorVersion = reader.ReadInteger(kInteger, 0, kMax);
      query.UserMajorVersionGiven = true;
    } else if (!query.UserMinorVersionGiven && reader.Accept("MINOR")) {
      reader.Expect("VERSION", "VERSION keyword expected after MINOR keyword, instead found '");
      query.UserMinorVersion = reader.ReadInteger(kInteger, 0, kMax);
      query.UserMinorVersionGiven = true;
    } else {
      reader.FailFound("MAJOR or MINOR keyword expected after USER keyword, instead found '");
    }
  }
}

// After LAST AUTOINC: an integer constant with at most one sign.
void ParseLastAutoInc(TSqlReader& reader, TDataQuery& query) {
  if (reader.AtStatementEnd() || reader.IsChar(')'))
    reader.Fail("Next auto-increment number is empty");
  reader.Parser.MarkStart();
  TOwnedExpTree value =
      OwnExpTree(reader.Statement.Pool(),
                 reader.Expression(TExpLevel::kUnary, 0, "next auto-increment number"));
  const TExpToken* number = value.get();
  bool negative = false;
  if (number->NodeClass == kNodeUnary) {
    negative = number->OpCode == kOpNegate;
    number = number->Left;
  }
  if (number->NodeClass != kNodeConstant || number->ValueType != kFieldInteger || number->IsNull ||
      number->IsParam)
    reader.Fail("Integer constant expected after AUTOINC keyword, instead found '" +
                reader.Parser.ConsumedText() + "'");
  const int64_t magnitude = number->IntegerValue();
  query.LastAutoIncrement = negative ? -magnitude : magnitude;
}

}  // namespace

void ParseTableOptions(TSqlReader& reader, TDataQuery& query) {
  if (reader.Accept("TEXT")) ParseTextIndex(reader, query);
  if (reader.Accept("DESCRIPTION")) {
    query.Description = reader.ReadString(
        "Description expected after DESCRIPTION keyword, instead found '", "Description");
    query.DescriptionGiven = true;
  }
  if (reader.Accept("BLOB")) {
    reader.Expect("BLOCK", "BLOCK keyword expected after BLOB keyword, instead found '");
    reader.Expect("SIZE", "SIZE keyword expected after BLOCK keyword, instead found '");
    query.BlobBlockSize =
        reader.ReadInteger("Integer value expected after SIZE keyword, instead found '", 0,
                           std::numeric_limits<int32_t>::max());
    query.BlobBlockSizeGiven = true;
  }
  ParseLanguage(reader, query);
  ParseEncryption(reader, query);
  ParseUserVersions(reader, query);
  if (reader.Accept("LAST")) {
    reader.Expect("AUTOINC", "AUTOINC keyword expected after LAST keyword, instead found '");
    ParseLastAutoInc(reader, query);
  }
}
