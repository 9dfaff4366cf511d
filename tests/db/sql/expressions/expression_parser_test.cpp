// TExpressionParser: table-driven scripts of text and the tree it parses to (compact form of
// exp_tree_text.h) or the exact error detail; the filter entry point; limits; node values.
#include "db/sql/expressions/expression_parser.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "db/engine/errors/engine_error.h"
#include "db/sql/expressions/exp_tree_text.h"

namespace {

constexpr uint8_t kWhere = 28;  // predicates, parameters, sub-selects

// The tree of text read with ParseOr in the context "WHERE clause", followed by " | rest 'x'"
// when a token is left over, or "error: " and the detail.
std::string Parse(std::string_view text, uint8_t flags = kWhere) {
  TExpressionParser parser;
  parser.ErrorCode = VUZODE_SQLPARSE;
  parser.ContextName = "WHERE clause";
  try {
    parser.SetText(text);
    parser.NextToken();
    TExpToken* tree = parser.ParseOr(flags);
    std::string out = ExpTreeText(tree);
    if (!parser.TokenIs(kTokenEnd)) out += " | rest '" + std::string(parser.RawToken()) + "'";
    ReleaseExpTree(parser.Pool(), tree);
    return out;
  } catch (const EVUZODEEngineError& error) {
    EXPECT_EQ(error.EngineCode(), VUZODE_SQLPARSE);
    return "error: " + error.ContextDetail();
  }
}

struct TScript {
  const char* Text;
  uint8_t Flags;
  const char* Expected;
};

void RunScripts(const std::vector<TScript>& scripts) {
  for (const TScript& script : scripts)
    EXPECT_EQ(Parse(script.Text, script.Flags), script.Expected) << "text: " << script.Text;
}

TEST(ExpressionParser, OperatorsPrecedenceAndWhereTheExpressionStops) {
  RunScripts({
      {"a = 1", kWhere, "(= a 1)"},
      {"a<>b", kWhere, "(<> a b)"},
      {"a < > b", kWhere, "(<> a b)"},
      {"a<  >b", kWhere, "(<> a b)"},
      {"a != b", kWhere, "a | rest '!'"},
      {"a!=b", kWhere, "(= a! b)"},
      {"a <= 1", kWhere, "(<= a 1)"},
      {"a < = 1", kWhere, "(<= a 1)"},
      {"a >= 1", kWhere, "(>= a 1)"},
      {"a > 1", kWhere, "(> a 1)"},
      {"a < 1", kWhere, "(< a 1)"},
      {"a = b = c", kWhere, "(= a b) | rest '='"},
      {"a = 1 b = 2", kWhere, "(= a 1) | rest 'b'"},
      {"1 + 2 * 3", kWhere, "(+ 1 (* 2 3))"},
      {"(1 + 2) * 3", kWhere, "(* (+ 1 2) 3)"},
      {"1 - 2 - 3", kWhere, "(- (- 1 2) 3)"},
      {"8 / 4 / 2", kWhere, "(/ (/ 8 4) 2)"},
      {"a = 1 or b = 2 AND c = 3", kWhere, "(OR (= a 1) (AND (= b 2) (= c 3)))"},
      {"NOT a = 1 AND b = 2", kWhere, "(AND (NOT (= a 1)) (= b 2))"},
      {"1+-2", kWhere, "(+ 1 (- 2))"},
      {"--2", kWhere, "error: Unknown or unexpected symbol '-' found in WHERE clause"},
      {"-(-2)", kWhere, "(- (- 2))"},
      {"+a", kWhere, "(+ a)"},
      {"a || b", kWhere, "(+ a b)"},
      {"a | | b", kWhere, "(+ a b)"},
      {"a | b", kWhere,
       "error: Second concatenation symbol '|' expected after first concatentation symbol, "
       "instead found 'b' in WHERE clause"},
      {"", kWhere, "error: Unknown or unexpected symbol '' found in WHERE clause"},
      {"a =", kWhere, "error: Unknown or unexpected symbol '' found in WHERE clause"},
      {"(a = 1", kWhere, "error: Right parentheses expected, instead found '' in WHERE clause"},
      {"a = )", kWhere, "error: Unknown or unexpected symbol ')' found in WHERE clause"},
  });
}

TEST(ExpressionParser, NamesQuotingAndComments) {
  RunScripts({
      {"'it''s'", kWhere, "'it''s'"},
      {"\"say \"\"hi\"\"\"", kWhere, "'say \"hi\"'"},
      {"''", kWhere, "NULL:1"},
      {"\"\"", kWhere, "NULL:1"},
      {"NULL", kWhere, "NULL"},
      {"true = FALSE", kWhere, "(= TRUE FALSE)"},
      {"[Order Date] = 1", kWhere, "(= Order Date 1)"},
      {"[a.b]", kWhere, "a.b"},
      {"t.a", kWhere, "t.a"},
      {"'t'.a", kWhere, "t.a"},
      {"\"c:\\data\\orders.dat\".qty", kWhere, "orders.qty"},
      {"t.[x y]", kWhere, "t.x y"},
      {"t.'c'", kWhere, "t.c"},
      {"t.*", kWhere, "error: * (all columns) symbol is not allowed in WHERE clause"},
      {"t.*", kParseAllColumns, "t.*"},
      {"*", kParseAllColumns, "*"},
      {"*", kWhere, "error: * (all columns) symbol is not allowed in WHERE clause"},
      {"t.(", kWhere,
       "error: Symbol or string expression expected after table correlation name separator "
       "'.', instead found '(' in WHERE clause"},
      {"t.5", kWhere, "t | rest '.5'"},
      {"a /* x */ = /**/ 1 /* end */", kWhere, "(= a 1)"},
      {"a/**/=/* * / */1", kWhere, "(= a 1)"},
      {"a = 1 /* open", kWhere, "error: Missing ending comment slash and asterisk in WHERE clause"},
      {"a = 1 // no line comments", kWhere,
       "error: Unknown or unexpected symbol '/' found in WHERE clause"},
      {"'abc", kWhere, "error: Missing single quote after 'abc' in WHERE clause"},
      {"'ab''", kWhere, "error: Missing single quote after 'ab''' in WHERE clause"},
      {"\"abc", kWhere, "error: Missing double quote after 'abc' in WHERE clause"},
      {"[abc", kWhere, "error: Missing right bracket after 'abc' in WHERE clause"},
      {"foo(1)", kWhere, "error: Unknown or unexpected function 'foo' found in WHERE clause"},
      {"a (", kWhere, "error: Unknown or unexpected function 'a' found in WHERE clause"},
      {"[foo](1)", kWhere, "foo | rest '('"},
      {"?", kWhere, "?"},
      {"?", kParsePredicates, "error: Parameters are not allowed in WHERE clause"},
      {"$a", kWhere, "error: Unknown or unexpected symbol '$' found in WHERE clause"},
      {"\xC3\xA4@b$!", kWhere, "\xC3\xA4@b$!"},
  });
}

TEST(ExpressionParser, NumbersAndCharacterConstants) {
  RunScripts({
      {"2147483647", kWhere, "2147483647"},
      {"2147483648", kWhere, "2147483648L"},
      {"9223372036854775807", kWhere, "9223372036854775807L"},
      {"9223372036854775808", kWhere, "9223372036854775808f"},
      {"1e3", kWhere, "1000f"},
      {"1E-2", kWhere, "0.01f"},
      {"1e+5", kWhere, "1e+05f"},
      {".5", kWhere, "0.5f"},
      {"5.", kWhere, "5f"},
      {"1-2", kWhere, "(- 1 2)"},
      {"1.2.3", kWhere, "error: Constant '1.2.3' is not a valid number  in WHERE clause"},
      {"1e", kWhere, "error: Constant '1e' is not a valid number  in WHERE clause"},
      {"1e999", kWhere, "error: Constant '1e999' is not a valid number  in WHERE clause"},
      {"1x", kWhere, "1 | rest 'x'"},
      {"#65", kWhere, "'A'"},
      {"#0065", kWhere, "'A'"},
      {"#256", kWhere,
       "error: Character constants (#) must be within the range of 0 to 255 in WHERE clause"},
      {"#", kWhere,
       "error: Character constants (#) must be within the range of 0 to 255 in WHERE clause"},
      {"#99999999999999999999", kWhere,
       "error: Character constants (#) must be within the range of 0 to 255 in WHERE clause"},
  });
}

TEST(ExpressionParser, ExtendedPredicates) {
  RunScripts({
      {"a BETWEEN 1 AND 2", kWhere, "(BETWEEN a 1 2)"},
      {"a not between 1 and 2 + 3", kWhere, "(NOT BETWEEN a 1 (+ 2 3))"},
      {"a BETWEEN 1 OR 2", kWhere,
       "error: Expected AND operator in BETWEEN operator, instead found 'OR' in WHERE clause"},
      {"a NOT BETWEEN 1 2", kWhere,
       "error: Expected AND operator in NOT BETWEEN operator, instead found '2' in WHERE "
       "clause"},
      {"a LIKE 'x%' AND b NOT LIKE 'y'", kWhere, "(AND (LIKE a 'x%') (NOT LIKE b 'y'))"},
      {"a IN (1, 2, 3)", kWhere, "(IN a 1 2 3)"},
      {"a NOT IN (1)", kWhere, "(NOT IN a 1)"},
      {"a IN 1", kWhere,
       "error: Expected left parentheses for IN operator, instead found '1' in WHERE clause"},
      {"a NOT IN 1", kWhere,
       "error: Expected left parentheses for NOT IN operator, instead found '1' in WHERE "
       "clause"},
      {"a IN (1, 2", kWhere,
       "error: Expected right parentheses after IN operator, instead found '' in WHERE clause"},
      {"a NOT IN (1 2)", kWhere,
       "error: Expected right parentheses after NOT IN operator, instead found '2' in WHERE "
       "clause"},
      {"a IN (SELECT b FROM t)", kWhere,
       "error: Sub-select queries are not allowed in WHERE clause"},
      {"a IS NULL", kWhere, "(= a NULL)"},
      {"a is not null", kWhere, "(<> a NULL)"},
      {"a IS 1", kWhere, "error: Unknown or unexpected symbol '1' found in WHERE clause"},
      {"a IS NOT 1", kWhere, "error: Unknown or unexpected symbol '1' found in WHERE clause"},
      {"a NOT 1", kWhere, "error: Unknown or unexpected symbol '1' in WHERE clause"},
      {"a LIKE 'x'", 0,
       "error: Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in "
       "WHERE clause"},
      {"a IS NULL", 1,
       "error: Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in "
       "WHERE clause"},
      {"a = 1 AND b NOT IN (2)", 0,
       "error: Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in "
       "WHERE clause"},
      {"IF(a IN (1) THEN 1 ELSE 2)", 0, "(IF (IN a 1) 1 2)"},
      {"IFNULL(a IN (1) THEN 1 ELSE 2)", 0,
       "error: Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in "
       "WHERE clause"},
  });
}

TEST(ExpressionParser, FunctionsAndTheirMessages) {
  const char* in = " in WHERE clause";
  (void)in;
  RunScripts({
      {"LOWER(a) = upper(b)", kWhere, "(= (LOWER a) (UPPER b))"},
      {"lower a", kWhere,
       "error: Left parentheses expected after LOWER keyword, instead found 'a' in WHERE clause"},
      {"LOWER(a", kWhere,
       "error: Right parentheses expected after LOWER function argument, instead found '' in "
       "WHERE clause"},
      {"LENGTH(a || 'x')", kWhere, "(LENGTH (+ a 'x'))"},
      {"SUBSTRING(a FROM 1 FOR 2)", kWhere, "(SUBSTRING a 1 2)"},
      {"SUBSTRING(a FROM 2)", kWhere, "(SUBSTRING a 2)"},
      {"SUBSTRING(a, 1)", kWhere,
       "error: FROM keyword expected after first SUBSTRING function argument, instead found ',' "
       "in WHERE clause"},
      {"SUBSTRING(a FROM 1", kWhere,
       "error: Right parentheses expected after SUBSTRING function arguments, instead found '' "
       "in WHERE clause"},
      {"REPLACE('a' WITH 'b' IN c)", kWhere, "(REPLACE 'a' 'b' c)"},
      {"REPLACE('a' IN c)", kWhere,
       "error: WITH keyword expected after first REPLACE function argument, instead found 'IN' "
       "in WHERE clause"},
      {"REPLACE('a' WITH 'b' c)", kWhere,
       "error: IN keyword expected after second REPLACE function argument, instead found 'c' in "
       "WHERE clause"},
      {"POS('a' IN c)", kWhere, "(POS 'a' c)"},
      {"OCCURS('a' c)", kWhere,
       "error: IN keyword expected after first OCCURS function argument, instead found 'c' in "
       "WHERE clause"},
      {"TRIM(LEADING ' ' FROM a)", kWhere, "(TRIM_LEADING ' ' a)"},
      {"TRIM(both 'x' FROM a || b)", kWhere, "(TRIM_BOTH 'x' (+ a b))"},
      {"TRIM(a)", kWhere,
       "error: LEADING, TRAILING, or BOTH keyword expected after TRIM keyword, instead found "
       "'a' in WHERE clause"},
      {"TRIM(TRAILING 'x' a)", kWhere,
       "error: FROM keyword expected after second TRIM function argument, instead found 'a' in "
       "WHERE clause"},
      {"EXTRACT(DAYOFYEAR FROM d)", kWhere, "(EXTRACT_DAYOFYEAR d)"},
      {"EXTRACT(year FROM d)", kWhere, "(EXTRACT_YEAR d)"},
      {"EXTRACT(CENTURY FROM d)", kWhere,
       "error: YEAR, MONTH, WEEK, DAY, DAYOFWEEK, DAYOFYEAR, HOUR, MINUTE, or SECOND keyword "
       "expected after EXTRACT keyword, instead found 'CENTURY' in WHERE clause"},
      {"EXTRACT(DAY d)", kWhere,
       "error: FROM keyword expected after second EXTRACT function argument, instead found 'd' "
       "in WHERE clause"},
      {"IF(a = 1 THEN 2 ELSE 3)", kWhere, "(IF (= a 1) 2 3)"},
      {"IF(a = 1, 2, 3)", kWhere, "(IF (= a 1) 2 3)"},
      {"IF(a 1)", kWhere,
       "error: THEN keyword or comma expected after first IF function argument, instead found "
       "'1' in WHERE clause"},
      {"IF(a, 1 2)", kWhere,
       "error: ELSE keyword or comma expected after second IF function argument, instead found "
       "'2' in WHERE clause"},
      {"IFNULL(a THEN 1 ELSE 2)", kWhere, "(IFNULL a 1 2)"},
      {"IFNULL(a 1)", kWhere,
       "error: THEN keyword or comma expected after first IFNULL function argument, instead "
       "found '1' in WHERE clause"},
      {"COALESCE(a, b, 1)", kWhere, "(COALESCE a b 1)"},
      {"COALESCE(a b)", kWhere,
       "error: Expected right parentheses after COALESCE expression arguments, instead found "
       "'b' in WHERE clause"},
      {"ROUND(a TO 2)", kWhere, "(ROUND a 2)"},
      {"ABS(-a)", kWhere, "(ABS (- a))"},
      {"TEXTSEARCH('x y' IN a)", kWhere, "(TEXTSEARCH 'x y' a)"},
      {"TEXTOCCURS('x' a)", kWhere,
       "error: IN keyword expected after first TEXTOCCURS function argument, instead found 'a' "
       "in WHERE clause"},
      {"LASTAUTOINC(t) + IDENT_CURRENT('t')", kWhere, "(+ (LASTAUTOINC t) (IDENT_CURRENT 't'))"},
      {"CURRENT_DATE(", kWhere,
       "error: Right parentheses expected after first CURRENT_DATE function parentheses, "
       "instead found '' in WHERE clause"},
      {"CURRENT_TIMESTAMP(1)", kWhere,
       "error: Right parentheses expected after first CURRENT_TIMESTAMP function parentheses, "
       "instead found '1' in WHERE clause"},
  });
}

TEST(ExpressionParser, AggregatesNeedTheirFlag) {
  RunScripts({
      {"SUM(a)", kWhere, "error: Aggregate functions are not allowed in WHERE clause"},
      {"SUM(a) + AVG(b)", kParseAggregates, "(+ (SUM a) (AVG b))"},
      {"COUNT(*)", kParseAggregates,
       "error: * (all columns) symbol is not allowed in WHERE clause"},
      {"COUNT(*)", kParseAggregates | kParseAllColumns, "(COUNT *)"},
      {"SUM a", kParseAggregates,
       "error: Left parentheses expected after aggregate function 'SUM', instead found 'a' in "
       "WHERE clause"},
      {"max(a", kParseAggregates,
       "error: Right parentheses expected after aggregate MAX function argument, instead found "
       "'' in WHERE clause"},
  });
}

TEST(ExpressionParser, DataTypesOfCast) {
  RunScripts({
      {"CAST(a AS DECIMAL(10,2))", kWhere, "(CAST a AS 10 2 8/0)"},
      {"CAST(a AS DECIMAL(10))", kWhere, "(CAST a AS 10 8/0)"},
      {"CAST(a AS NUMERIC)", kWhere, "(CAST a AS 8/0)"},
      {"CAST(a AS FLOAT(5))", kWhere, "(CAST a AS 5 7/0)"},
      {"CAST(a AS VARCHAR(20))", kWhere, "(CAST a AS 20 1/0)"},
      {"CAST(a AS INT)", kWhere, "(CAST a AS 6/0)"},
      {"CAST(a AS AUTOINC)", kWhere, "(CAST a AS 6/29)"},
      {"CAST(a AS MONEY)", kWhere, "(CAST a AS 7/21)"},
      {"CAST(a AS BLOB)", kWhere, "(CAST a AS 3/23)"},
      {"CAST(a AS BLOB(1, 2))", kWhere, "(CAST a AS 1 2 3/0)"},
      {"CAST(a AS MEMO)", kWhere, "(CAST a AS 3/22)"},
      {"CAST(a AS GRAPHIC)", kWhere, "(CAST a AS 3/26)"},
      {"CAST(a AS bit)", kWhere, "(CAST a AS 4/0)"},
      {"CAST(a AS LARGEINT)", kWhere, "(CAST a AS 18/0)"},
      {"CAST(a AS VARBINARY(8))", kWhere, "(CAST a AS 8 9/0)"},
      {"CAST(a AS CHAR)", kWhere,
       "error: Left parentheses expected after CHAR data type, instead found ')' in WHERE "
       "clause"},
      {"CAST(a AS CHAR(5 6))", kWhere,
       "error: Right parentheses expected after CHAR data type arguments, instead found '6' in "
       "WHERE clause"},
      {"CAST(a AS FOO)", kWhere,
       "error: SQL data type keyword expected, instead found 'FOO' in WHERE clause"},
      {"CAST(a AS DECIMAL(10 2))", kWhere,
       "error: Comma expected after first DECIMAL argument, instead found '2' in WHERE clause"},
      {"CAST(a AS FLOAT(10 2))", kWhere,
       "error: Comma expected after first FLOAT argument, instead found '2' in WHERE clause"},
      {"CAST(a AS NUMERIC(10,2", kWhere,
       "error: Right parentheses expected after NUMERIC data type arguments, instead found '' "
       "in WHERE clause"},
      {"CAST(a AS BLOB(1))", kWhere,
       "error: Comma expected after first BLOB argument, instead found ')' in WHERE clause"},
      {"CAST(a AS BLOB(1, 2 3))", kWhere,
       "error: Right parentheses expected after BLOB data type arguments, instead found '3' in "
       "WHERE clause"},
      {"CAST(a INT)", kWhere,
       "error: AS keyword expected after first CAST function argument, instead found 'INT' in "
       "WHERE clause"},
      {"CAST(a AS INT", kWhere,
       "error: Right parentheses expected after CAST function arguments, instead found '' in "
       "WHERE clause"},
  });
}

TEST(ExpressionParser, OptionalDataTypeLeavesAnUnknownWordCurrent) {
  TExpressionParser parser;
  parser.ErrorCode = VUZODE_SQLPARSE;
  parser.SetText("NOTATYPE");
  parser.NextToken();
  TExpToken* node = parser.Pool().Take();
  EXPECT_FALSE(parser.ParseDataType(*node, 0, true));
  EXPECT_TRUE(parser.IsKeyword("NOTATYPE"));
  parser.SetText("CHAR(10 11)");
  parser.NextToken();
  EXPECT_THROW(parser.ParseDataType(*node, 0, false), EVUZODEEngineError);
  EXPECT_TRUE(node->Args.empty()) << "a failed data type leaves no argument behind";
  parser.Pool().Return(node);
}

TEST(ExpressionParser, NodeValuesTextsAndTypes) {
  TExpressionParser parser;
  parser.ErrorCode = VUZODE_SQLPARSE;
  parser.SetText("a < > 'it''s' AND b IS NOT NULL AND c = 2147483648 AND d = #65 AND e = ''");
  parser.NextToken();
  TExpToken* tree = parser.ParseOr(kWhere);
  // ((((a <> 'it''s') AND (b IS NOT NULL)) AND c = ..) AND d = ..) AND e = ..
  const TExpToken* e = tree->Right;
  const TExpToken* d = tree->Left->Right;
  const TExpToken* c = tree->Left->Left->Right;
  const TExpToken* b = tree->Left->Left->Left->Right;
  const TExpToken* a = tree->Left->Left->Left->Left;
  EXPECT_EQ(a->Text, "< >");
  EXPECT_EQ(a->ValueType, 4);
  EXPECT_EQ(a->Right->StringValue(), "it's");
  EXPECT_EQ(a->Right->ValueSize(), 5);
  EXPECT_EQ(b->Text, "IS NOT NULL");
  EXPECT_EQ(b->Right->Text, "NULL");
  EXPECT_EQ(b->Right->IsNull, 1);
  EXPECT_EQ(b->Right->ValueType, 0);
  EXPECT_EQ(c->Right->ValueType, 18);
  EXPECT_EQ(c->Right->LargeIntValue(), 2147483648LL);
  EXPECT_EQ(d->Right->StringValue(), "A");
  EXPECT_EQ(d->Right->Text, "#65");
  EXPECT_EQ(e->Right->IsNull, 1);
  EXPECT_EQ(e->Right->ValueType, 1);
  ReleaseExpTree(parser.Pool(), tree);
}

TEST(ExpressionParser, CurrentMomentConstantsHaveTheirTypes) {
  TExpressionParser parser;
  parser.ErrorCode = VUZODE_SQLPARSE;
  parser.SetText("CURRENT_DATE() + CURRENT_TIME + current_timestamp");
  parser.NextToken();
  TExpToken* tree = parser.ParseOr(0);
  const TExpToken* date = tree->Left->Left;
  EXPECT_EQ(date->ValueType, 2);
  EXPECT_GT(date->IntegerValue(), 738000);  // after 2021
  EXPECT_EQ(tree->Left->Right->ValueType, 10);
  EXPECT_LT(tree->Left->Right->IntegerValue(), 86'400'000);
  EXPECT_EQ(tree->Right->ValueType, 11);
  ReleaseExpTree(parser.Pool(), tree);
}

TEST(ExpressionParser, NumbersIgnoreTheProcessLocale) {
  // A locale whose decimal separator is a comma must not change how "1.5" reads.
  const char* locales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"};
  std::string previous = std::setlocale(LC_ALL, nullptr);
  for (const char* name : locales)
    if (std::setlocale(LC_ALL, name)) break;
  EXPECT_EQ(Parse("1.5 + 2e-1"), "(+ 1.5f 0.2f)");
  std::setlocale(LC_ALL, previous.c_str());
}

TEST(ExpressionParser, DeepNestingAndLongChainsFailCleanly) {
  std::string nested(300, '(');
  nested += "1";
  nested += std::string(300, ')');
  EXPECT_EQ(Parse(nested),
            "error: Expression nested too deeply (more than 200 levels) in WHERE clause");
  std::string functions;
  for (int i = 0; i < 300; ++i) functions += "LOWER(";
  functions += "a" + std::string(300, ')');
  EXPECT_EQ(Parse(functions),
            "error: Expression nested too deeply (more than 200 levels) in WHERE clause");
  std::string chain = "a";
  for (int i = 0; i < 2000; ++i) chain += " + a";
  EXPECT_EQ(Parse(chain),
            "error: Expression too complex (more than 1000 levels of operators) in WHERE clause");
  std::string wide = "a IN (1";
  for (int i = 0; i < 5000; ++i) wide += ", 1";
  EXPECT_EQ(Parse(wide + ")").substr(0, 8), "(IN a 1 ") << "a long list is flat, not deep";
}

TEST(ExpressionParser, MessagesAreCutAt255Characters) {
  std::string name(400, 'x');
  std::string detail = Parse("LOWER " + name);
  std::string expected = "error: Left parentheses expected after LOWER keyword, instead found '" +
                         name + "' in WHERE clause";
  EXPECT_EQ(detail, expected.substr(0, 7 + 255));
}

TEST(ExpressionParser, FailedParseReturnsEveryNodeToThePool) {
  TExpTokenStack pool;
  TExpressionParser parser(nullptr, pool);
  parser.ErrorCode = VUZODE_SQLPARSE;
  parser.SetText("a = 1 AND LOWER(b) IN (1, 2, 3) AND c BETWEEN 1 AND");
  parser.NextToken();
  EXPECT_THROW(parser.ParseOr(kWhere), EVUZODEEngineError);
  size_t pooled = pool.PooledCount();
  EXPECT_GE(pooled, 12u);
  parser.SetText("a = 1 AND LOWER(b) IN (1, 2, 3) AND c BETWEEN 1 AND");
  parser.NextToken();
  EXPECT_THROW(parser.ParseOr(kWhere), EVUZODEEngineError);
  EXPECT_EQ(pool.PooledCount(), pooled) << "the same failure takes and returns the same nodes";
}

// A filter: the whole text must be one expression.
struct TFilterCase {
  const char* Text;
  const char* Detail;  // empty when the text is a valid filter
};

TEST(ExpressionParser, FilterRefusesTextAfterTheExpressionAndEmptyText) {
  const TFilterCase cases[] = {
      {"a = 1", ""},
      {"a = 1 AND b IN (1, 2)", ""},
      {"a = 1 b = 2", "End of filter expression expected, instead found 'b' in filter expression"},
      {"a = b = c", "End of filter expression expected, instead found '=' in filter expression"},
      {"a = 1)", "End of filter expression expected, instead found ')' in filter expression"},
      {"a = 1 /* c */ ;",
       "End of filter expression expected, instead found ';' in filter expression"},
      {"", "filter expression is empty"},
      {"  /* nothing */ ", "filter expression is empty"},
      {"a LIKE", "Unknown or unexpected symbol '' found in filter expression"},
      {"SUM(a) > 1", "Aggregate functions are not allowed in filter expression"},
  };
  TExpressionParser parser;
  parser.ErrorTable = "kazu";
  for (const TFilterCase& test : cases) {
    try {
      TExpToken* tree = parser.ParseFilter(test.Text);
      EXPECT_STREQ(test.Detail, "") << test.Text;
      ReleaseExpTree(parser.Pool(), tree);
    } catch (const EVUZODEEngineError& error) {
      EXPECT_EQ(error.EngineCode(), VUZODE_INVALIDFILTER) << test.Text;
      EXPECT_EQ(error.ContextTable(), "kazu");
      EXPECT_EQ(error.ContextDetail(), test.Detail) << test.Text;
    }
  }
}

TEST(ExpressionParser, ZeroByteInsideTheTextIsRefusedNotTakenAsTheEnd) {
  TExpressionParser parser;
  std::string text("a = 1\0 OR b = 2", 15);
  try {
    TExpToken* tree = parser.ParseFilter(text);
    ReleaseExpTree(parser.Pool(), tree);
    FAIL() << "the text after the zero byte was ignored";
  } catch (const EVUZODEEngineError& error) {
    EXPECT_EQ(error.ContextDetail(), "Invalid character (code 0) found in filter expression");
  }
}

// An owner that records parameters and parses "SELECT x" as a sub-select.
class TRecordingOwner : public TExpressionOwner {
 public:
  void AddParameter(TExpToken* parameter) override { parameters.push_back(parameter); }
  void ParseSubSelect(TExpressionParser& parser, TExpToken* node) override {
    ++selects;
    node->Text = "SELECT";
    parser.NextToken();  // SELECT
    parser.NextToken();  // its one column
  }
  std::vector<TExpToken*> parameters;
  int selects = 0;
};

TEST(ExpressionParser, OwnerReceivesParametersInOrderAndParsesSubSelects) {
  TRecordingOwner owner;
  TExpressionParser parser(&owner);
  parser.ErrorCode = VUZODE_SQLPARSE;
  parser.SetText("a = ? AND b NOT IN (SELECT x) AND c = ?");
  parser.NextToken();
  TExpToken* tree = parser.ParseOr(kWhere);
  EXPECT_EQ(ExpTreeText(tree), "(AND (AND (= a ?) (NOT IN b SELECT)) (= c ?))");
  ASSERT_EQ(owner.parameters.size(), 2u);
  EXPECT_EQ(owner.parameters[0], tree->Left->Left->Right);
  EXPECT_EQ(owner.parameters[1], tree->Right->Right);
  EXPECT_EQ(owner.selects, 1);
  EXPECT_EQ(tree->Left->Right->OpCode, kOpNotInSelect);
  ReleaseExpTree(parser.Pool(), tree);
  parser.SetText("b IN (SELECT x y");
  parser.NextToken();
  try {
    parser.ParseOr(kWhere);
    FAIL();
  } catch (const EVUZODEEngineError& error) {
    EXPECT_EQ(error.ContextDetail(),
              "Expected right parentheses for IN operator, instead found 'y' in SQL statement");
  }
}

}  // namespace
