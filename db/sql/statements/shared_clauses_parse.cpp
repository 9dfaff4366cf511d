// Clauses several statements share: WHERE, LANGUAGE ... SORT and ENCRYPTED WITH.
#include "db/sql/statements/query_statement.h"
#include "db/sql/statements/statement_parse.h"
#include "db/storage/locale/locale_list.h"

void ParseWhere(TSqlReader& reader, TDataQuery& query) {
  if (!reader.Accept("WHERE")) return;
  if (reader.AtStatementEnd()) reader.Fail("WHERE clause is empty");
  query.HasWhere = true;
  query.Where = OwnExpTree(
      reader.Statement.Pool(),
      reader.Expression(TExpLevel::kOr, kParsePredicates | kParseParameters | kParseSubSelects,
                        "WHERE clause"));
}

void ParseLanguage(TSqlReader& reader, TDataQuery& query) {
  if (!reader.Accept("LANGUAGE")) return;
  TExpressionParser& parser = reader.Parser;
  const bool quoted = parser.TokenIs(kTokenSingleQuoted) || parser.TokenIs(kTokenDoubleQuoted);
  if (!quoted || !LocaleList().IsKnown(parser.TokenText()))
    reader.Fail("Invalid language constant '" + parser.TokenText() +
                "' specified after LANGUAGE keyword");
  query.LanguageId = LocaleList().IdentifierOf(parser.TokenText());
  query.LanguageGiven = true;
  reader.Next();
  if (!reader.Accept("SORT")) return;
  const bool sortQuoted = parser.TokenIs(kTokenSingleQuoted) || parser.TokenIs(kTokenDoubleQuoted);
  if (!sortQuoted || !LocaleList().IsSortOffered(parser.TokenText(), query.LanguageId))
    reader.Fail("Invalid sort constant '" + parser.TokenText() + "' specified after SORT keyword");
  query.SortId = LocaleList().SortIdOf(parser.TokenText());
  query.SortGiven = true;
  reader.Next();
}

void ParseEncryption(TSqlReader& reader, TDataQuery& query) {
  if (!reader.Accept("ENCRYPTED")) return;
  reader.Expect("WITH", "WITH keyword expected after ENCRYPTED keyword, instead found '");
  query.Password = reader.ReadString(
      "Password expected after ENCRYPTED WITH keywords, instead found '", "Password");
  query.Encrypted = !query.Password.empty();
  query.EncryptedGiven = true;
}
