// Evaluate: scripts of an expression (constant or over preset columns) and the text of its
// value, grouped by behaviour; then short-circuiting, the pool discipline and column errors.
#include "db/sql/expressions/evaluate.h"

#include <gtest/gtest.h>

#include "expression_test_util.h"

namespace {

using exptest::Eval;

struct TScript {
  const char* Text;
  const char* Expected;
};

void RunScripts(std::initializer_list<TScript> scripts, exptest::TRow* row = nullptr) {
  for (const TScript& script : scripts) {
    exptest::TRow empty;
    EXPECT_EQ(Eval(script.Text, row ? *row : empty), script.Expected) << script.Text;
  }
}

TEST(Evaluate, ArithmeticTypesAndOverflow) {
  RunScripts({
      {"7 / 2", "3.5"},
      {"7 * 2 - 1", "13"},
      {"1 / 0", "NULL"},
      {"1.5 / 0", "NULL"},
      {"2147483647 + 1", "NULL"},  // integer overflow is NULL, never a wrapped number
      {"-2147483647 - 2", "NULL"},
      {"9223372036854775807 + 1", "NULL"},
      {"9223372036854775807 * 2", "NULL"},
      {"-(-9223372036854775807 - 1)", "NULL"},
      {"3000000000 + 1", "3000000001"},
      {"1 + NULL", "NULL"},
      {"'ab' + 'cd'", "'abcd'"},
      {"'ab' || NULL", "'ab'"},
      {"1.5 + 2", "3.5"},
  });
}

TEST(Evaluate, ColumnArithmeticKeepsItsTypes) {
  exptest::TRow row;
  row.Set("sm", "30000");
  row.Set("bc", "CAST(12.345 AS DECIMAL(10, 2))");
  row.Set("d", "CAST('2004-03-01' AS DATE)");
  row.Set("t", "CAST('23:59' AS TIME)");
  row.Set("ts", "CAST('2004-03-01 10:00' AS TIMESTAMP)");
  row.Set("w", "65535");
  row.Set("m", "CAST(2.5 AS MONEY)");
  RunScripts(
      {
          {"sm + sm", "60000"},  // smallint + smallint is an integer
          {"w * w", "NULL"},     // word * word is an integer: beyond 32 bits it is NULL
          {"-w", "error: Type mismatch between '-' operator and 'w' in filter expression"},
          {"bc", "12.35"},
          {"bc * 2", "24.70"},
          {"bc / 3", "4.12"},
          {"bc / 0", "NULL"},
          {"d - 1", "2004-02-29"},
          {"d + 365", "2005-03-01"},
          {"d - CAST('2004-01-01' AS DATE)", "60"},  // date - date in days
          {"t + 120000", "00:01"},                   // around the clock
          {"t - t", "0"},
          {"ts - d", "36000000"},
          {"ts + 1000", "2004-03-01 10:00:01"},
          {"m * 2", "5"},
          {"d + 4000000", "NULL"},
      },
      &row);
}

TEST(Evaluate, NullComparisons) {
  exptest::TRow row;  // every column NULL
  RunScripts(
      {
          {"NULL = NULL", "TRUE"},
          {"NULL <> 1", "TRUE"},
          {"i = NULL", "TRUE"},
          {"i <> NULL", "FALSE"},
          {"i = 1", "FALSE"},
          {"i <> 1", "TRUE"},
          {"i < 1", "FALSE"},
          {"i <= j", "TRUE"},  // two NULLs compare their zero-filled values
          {"i < j", "FALSE"},
          {"s < 'a'", "TRUE"},  // a NULL string is the empty text
          {"s = ''", "TRUE"},   // the empty literal is the NULL constant
          {"s NOT LIKE 'a%'", "TRUE"},
          {"s LIKE '%'", "FALSE"},
          {"i IN (1, 2)", "FALSE"},
          {"i NOT IN (1, 2)", "TRUE"},
          {"i BETWEEN 1 AND 2", "FALSE"},
          {"NOT (i = 1)", "TRUE"},
          {"i = 1 OR TRUE", "TRUE"},
      },
      &row);
}

TEST(Evaluate, MixedComparisons) {
  exptest::TRow row;
  row.Set("bc", "CAST(1.5 AS DECIMAL(10, 2))");
  row.Set("d", "CAST('2004-02-03' AS DATE)");
  row.Set("ts", "CAST('2004-02-03' AS TIMESTAMP)");
  row.Set("b", "TRUE");
  row.Set("s", "'abc'");
  RunScripts(
      {
          {"bc > 1", "TRUE"},
          {"bc < 2", "TRUE"},
          {"bc = 1.5", "TRUE"},
          {"d = ts", "TRUE"},  // a date is its midnight
          {"d = '2004-2-3'", "TRUE"},
          {"d < '2004-02-04'", "TRUE"},
          {"b", "TRUE"},
          {"s > 'abb'", "TRUE"},
          {"s = 'ABC'", "FALSE"},
          {"9007199254740993 > 9007199254740992", "TRUE"},
          {"1 BETWEEN 1 AND 1", "TRUE"},
          {"2 NOT BETWEEN 1 AND 3", "FALSE"},
          {"3 IN (1, 2, 3)", "TRUE"},
      },
      &row);
}

// The value text of a constant expression evaluated under the table locale languageId.
std::string EvalUnder(std::string_view text, uint16_t languageId) {
  exptest::TRow row;
  TExpToken* tree = exptest::ParseChecked(text, row);
  std::string result;
  try {
    TExpToken* value = Evaluate(*tree, nullptr, &row, 0, languageId);
    result = exptest::ValueString(*value);
    GlobalExpTokenStack().Return(value);
  } catch (...) {
    ReleaseExpTree(GlobalExpTokenStack(), tree);
    throw;
  }
  ReleaseExpTree(GlobalExpTokenStack(), tree);
  return result;
}

// Byte order and a table locale (German) match alike: a locale compares characters with its
// collation but never ignores case, and a differing first character is no match.
TEST(Evaluate, LikeWithAndWithoutALocale) {
  const TScript scripts[] = {
      {"'abc' LIKE 'a%c'", "TRUE"},    {"'ac' LIKE 'a%c'", "TRUE"},
      {"'abd' LIKE 'a%c'", "FALSE"},   {"'abc' LIKE 'x%'", "FALSE"},
      {"'abc' LIKE 'ABC'", "FALSE"},  // case-sensitive
      {"'ABC' LIKE 'a%'", "FALSE"},    {"'aBc' LIKE '_B_'", "TRUE"},
      {"'abc' LIKE '%'", "TRUE"},      {"'abc' LIKE 'a_c'", "TRUE"},
      {"'abc' LIKE '_'", "FALSE"},     {"'aXbXc' LIKE '%b%c'", "TRUE"},
      {"'aXbXc' LIKE '%x%'", "FALSE"}, {"'abcabd' LIKE '%abd'", "TRUE"},
      {"'ab' LIKE 'a%%%b%'", "TRUE"},  {"'a%' LIKE 'a%'", "TRUE"},
      {"'abc' NOT LIKE 'b%'", "TRUE"}, {"'abc' NOT LIKE 'x%'", "TRUE"},
  };
  for (uint16_t language : {0, 1031}) {
    for (const TScript& script : scripts) {
      EXPECT_EQ(EvalUnder(script.Text, language), script.Expected)
          << script.Text << " language " << language;
    }
  }
}

// Division of BCD values rounds the exact half away from zero, whatever the signs, both in
// the ten-thousandths and when the result's scale is smaller.
TEST(Evaluate, BcdDivisionRoundsExactHalvesAwayFromZero) {
  RunScripts({
      {"CAST(0.0003 AS DECIMAL(10, 4)) / 2", "0.0002"},
      {"CAST(-0.0003 AS DECIMAL(10, 4)) / 2", "-0.0002"},
      {"CAST(0.0003 AS DECIMAL(10, 4)) / -2", "-0.0002"},
      {"CAST(-0.0003 AS DECIMAL(10, 4)) / CAST(-2 AS DECIMAL(10, 4))", "0.0002"},
      {"CAST(0.0005 AS DECIMAL(10, 4)) / 2", "0.0003"},
      {"CAST(0.0002 AS DECIMAL(10, 4)) / 3", "0.0001"},
      {"CAST(-0.0001 AS DECIMAL(10, 4)) / 3", "0.0000"},
      {"CAST(0.03 AS DECIMAL(10, 2)) / 2", "0.02"},
      {"CAST(-0.03 AS DECIMAL(10, 2)) / 2", "-0.02"},
      {"CAST(-0.01 AS DECIMAL(10, 2)) / 3", "0.00"},
  });
}

TEST(Evaluate, StringFunctions) {
  RunScripts({
      {"SUBSTRING('abc' FROM 0 FOR 2)", "'ab'"},
      {"SUBSTRING('abc' FROM 5)", "NULL"},
      {"SUBSTRING('abc' FROM 2)", "'bc'"},
      {"SUBSTRING('abc' FROM 2 FOR -1)", "NULL"},
      {"SUBSTRING('abc' FROM 3 FOR 100)", "'c'"},
      {"SUBSTRING('abc' FROM -2147483647 FOR 2147483647)", "'abc'"},
      {"UPPER('abc') + LOWER('DeF')", "'ABCdef'"},
      {"LENGTH('hello')", "5"},
      {"LENGTH('')", "NULL"},
      {"REPLACE('a' WITH 'bb' IN 'banana')", "'bbbnbbnbb'"},
      {"REPLACE('an' WITH '' IN 'banana')", "'ba'"},
      {"REPLACE('x' WITH 'x' IN 'xx')", "'xx'"},
      {"REPLACE('' WITH 'z' IN 'abc')", "'abc'"},  // an empty search changes nothing
      {"REPLACE('abc' WITH '' IN 'abc')", "NULL"},
      {"POS('na' IN 'banana')", "3"},
      {"POS('x' IN 'banana')", "0"},
      {"POS('' IN 'banana')", "0"},
      {"POS('a' IN '')", "0"},
      {"OCCURS('ana' IN 'banana')", "1"},  // non-overlapping
      {"OCCURS('a' IN 'banana')", "3"},
      {"OCCURS('' IN 'banana')", "0"},
      {"TRIM(BOTH 'x' FROM 'xxaxx')", "'a'"},
      {"TRIM(LEADING 'x' FROM 'xxaxx')", "'axx'"},
      {"TRIM(TRAILING 'x' FROM 'xxaxx')", "'xxa'"},
      {"TRIM(BOTH 'x' FROM 'xxx')", "NULL"},
  });
}

TEST(Evaluate, CastExtractRoundAbs) {
  RunScripts({
      {"CAST('abc' AS INTEGER)", "NULL"},
      {"CAST('42' AS INTEGER) + 1", "43"},
      {"CAST(70000 AS SMALLINT)", "NULL"},  // never the low 16 bits
      {"CAST(70000 AS WORD)", "NULL"},
      {"CAST(-1 AS WORD)", "NULL"},
      {"CAST(65535 AS WORD)", "65535"},
      {"CAST(1e300 AS INTEGER)", "NULL"},
      {"CAST(1e19 AS LARGEINT)", "NULL"},
      {"CAST(-2.9 AS INTEGER)", "-2"},
      {"CAST(1e15 AS DECIMAL(20, 2))", "NULL"},  // beyond 64-bit ten-thousandths
      {"CAST(123.456 AS DECIMAL(10, 2))", "123.46"},
      {"CAST('12:30 AM' AS TIME)", "00:30"},
      {"CAST('12:30 PM' AS TIME)", "12:30"},
      {"CAST('1:05 pm' AS TIME)", "13:05"},
      {"CAST('2004-02-30' AS DATE)", "NULL"},
      {"CAST('2004-2-3' AS DATE)", "2004-02-03"},
      {"CAST(1 AS BOOLEAN)", "TRUE"},
      {"CAST('false' AS BOOLEAN)", "FALSE"},
      {"CAST(12 AS CHAR(1))", "'1'"},
      {"CAST('2004-02-03 13:14:15.5' AS TIMESTAMP)", "2004-02-03 13:14:15.5"},
      {"EXTRACT(WEEK FROM '2004-01-01')", "1"},
      {"EXTRACT(WEEK FROM '2005-01-01')", "53"},
      {"EXTRACT(WEEK FROM '2008-12-29')", "1"},
      {"EXTRACT(DAYOFWEEK FROM '2004-01-04')", "7"},
      {"EXTRACT(DAYOFYEAR FROM '2004-12-31')", "366"},
      {"EXTRACT(YEAR FROM '13:45')", "1899"},
      {"EXTRACT(HOUR FROM '2004-01-01 13:45')", "13"},
      {"EXTRACT(MINUTE FROM '13:45:10')", "45"},
      {"EXTRACT(SECOND FROM '13:45:10')", "10"},
      {"EXTRACT(HOUR FROM '2004-01-01')", "0"},
      {"ROUND(2.5)", "3"},
      {"ROUND(-2.5)", "-3"},
      {"ROUND(0.0)", "0"},
      {"ROUND(1.2345 TO 2)", "1.23"},
      {"ROUND(1e300 TO 32)", "1e+300"},
      {"ROUND(CAST(2.345 AS DECIMAL(10, 4)) TO 2)", "2.3500"},
      {"ABS(-3)", "3"},
      {"ABS(-2147483647 - 1)", "NULL"},
      {"ABS(-1.5)", "1.5"},
      {"ABS(CAST(-2.5 AS DECIMAL(10, 1)))", "2.5"},
  });
}

TEST(Evaluate, ConditionalFunctions) {
  exptest::TRow row;
  row.Set("i", "5");
  RunScripts(
      {
          {"IF(i > 3 THEN 'big' ELSE 'small')", "'big'"},
          {"IF(j > 3 THEN 'big' ELSE 'small')", "'small'"},  // NULL condition is false
          {"IFNULL(j THEN 1 ELSE 2)", "1"},
          {"IFNULL(i THEN 1 ELSE 2)", "2"},
          {"COALESCE(j, NULL, i, 7)", "5"},
          {"COALESCE(j, NULL)", "NULL"},
          {"IF(TRUE THEN 1 ELSE 2.5)", "1"},
      },
      &row);
}

// AND and OR read their right operand first and skip the left one when it decides.
class TCountingRow : public exptest::TRow {
 public:
  void FetchColumn(const uint8_t* record, const TExpToken& column, TExpToken& value) override {
    ++fetches[column.ColumnName];
    TRow::FetchColumn(record, column, value);
  }
  std::map<std::string, int> fetches;
};

TEST(Evaluate, AndOrShortCircuitOnTheRight) {
  TCountingRow row;
  row.Set("i", "1");
  row.Set("j", "2");
  EXPECT_EQ(Eval("i = 1 AND j = 3", row), "FALSE");
  EXPECT_EQ(row.fetches["i"], 0);
  EXPECT_EQ(Eval("i = 5 OR j = 2", row), "TRUE");
  EXPECT_EQ(row.fetches["i"], 0);
  EXPECT_EQ(Eval("i = 1 AND j = 2", row), "TRUE");
  EXPECT_EQ(row.fetches["i"], 1);
}

TEST(Evaluate, WarmEvaluatorTakesNothingFromThePool) {
  exptest::TRow row;
  row.Set("i", "5");
  row.Set("s", "'abc'");
  TExpToken* tree =
      exptest::ParseChecked("(i > 3 AND UPPER(s) = 'ABC') OR SUBSTRING(s FROM 2) LIKE 'b%'", row);
  {
    TExpEvaluator evaluator(&row);
    EXPECT_TRUE(evaluator.Holds(*tree, nullptr));
    const size_t pooled = GlobalExpTokenStack().PooledCount();
    for (int i = 0; i < 100; ++i) EXPECT_TRUE(evaluator.Holds(*tree, nullptr));
    EXPECT_EQ(GlobalExpTokenStack().PooledCount(), pooled);
  }
  ReleaseExpTree(GlobalExpTokenStack(), tree);
}

TEST(Evaluate, ColumnWithoutFetchRaises) {
  exptest::TRow row;
  TExpToken* tree = exptest::ParseChecked("i + 1", row);
  try {
    TExpToken* value = Evaluate(*tree, nullptr, nullptr, 0, 0);
    GlobalExpTokenStack().Return(value);
    ADD_FAILURE() << "no error";
  } catch (const EVUZODEEngineError& error) {
    EXPECT_EQ(error.EngineCode(), VUZODE_SQLPARSE);
    EXPECT_EQ(error.ContextDetail(), "Internal error: Column 'i' specified illegally");
  }
  ReleaseExpTree(GlobalExpTokenStack(), tree);
}

}  // namespace
