// TExpressionParser: SQL data types (CAST and column definitions). One keyword sets the node's
// ValueType and SubType; type arguments, each read with ParsePrimary, are appended to Args.
//
//   | Keywords                            | Type | Subtype          | Arguments                  |
//   |-------------------------------------|------|------------------|----------------------------|
//   | SMALLINT                            | 5    |                  |                            |
//   | WORD                                | 12   |                  |                            |
//   | INTEGER, INT                        | 6    |                  |                            |
//   | LARGEINT                            | 18   |                  |                            |
//   | AUTOINC                             | 6    | 29               |                            |
//   | DECIMAL, NUMERIC, FLOAT (7)         | 8, 7 |                  | [( precision [, scale] )]  |
//   | MONEY                               | 7    | 21               |                            |
//   | CHARACTER, CHAR, VARCHAR            | 1    |                  | ( length ) required        |
//   | BYTES, VARBYTES, BINARY, VARBINARY  | 9    |                  | ( length ) required        |
//   | DATE, TIME, TIMESTAMP               | 2, 10, 11 |             |                            |
//   | BOOLEAN, BOOL, BIT                  | 4    |                  |                            |
//   | BLOB                                | 3    | 23; 0 with args  | [( size , blob type )]     |
//   | LONGVARBINARY / LONGVARCHAR, MEMO / GRAPHIC | 3 | 23 / 22 / 26 |                         |
#include <string_view>

#include "db/sql/expressions/expression_parser.h"
#include "db/storage/data/field_types.h"

namespace {

enum class TTypeArguments { kNone, kPrecision, kLength, kBlob };

struct TDataType {
  const char* Keyword;
  uint8_t Type;
  uint8_t SubType;
  TTypeArguments Arguments;
};

constexpr TDataType kDataTypes[] = {
    {"SMALLINT", kFieldSmallInt, 0, TTypeArguments::kNone},
    {"WORD", kFieldWord, 0, TTypeArguments::kNone},
    {"INTEGER", kFieldInteger, 0, TTypeArguments::kNone},
    {"INT", kFieldInteger, 0, TTypeArguments::kNone},
    {"LARGEINT", kFieldLargeInt, 0, TTypeArguments::kNone},
    {"AUTOINC", kFieldInteger, kSubtypeAutoIncrement, TTypeArguments::kNone},
    {"DECIMAL", kFieldBcd, 0, TTypeArguments::kPrecision},
    {"NUMERIC", kFieldBcd, 0, TTypeArguments::kPrecision},
    {"FLOAT", kFieldFloat, 0, TTypeArguments::kPrecision},
    {"MONEY", kFieldFloat, kSubtypeMoney, TTypeArguments::kNone},
    {"CHARACTER", kFieldString, 0, TTypeArguments::kLength},
    {"CHAR", kFieldString, 0, TTypeArguments::kLength},
    {"VARCHAR", kFieldString, 0, TTypeArguments::kLength},
    {"BYTES", kFieldBytes, 0, TTypeArguments::kLength},
    {"VARBYTES", kFieldBytes, 0, TTypeArguments::kLength},
    {"BINARY", kFieldBytes, 0, TTypeArguments::kLength},
    {"VARBINARY", kFieldBytes, 0, TTypeArguments::kLength},
    {"DATE", kFieldDate, 0, TTypeArguments::kNone},
    {"TIME", kFieldTime, 0, TTypeArguments::kNone},
    {"TIMESTAMP", kFieldTimestamp, 0, TTypeArguments::kNone},
    {"BOOLEAN", kFieldBoolean, 0, TTypeArguments::kNone},
    {"BOOL", kFieldBoolean, 0, TTypeArguments::kNone},
    {"BIT", kFieldBoolean, 0, TTypeArguments::kNone},
    {"BLOB", kFieldBlob, kSubtypeBinary, TTypeArguments::kBlob},
    {"LONGVARBINARY", kFieldBlob, kSubtypeBinary, TTypeArguments::kNone},
    {"LONGVARCHAR", kFieldBlob, kSubtypeMemo, TTypeArguments::kNone},
    {"MEMO", kFieldBlob, kSubtypeMemo, TTypeArguments::kNone},
    {"GRAPHIC", kFieldBlob, kSubtypeGraphic, TTypeArguments::kNone},
};

}  // namespace

bool TExpressionParser::DoDataType(TExpToken& node, uint8_t flags, bool optional) {
  const TDataType* type = nullptr;
  for (const TDataType& candidate : kDataTypes)
    if (IsKeyword(candidate.Keyword)) {
      type = &candidate;
      break;
    }
  if (!type) {
    if (optional) return false;
    FailFound("SQL data type keyword expected, instead found '");
  }
  const std::string_view keyword = type->Keyword;
  node.ValueType = type->Type;
  node.SubType = type->SubType;
  NextToken();
  switch (type->Arguments) {
    case TTypeArguments::kNone:
      break;
    case TTypeArguments::kPrecision:
      if (!TokenIs('(')) break;
      NextToken();
      node.Args.push_back(DoPrimary(flags));
      if (TokenIs(')')) {  // a ")" right after the precision ends the list
        NextToken();
        break;
      }
      Expect(TokenIs(','), {"Comma expected after first ", keyword, " argument, instead found '"});
      node.Args.push_back(DoPrimary(flags));
      Expect(TokenIs(')'), {"Right parentheses expected after ", keyword,
                            " data type arguments, instead found '"});
      break;
    case TTypeArguments::kLength:
      Expect(TokenIs('('),
             {"Left parentheses expected after ", keyword, " data type, instead found '"});
      node.Args.push_back(DoPrimary(flags));
      Expect(TokenIs(')'), {"Right parentheses expected after ", keyword,
                            " data type arguments, instead found '"});
      break;
    case TTypeArguments::kBlob:
      if (!TokenIs('(')) break;
      node.SubType = 0;  // the blob type argument gives the kind
      NextToken();
      node.Args.push_back(DoPrimary(flags));
      Expect(TokenIs(','), {"Comma expected after first BLOB argument, instead found '"});
      node.Args.push_back(DoPrimary(flags));
      Expect(TokenIs(')'),
             {"Right parentheses expected after BLOB data type arguments, instead found '"});
      break;
  }
  CheckHeight(&node);
  return true;
}
