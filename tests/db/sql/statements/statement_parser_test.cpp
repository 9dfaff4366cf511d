// The statement parser: every statement form and the structure it parses into (in the compact
// form of query_text.h), every message with its exact text, and the limits of the parse
// structures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/engine/errors/engine_error.h"
#include "db/sql/statements/query_statement.h"
#include "query_text.h"

namespace {

// The parsed statement, or "error: " and the detail; every error must be a parse error without
// a table context.
std::string Parse(const std::string& text) {
  TQueryStatement statement(nullptr);
  try {
    statement.Prepare(text);
    return StatementText(statement);
  } catch (const EVUZODEEngineError& error) {
    EXPECT_EQ(error.EngineCode(), VUZODE_SQLPARSE) << text;
    EXPECT_EQ(error.ContextTable(), "") << text;
    return "error: " + error.ContextDetail();
  }
}

struct TCase {
  const char* Text;
  const char* Expected;
};

void RunCases(const std::vector<TCase>& cases) {
  for (const TCase& c : cases) EXPECT_EQ(Parse(c.Text), c.Expected) << "text: " << c.Text;
}

TEST(StatementParser, SelectForms) {
  RunCases({
      {"SELECT * FROM kazu", "SELECT STAR cols=[*] from=[kazu]"},
      {"select all distinct a, t.b AS x, c y, d AS \"e f\", g AS h.i FROM t",
       "SELECT DISTINCT cols=[a, t.b=x, c=y, d=e f, g=i] from=[t]"},
      {"SELECT t.* FROM t", "SELECT cols=[t.*] from=[t]"},
      {"SELECT COUNT(*), SUM(a) s, AVG(t.b), a + 1, UPPER(n) FROM t GROUP BY a, t.b, 2 "
       "HAVING COUNT(*) > 1 ORDER BY 1 DESC, a ASC, t.b DESCENDING NOCASE TOP 10",
       "SELECT AVG EXPR cols=[COUNT:*=COUNT(*), SUM:a=s, AVG:t.b=AVG(t.b), {a + 1}=a + 1, "
       "{UPPER(n)}=UPPER(n)] from=[t] group=[a, t.b, 2] having=(> (COUNT *) 1) "
       "order=[1 DESC, a, t.b DESC] ORDERNOCASE top=10"},
      // An aggregate over an expression is an expression item; line breaks leave its name.
      {"SELECT SUM(a *\r\n b) FROM t", "SELECT EXPR cols=[{SUM(a * b)}=SUM(a * b)] from=[t]"},
      // A double-quoted word is a string here; the type checks may bind it as a column.
      {"SELECT \"a\" FROM t", "SELECT EXPR cols=[{\"a\"}=\"a\"] from=[t]"},
      {"SELECT a FROM t WHERE a IN (SELECT b FROM u WHERE c = ?) AND d = ?",
       "SELECT cols=[a] from=[t] where=(AND (IN a SELECT) (= d ?)) | "
       "SELECT SUB LIVE cols=[b] from=[u] where=(= c ?)"},
      {"SELECT * INTO res FROM t", "SELECT STAR cols=[*] target=res from=[t]"},
      {"SELECT * INTO MEMORY FROM t", "SELECT STAR MEMORY cols=[*] from=[t]"},
      {"SELECT * INTO MEMORY m2 FROM t", "SELECT STAR MEMORY cols=[*] target=m2 from=[t]"},
      {"SELECT * INTO db\\r FROM t", "SELECT STAR cols=[*] target=db\\r from=[t]"},
      {"SELECT a FROM t x, u AS y, MEMORY m, data\\kazu, \"c:\\data\\old.dat\" WITH LOCKS",
       "SELECT SEVERAL cols=[a] from=[t AS x, u AS y, MEMORY m, data\\kazu, c:\\data\\old] "
       "LOCKS"},
      {"SELECT * FROM a JOIN b ON a.x = b.x INNER JOIN c cc ON cc.y = b.y LEFT OUTER JOIN d ON "
       "d.z = a.z RIGHT JOIN e AS ee ON ee.w = 1 LEFT JOIN f ON f.v = ?",
       "SELECT STAR SEVERAL cols=[*] from=[a, b, c AS cc, d, e AS ee, f] joins=[INNER b ON (= "
       "a.x b.x), INNER cc ON (= cc.y b.y), LEFT d ON (= d.z a.z), RIGHT ee ON (= ee.w 1), LEFT "
       "f ON (= f.v ?)]"},
      // Open parentheses before tables close after the ON conditions.
      {"SELECT * FROM ((a JOIN b ON a.x = b.x) JOIN c ON c.y = b.y)",
       "SELECT STAR SEVERAL cols=[*] from=[a, b, c] joins=[INNER b ON (= a.x b.x), INNER c ON (= "
       "c.y b.y)]"},
      {"(SELECT a FROM t)", "SELECT PAREN cols=[a] from=[t]"},
      {"SELECT a FROM t UNION SELECT a FROM u UNION ALL (SELECT a FROM v) ORDER BY 1 TOP 3",
       "SELECT cols=[a] from=[t] order=[1] top=3 UNION | SELECT MEMBER LIVE cols=[a] from=[u] "
       "UNION ALL | SELECT MEMBER PAREN LIVE cols=[a] from=[v]"},
      {"(SELECT a FROM t) UNION SELECT a FROM u",
       "SELECT PAREN cols=[a] from=[t] UNION | SELECT MEMBER LIVE cols=[a] from=[u]"},
      {"SELECT a FROM t TOP 2 LANGUAGE 'ANSI Standard' ENCRYPTED WITH 'pw' NOJOINOPTIMIZE",
       "SELECT cols=[a] from=[t] top=2 language=0 password='pw' NOJOINOPTIMIZE"},
      {"SELECT a FROM t HAVING COUNT(*) > 1", "SELECT cols=[a] from=[t] having=(> (COUNT *) 1)"},
      // A table or column may bear a keyword's name where a name is expected.
      {"SELECT [from] FROM select", "SELECT cols=[from] from=[select]"},
  });
}

TEST(StatementParser, DataChangeForms) {
  RunCases({
      {"INSERT INTO t VALUES (1, 'x', ?, NULL)",
       "INSERT from=[t] columns=[*] values=[1, 'x', ?, NULL]"},
      {"INSERT INTO t (a, b) VALUES (1 + 2, -3)",
       "INSERT from=[t] columns=[a, b] values=[(+ 1 2), (- 3)]"},
      {"INSERT INTO MEMORY m x (a) SELECT b FROM u v",
       "INSERT MEMORY from=[MEMORY m AS x] columns=[a] INSERTSELECT | SELECT SUB LIVE cols=[b] "
       "from=[u AS v]"},
      {"INSERT INTO t (SELECT * FROM u) NOAUTOINC COMMIT INTERVAL 100 FLUSH",
       "INSERT from=[t] columns=[*] INSERTSELECT NOAUTOINC interval=100 FLUSH | "
       "SELECT SUB PAREN STAR LIVE cols=[*] from=[u]"},
      {"INSERT INTO t (a) (SELECT b FROM u) UNION SELECT c FROM v",
       "INSERT from=[t] columns=[a] INSERTSELECT | SELECT SUB PAREN LIVE cols=[b] from=[u] UNION "
       "| SELECT SUB MEMBER LIVE cols=[c] from=[v]"},
      {"UPDATE t SET a = 1, b = b + ? WHERE c IS NULL",
       "UPDATE from=[t] where=(= c NULL) columns=[a, b] values=[1, (+ b ?)]"},
      {"UPDATE t x SET a = y.b FROM t x JOIN u y ON x.k = y.k WHERE y.c > 0 NOAUTOINC COMMIT "
       "FLUSH NOJOINOPTIMIZE",
       "UPDATE SEVERAL from=[t AS x, u AS y] joins=[INNER y ON (= x.k y.k)] where=(> y.c 0) "
       "NOJOINOPTIMIZE columns=[a] values=[y.b] NOAUTOINC FLUSH"},
      {"UPDATE MEMORY m SET a = 1 FROM MEMORY m, u",
       "UPDATE SEVERAL MEMORY from=[MEMORY m, u] columns=[a] values=[1]"},
      {"DELETE FROM t", "DELETE from=[t]"},
      {"DELETE FROM t AS x JOIN u ON x.a = u.a, v WHERE v.b = x.b COMMIT INTERVAL 5 "
       "NOJOINOPTIMIZE",
       "DELETE SEVERAL from=[t AS x, u, v] joins=[INNER u ON (= x.a u.a)] where=(= v.b x.b) "
       "NOJOINOPTIMIZE interval=5"},
  });
}

TEST(StatementParser, DefinitionAndTransactionForms) {
  RunCases({
      {"CREATE TABLE t (a INTEGER, b CHAR(20) DESCRIPTION 'name' NOT NULL DEFAULT 'abc' MIN 'a' "
       "MAXIMUM 'z' CHARCASE UPPER, c DECIMAL(10,2) DEFAULT -5 MINIMUM +1.5 MAX 99, d DATE "
       "DEFAULT CURRENT_DATE, e BOOLEAN DEFAULT true, 'f g' BLOB(10, 2), PRIMARY KEY (a))",
       "CREATE TABLE target=t fields=[a type=6, b type=1(20) desc='name' NOTNULL default=abc "
       "min=a max=z case=UPPER, c type=8(10,2) default=-5 min=+1.5 max=99, d type=2 "
       "default=CURRENT_DATE, e type=4 default=TRUE, f g type=3(10,2)] indexes=[KEY (a)]"},
      {"CREATE TABLE IF NOT EXISTS MEMORY m (a AUTOINC, CONSTRAINT pk UNIQUE DESC NOCASE "
       "PRIMARY KEY (a, b) COMPRESS FULL)",
       "CREATE TABLE MEMORY IFNOTEXISTS target=m fields=[a type=6/29] indexes=[KEY UNIQUE DESC "
       "NOCASE compress=FULL (a, b)]"},
      {"CREATE TABLE d\\t (a INT, b MEMO TEXT INDEX (b) STOP WORDS 'the a  an' SPACE CHARS '-_' "
       "INCLUDE CHARS '#' + '@' DESCRIPTION 'tbl' BLOB BLOCK SIZE 1024 LANGUAGE 'ANSI Standard' "
       "SORT 'Default Order' ENCRYPTED WITH '' USER MINOR VERSION 3 USER MAJOR VERSION 2 LAST "
       "AUTOINC -7)",
       "CREATE TABLE target=d\\t language=0 sort=0 password='' fields=[a type=6, b type=3/22] "
       "text= (b) stop=[the, a, an] space=-_ include=#@ desc='tbl' blob=1024 major=2 minor=3 "
       "last=-7"},
      // Table options follow the last column or a ","; DESCRIPTION there is the table's.
      {"CREATE TABLE t (a INT, DESCRIPTION 'x')",
       "CREATE TABLE target=t fields=[a type=6] desc='x'"},
      {"CREATE TABLE t (a INT LAST AUTOINC 5)", "CREATE TABLE target=t fields=[a type=6] last=5"},
      {"CREATE UNIQUE DESC NOCASE INDEX IF NOT EXISTS ix ON MEMORY t (a, b) COMPRESS DUPBYTE",
       "CREATE INDEX MEMORY IFNOTEXISTS target=t indexes=[ix UNIQUE DESC NOCASE compress=DUPBYTE "
       "(a, b)]"},
      {"CREATE INDEX ix ON d\\t ([a b])", "CREATE INDEX target=d\\t indexes=[ix (a b)]"},
      {"CREATE ASCENDING INDEX ix ON t (a) COMPRESS TRAILBYTE",
       "CREATE INDEX target=t indexes=[ix compress=TRAILBYTE (a)]"},
      {"ALTER TABLE t ADD c INT AT 2 DESCRIPTION 'c' NOT NULL DEFAULT 0, ADD COLUMN d CHAR(5), "
       "REDEFINE e VARCHAR(9), REDEFINE f g, REDEFINE COLUMN h INT i SMALLINT CHARCASE LOWER, "
       "DROP j, DROP COLUMN k",
       "ALTER TABLE target=t fields=[c ADD type=6 at=2 desc='c' NOTNULL default=0, d ADD "
       "type=1(5), e REDEFINE type=1(9), f REDEFINE new=g, h REDEFINE new=i type=5 case=LOWER, "
       "j DROP, k DROP]"},
      {"ALTER TABLE MEMORY t ADD CONSTRAINT p PRIMARY KEY (a), REDEFINE UNIQUE PRIMARY KEY (b) "
       "COMPRESS NONE, DROP CONSTRAINT p PRIMARY KEY, DROP PRIMARY KEY DESCRIPTION 'new' "
       "NOBACKUP",
       "ALTER TABLE MEMORY target=t indexes=[KEY ADD (a), KEY REDEFINE UNIQUE (b), KEY DROP, KEY "
       "DROP] desc='new' NOBACKUP"},
      // A table option after REDEFINE's type is no new name for the column.
      {"ALTER TABLE t REDEFINE a VARCHAR(20) NOBACKUP",
       "ALTER TABLE target=t fields=[a REDEFINE type=1(20)] NOBACKUP"},
      {"DROP TABLE t", "DROP TABLE target=t"},
      {"DROP TABLE IF EXISTS MEMORY d\\t", "DROP TABLE MEMORY IFEXISTS target=d\\t"},
      {"DROP INDEX t.ix", "DROP INDEX target=t index=ix"},
      {"DROP INDEX IF EXISTS MEMORY \"c:\\d\\t\".ix",
       "DROP INDEX MEMORY IFEXISTS target=c:\\d\\t index=ix"},
      {"START TRANSACTION", "START TRANSACTION"},
      {"ROLLBACK WORK", "ROLLBACK"},
      {"COMMIT", "COMMIT"},
      {"COMMIT WORK FLUSH", "COMMIT FLUSH"},
      {"SELECT * FROM t;", "SELECT STAR cols=[*] from=[t]"},
  });
}

TEST(StatementParser, DispatchAndStatementEndMessages) {
  RunCases({
      {"(INSERT INTO t VALUES (1))", "error: SELECT keyword expected, instead found 'INSERT'"},
      {"CREATE VIEW v",
       "error: TABLE, INDEX, UNIQUE, ASC, ASCENDING, DESC, DESCENDING, or NOCASE keyword "
       "expected, instead found 'VIEW'"},
      {"ALTER INDEX x", "error: TABLE keyword expected, instead found 'INDEX'"},
      {"DROP VIEW v", "error: TABLE or INDEX keyword expected, instead found 'VIEW'"},
      {"START WORK", "error: TRANSACTION keyword expected, instead found 'WORK'"},
      {"MERGE INTO t",
       "error: SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER, or DROP keyword expected, instead "
       "found 'MERGE'"},
      {"",
       "error: SELECT, INSERT, UPDATE, DELETE, CREATE, ALTER, or DROP keyword expected, instead "
       "found ''"},
      {"SELECT a FROM t x y", "error: End of SELECT statement expected, instead found 'y'"},
      {"INSERT INTO t VALUES (1) 2", "error: End of INSERT statement expected, instead found '2'"},
      {"UPDATE t SET a = 1 b", "error: End of UPDATE statement expected, instead found 'b'"},
      {"DELETE FROM t x y", "error: End of DELETE statement expected, instead found 'y'"},
      {"CREATE TABLE t (a INT) x",
       "error: End of CREATE TABLE statement expected, instead found 'x'"},
      {"ALTER TABLE t DROP a x", "error: End of ALTER TABLE statement expected, instead found 'x'"},
      {"DROP TABLE t u", "error: End of DROP TABLE statement expected, instead found 'u'"},
      {"CREATE INDEX i ON t (a) x",
       "error: End of CREATE INDEX statement expected, instead found 'x'"},
      {"DROP INDEX t.i x", "error: End of DROP INDEX statement expected, instead found 'x'"},
      {"START TRANSACTION NOW",
       "error: End of START TRANSACTION statement expected, instead found 'NOW'"},
      {"ROLLBACK NOW", "error: End of ROLLBACK statement expected, instead found 'NOW'"},
      {"COMMIT NOW", "error: End of COMMIT statement expected, instead found 'NOW'"},
      // The expression stops before the second "=", which no clause can use.
      {"SELECT a FROM t WHERE a = b = c",
       "error: End of SELECT statement expected, instead found '='"},
  });
}

TEST(StatementParser, SelectMessages) {
  RunCases({
      {"SELECT a AS 1 FROM t",
       "error: Symbol or string expected after AS keyword, instead found '1'"},
      {"SELECT a AS b.+ FROM t",
       "error: Symbol or string expected after table correlation name, instead found '+'"},
      {"SELECT FROM t", "error: Source column expression is empty"},
      {"SELECT a, FROM t", "error: Source column expression is empty"},
      {"SELECT SUM(MAX(a)) FROM t", "error: Aggregate functions cannot be nested"},
      {"SELECT SUM(a) + 1 FROM t", "error: Aggregate functions cannot be used within expressions"},
      {"SELECT a FROM t WHERE a IN (SELECT b INTO r FROM u)",
       "error: The INTO clause can only be used with the master query"},
      {"INSERT INTO t SELECT b INTO r FROM u",
       "error: The INTO clause can only be used with the master query"},
      {"SELECT a FROM t UNION SELECT b INTO r FROM u",
       "error: The INTO clause can only be used with the master query"},
      {"SELECT a INTO 5 FROM t",
       "error: Result table name expected in INTO clause, instead found '5'"},
      {"SELECT a WHERE b = 1", "error: FROM keyword expected, instead found 'b'"},
      // TOP belongs after ORDER BY: after SELECT it is a column named TOP.
      {"SELECT TOP 5 a FROM t", "error: FROM keyword expected, instead found '5'"},
      {"SELECT a FROM 5", "error: Table name expected after FROM keyword, instead found '5'"},
      {"SELECT a FROM t, T", "error: Duplicate table correlation name 'T' found in source tables"},
      {"SELECT a FROM t x JOIN u x ON x.a = 1",
       "error: Duplicate table correlation name 'x' found in source tables"},
      {"SELECT a FROM t JOIN 5",
       "error: Table name expected after JOIN keyword, instead found '5'"},
      {"SELECT a FROM t JOIN u WHERE a = 1",
       "error: ON keyword expected in JOIN clause, instead found 'WHERE'"},
      {"SELECT a FROM t INNER u",
       "error: JOIN keyword expected after INNER keyword, instead found 'u'"},
      {"SELECT a FROM t LEFT OUTER u",
       "error: JOIN keyword expected after LEFT or OUTER keyword, instead found 'u'"},
      {"SELECT a FROM t RIGHT u",
       "error: JOIN keyword expected after RIGHT or OUTER keyword, instead found 'u'"},
      {"SELECT a FROM t FULL OUTER JOIN u ON t.a = u.a",
       "error: Full outer joins are currently not supported in SQL SELECT statements"},
      {"SELECT a FROM (t JOIN u ON t.a = u.a", "error: Mismatched join parentheses"},
      {"SELECT a FROM (t), u", "error: Mismatched join parentheses"},
      {"SELECT a FROM t WHERE", "error: WHERE clause is empty"},
      {"SELECT a FROM t WHERE b = 'abc", "error: Missing single quote after 'abc' in WHERE clause"},
      {"SELECT a FROM t GROUP a",
       "error: BY keyword expected after GROUP keyword, instead found 'a'"},
      {"SELECT a FROM t GROUP BY 0",
       "error: Column name or column number expected in GROUP BY clause, instead found '0'"},
      {"SELECT a FROM t GROUP BY t.+",
       "error: Column name or column number expected in GROUP BY clause, instead found '+'"},
      {"SELECT a FROM t HAVING SUM(*) > 1",
       "error: * (all columns) symbol is not allowed in HAVING clause"},
      {"SELECT a FROM t HAVING COUNT(t.*) > 1",
       "error: * (all columns) symbol is not allowed in HAVING clause"},
      {"SELECT a FROM t HAVING COUNT(*) + * > 1",
       "error: * (all columns) symbol is not allowed in HAVING clause"},
      {"SELECT a FROM t WHERE COUNT(*) > 1",
       "error: Aggregate functions are not allowed in WHERE clause"},
      {"SELECT a FROM t ORDER a",
       "error: BY keyword expected after ORDER keyword, instead found 'a'"},
      {"SELECT a FROM t ORDER BY 40000",
       "error: Column name or column number expected in ORDER BY clause, instead found '40000'"},
      {"SELECT a FROM t TOP x",
       "error: Integer value expected after TOP keyword, instead found 'x'"},
      {"SELECT a FROM t WITH x",
       "error: LOCKS keyword expected after WITH keyword, instead found 'x'"},
      {"SELECT a FROM t LANGUAGE 'Klingon'",
       "error: Invalid language constant 'Klingon' specified after LANGUAGE keyword"},
      {"SELECT a FROM t LANGUAGE 'ANSI Standard' SORT 'Bogus'",
       "error: Invalid sort constant 'Bogus' specified after SORT keyword"},
      {"SELECT a FROM t ENCRYPTED 'x'",
       "error: WITH keyword expected after ENCRYPTED keyword, instead found 'x'"},
      {"SELECT a FROM t ENCRYPTED WITH x",
       "error: Password expected after ENCRYPTED WITH keywords, instead found 'x'"},
      {"(SELECT a FROM t UNION SELECT a FROM u)",
       "error: Right parentheses expected after SELECT statement, instead found 'UNION'"},
      {"SELECT a FROM t ORDER BY a UNION SELECT a FROM u",
       "error: You cannot use an ORDER BY clause within a UNIONed query"},
      {"SELECT a FROM t UNION DELETE FROM u",
       "error: SELECT keyword expected, instead found 'DELETE'"},
      {"SELECT a = ? FROM t", "error: Parameters are not allowed in source column expression"},
      {"SELECT a FROM t JOIN u ON a IN (SELECT b FROM v)",
       "error: Sub-select queries are not allowed in JOIN clause"},
  });
}

TEST(StatementParser, DataChangeMessages) {
  RunCases({
      {"INSERT t VALUES (1)", "error: INTO keyword expected, instead found 't'"},
      {"INSERT INTO 5 VALUES (1)",
       "error: Table name expected after INTO keyword, instead found '5'"},
      {"INSERT INTO MEMORY (a) VALUES (1)",
       "error: Table name expected after INTO clause, instead found '('"},
      {"INSERT INTO t (a b) VALUES (1)",
       "error: Right parentheses expected after list of table columns, instead found 'b'"},
      {"INSERT INTO t VALUES 1",
       "error: Left parentheses expected after VALUES keyword, instead found '1'"},
      {"INSERT INTO t VALUES (1 2)",
       "error: Right parentheses expected after list of values, instead found '2'"},
      {"INSERT INTO t (a) VALUE (1)",
       "error: VALUES or SELECT  keyword expected, instead found 'VALUE'"},
      {"INSERT INTO t (a LIKE 'x') VALUES (1)",
       "error: Extended predicate operators (LIKE, BETWEEN, IN, IS NULL) are not allowed in table "
       "column"},
      {"INSERT INTO t VALUES (SUM(a))",
       "error: Aggregate functions are not allowed in value expression"},
      // COMMIT after the source SELECT is the INSERT's commit clause, not a correlation name.
      {"INSERT INTO t SELECT b FROM u commit",
       "error: INTERVAL and/or FLUSH keywords expected after COMMIT keyword, instead found ''"},
      {"DELETE FROM t COMMIT INTERVAL x",
       "error: Integer value expected after INTERVAL keyword, instead found 'x'"},
      {"UPDATE 5 SET a = 1", "error: Table name expected, instead found '5'"},
      {"UPDATE t x y", "error: SET keyword expected, instead found 'y'"},
      {"UPDATE t SET a 1",
       "error: Assignment (=) operator expected after column name, instead found '1'"},
      {"UPDATE t SET a = 1 FROM 5",
       "error: Table name expected after FROM keyword, instead found '5'"},
      {"UPDATE t SET a = 1 FROM u",
       "error: The first source table specified in FROM clause must match the table being updated "
       "in the UPDATE statement"},
      {"UPDATE t x SET a = 1 FROM t y",
       "error: The first source table specified in FROM clause must match the table being updated "
       "in the UPDATE statement"},
      {"UPDATE t SET a = 1 FROM MEMORY t",
       "error: The first source table specified in FROM clause must match the table being updated "
       "in the UPDATE statement"},
      {"DELETE t", "error: FROM keyword expected, instead found 't'"},
      {"DELETE FROM", "error: Table name expected after FROM keyword, instead found ''"},
  });
}

TEST(StatementParser, DefinitionMessages) {
  RunCases({
      {"CREATE TABLE t (a INT NOT 5)",
       "error: NULL keyword expected after NOT keyword, instead found '5'"},
      {"CREATE TABLE t (a INT DEFAULT x)",
       "error: Default expression expected after DEFAULT keyword, instead found 'x'"},
      {"CREATE TABLE t (a INT DEFAULT - x)",
       "error: Default expression expected after DEFAULT keyword, instead found 'x'"},
      // DEFAULT takes a constant, not an expression.
      {"CREATE TABLE t (a INT DEFAULT 1+1)",
       "error: Right parentheses expected after CREATE TABLE statement, instead found '+'"},
      {"CREATE TABLE t (a INT MIN x)",
       "error: Minimum expression expected after MIN or MINIMUM keyword, instead found 'x'"},
      {"CREATE TABLE t (a INT MAX x)",
       "error: Maximum expression expected after MAX or MAXIMUM keyword, instead found 'x'"},
      {"CREATE TABLE t (a CHAR(5) CHARCASE x)",
       "error: UPPER, LOWER, or NOCHANGE keyword expected after CHARCASE keyword, instead found "
       "'x'"},
      {"CREATE TABLE t (a INT, UNIQUE KEY (a))",
       "error: PRIMARY keyword expected, instead found 'KEY'"},
      {"CREATE TABLE t (a INT, PRIMARY (a))",
       "error: KEY keyword expected after PRIMARY keyword, instead found '('"},
      {"CREATE TABLE t (a INT, PRIMARY KEY a)",
       "error: Left parentheses expected, instead found 'a'"},
      {"CREATE TABLE t (a INT, PRIMARY KEY (a b))",
       "error: Right parentheses expected, instead found 'b'"},
      {"CREATE TABLE t (a INT, PRIMARY KEY (t.a))",
       "error: Invalid use of table correlation name 't' specified in indexed columns"},
      {"CREATE TABLE t (a INT, PRIMARY KEY (a) COMPRESS x)",
       "error: FULL, DUPBYTE, TRAILBYTE, or NONE keyword expected after COMPRESS keyword, instead "
       "found 'x'"},
      {"CREATE TABLE t (a INT TEXT (a))",
       "error: INDEX keyword expected after TEXT keyword, instead found '('"},
      {"CREATE TABLE t (a INT TEXT INDEX a)",
       "error: Left parentheses expected after TEXTINDEX keyword, instead found 'a'"},
      {"CREATE TABLE t (a INT TEXT INDEX (a b))",
       "error: Right parentheses expected after TEXT INDEX clause, instead found 'b'"},
      {"CREATE TABLE t (a INT TEXT INDEX (a) STOP 'x')",
       "error: WORDS keyword expected after STOP keyword, instead found 'x'"},
      {"CREATE TABLE t (a INT TEXT INDEX (a) SPACE 'x')",
       "error: CHARS keyword expected after SPACE keyword, instead found 'x'"},
      {"CREATE TABLE t (a INT TEXT INDEX (a) INCLUDE 'x')",
       "error: CHARS keyword expected after INCLUDE keyword, instead found 'x'"},
      {"CREATE TABLE t (a INT TEXT INDEX (a) STOP WORDS x)",
       "error: Invalid column name 'x' or table correlation name '' specified in stop words"},
      {"CREATE TABLE t (a INT TEXT INDEX (a) SPACE CHARS 5)",
       "error: String expression expected in character set, instead found '5'"},
      {"CREATE TABLE t (a INT, BLOB SIZE 5)",
       "error: BLOCK keyword expected after BLOB keyword, instead found 'SIZE'"},
      {"CREATE TABLE t (a INT, BLOB BLOCK 5)",
       "error: SIZE keyword expected after BLOCK keyword, instead found '5'"},
      {"CREATE TABLE t (a INT, BLOB BLOCK SIZE x)",
       "error: Integer value expected after SIZE keyword, instead found 'x'"},
      {"CREATE TABLE t (a INT, USER x)",
       "error: MAJOR or MINOR keyword expected after USER keyword, instead found 'x'"},
      {"CREATE TABLE t (a INT, USER MAJOR 1)",
       "error: VERSION keyword expected after MAJOR keyword, instead found '1'"},
      {"CREATE TABLE t (a INT, USER MINOR 1)",
       "error: VERSION keyword expected after MINOR keyword, instead found '1'"},
      {"CREATE TABLE t (a INT, USER MINOR VERSION x)",
       "error: Integer value expected after VERSION keyword, instead found 'x'"},
      {"CREATE TABLE t (a INT, USER MAJOR VERSION 1 USER MAJOR VERSION 2)",
       "error: MAJOR or MINOR keyword expected after USER keyword, instead found 'MAJOR'"},
      {"CREATE TABLE t (a INT LAST 5)",
       "error: AUTOINC keyword expected after LAST keyword, instead found '5'"},
      {"CREATE TABLE t (a INT LAST AUTOINC 1.5)",
       "error: Integer constant expected after AUTOINC keyword, instead found '1.5'"},
      {"CREATE TABLE t (a INT LAST AUTOINC)", "error: Next auto-increment number is empty"},
      {"CREATE TABLE t (a INT LAST AUTOINC ?)",
       "error: Parameters are not allowed in next auto-increment number"},
      {"CREATE TABLE IF EXISTS t (a INT)",
       "error: NOT keyword expected after IF keyword, instead found 'EXISTS'"},
      {"CREATE TABLE IF NOT t (a INT)",
       "error: EXISTS keyword expected after NOT keyword, instead found 't'"},
      {"CREATE TABLE (a INT)",
       "error: Table name expected after CREATE TABLE keywords, instead found '('"},
      {"CREATE TABLE t a INT",
       "error: Left parentheses expected before list of table columns, instead found 'a'"},
      // Table options keep their order: DESCRIPTION before TEXT INDEX ends the options.
      {"CREATE TABLE t (a INT, DESCRIPTION 'x' TEXT INDEX (a))",
       "error: Right parentheses expected after CREATE TABLE statement, instead found 'TEXT'"},
      {"CREATE TABLE t (a WHATEVER)",
       "error: SQL data type keyword expected, instead found 'WHATEVER' in table column"},
      {"CREATE TABLE t (1 INT)", "error: Column name expected, instead found '1'"},
      {"CREATE TABLE t (a INT DESCRIPTION x)",
       "error: Description expected after DESCRIPTION keyword, instead found 'x'"},
      {"CREATE TABLE t (a INT, CONSTRAINT 5 PRIMARY KEY (a))",
       "error: Constraint name expected after CONSTRAINT keyword, instead found '5'"},
      {"CREATE UNIQUE TABLE t", "error: INDEX keyword expected, instead found 'TABLE'"},
      {"CREATE INDEX (a)", "error: Index name expected after INDEX keyword, instead found '('"},
      {"CREATE INDEX ix t (a)", "error: ON keyword expected after index name, instead found 't'"},
      {"CREATE INDEX ix ON (a)", "error: Table name expected after ON keyword, instead found '('"},
      {"CREATE INDEX ix ON t (?)", "error: Parameters are not allowed in index column"},
      {"ALTER TABLE t ADD a INT AT x",
       "error: Integer value expected after AT keyword, instead found 'x'"},
      {"ALTER TABLE t RENAME a",
       "error: ADD, DROP, or REDEFINE keyword expected, instead found 'RENAME'"},
      {"ALTER TABLE 5", "error: Table name expected after ALTER TABLE keywords, instead found '5'"},
      {"ALTER TABLE t ADD a",
       "error: SQL data type keyword expected, instead found '' in table column"},
      {"DROP TABLE IF t", "error: EXISTS keyword expected after IF keyword, instead found 't'"},
      {"DROP TABLE 5", "error: Table name expected after DROP TABLE keywords, instead found '5'"},
      {"DROP INDEX", "error: Index name expression is empty"},
      {"DROP INDEX ix", "error: Table name expected after DROP INDEX keywords, instead found 'ix'"},
      {"DROP INDEX ?", "error: Parameters are not allowed in index name expression"},
  });
}

std::string Repeat(const std::string& piece, int count, const std::string& separator = "") {
  std::string out;
  for (int i = 0; i < count; ++i) out += (i ? separator : "") + piece;
  return out;
}

std::string Numbered(const std::string& prefix, int count, const std::string& separator) {
  std::string out;
  for (int i = 1; i <= count; ++i) out += (i > 1 ? separator : "") + prefix + std::to_string(i);
  return out;
}

// Each limit accepts its largest value and refuses the next with a message naming it.
TEST(StatementParser, LimitsAreCheckedWithAClearMessage) {
  const std::string name255(255, 'n'), name256(256, 'n');
  const std::string start = "error: ";
  struct TLimit {
    std::string Largest, Beyond, Message;
  };
  const std::vector<TLimit> limits = {
      {"SELECT a FROM " + name255, "SELECT a FROM " + name256,
       "Table name longer than 255 characters: '" + std::string(32, 'n') + "...'"},
      {"SELECT a FROM d\\" + std::string(253, 'n'), "SELECT a FROM d\\" + std::string(254, 'n'),
       "Table name longer than 255 characters: 'd\\" + std::string(30, 'n') + "...'"},
      {"SELECT a AS " + name255 + " FROM t", "SELECT a AS " + name256 + " FROM t",
       "Column name longer than 255 characters: '" + std::string(32, 'n') + "...'"},
      {"SELECT " + name255 + " FROM t", "SELECT " + name256 + " FROM t",
       "Name longer than 255 characters: '" + std::string(32, 'n') +
           "...' in source column expression"},
      {"SELECT a FROM t x, u " + name255, "SELECT a FROM t x, u " + name256,
       "Table correlation name longer than 255 characters: '" + std::string(32, 'n') + "...'"},
      {"CREATE TABLE t (a INT DEFAULT '" + name255 + "')",
       "CREATE TABLE t (a INT DEFAULT '" + name256 + "')",
       "Default value longer than 255 characters: '" + std::string(32, 'n') + "...'"},
      {"SELECT " + Repeat("a", 1024, ", ") + " FROM t",
       "SELECT " + Repeat("a", 1025, ", ") + " FROM t",
       "Too many columns in the select list (more than 1024)"},
      {"SELECT a FROM t ORDER BY " + Repeat("a", 1024, ", "),
       "SELECT a FROM t ORDER BY " + Repeat("a", 1025, ", "),
       "Too many items in the ORDER BY clause (more than 1024)"},
      {"INSERT INTO t VALUES (" + Repeat("1", 1024, ", ") + ")",
       "INSERT INTO t VALUES (" + Repeat("1", 1025, ", ") + ")",
       "Too many values (more than 1024)"},
      {"CREATE TABLE t (" + Numbered("c", 1024, " INT, ") + " INT)",
       "CREATE TABLE t (" + Numbered("c", 1025, " INT, ") + " INT)",
       "Too many column definitions (more than 1024)"},
      {"SELECT a FROM " + Numbered("t", 255, ", "), "SELECT a FROM " + Numbered("t", 256, ", "),
       "Too many source tables in one query (more than 255)"},
      {"SELECT a FROM t" + Repeat(" WHERE a IN (SELECT a FROM t", 32) + Repeat(")", 32),
       "SELECT a FROM t" + Repeat(" WHERE a IN (SELECT a FROM t", 33) + Repeat(")", 33),
       "Sub-select queries nested too deeply (more than 32 levels)"},
      {"SELECT a FROM t" + Repeat(" UNION SELECT a FROM t", 255),
       "SELECT a FROM t" + Repeat(" UNION SELECT a FROM t", 256),
       "Too many queries in one statement (more than 256 SELECTs, UNION members and "
       "sub-selects)"},
  };
  for (const TLimit& limit : limits) {
    EXPECT_EQ(Parse(limit.Largest).rfind(start, 0), std::string::npos)
        << Parse(limit.Largest).substr(0, 200);
    EXPECT_EQ(Parse(limit.Beyond), start + limit.Message);
  }
  // Parentheses before tables are counted, not recursed into.
  EXPECT_EQ(Parse("SELECT a FROM " + std::string(200000, '(') + "t"),
            "error: Mismatched join parentheses");
  EXPECT_EQ(Parse("SELECT " + std::string(5000, '(') + "a" + std::string(5000, ')') + " FROM t"),
            "error: Expression nested too deeply (more than 200 levels) in source column "
            "expression");
}

}  // namespace
