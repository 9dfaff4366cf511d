// Tests of CREATE TABLE, ALTER TABLE, DROP TABLE, CREATE INDEX and DROP INDEX: one table of
// scripts over a table t with four rows (their outcome, then t's columns and rows, then a
// follow-up that must run, and a sound table), and the column checks and table options the
// engine keeps.
#include <gtest/gtest.h>

#include "db/engine/table/restructure.h"
#include "db/engine/table/table_check.h"
#include "tests/db/sql/execution/definition_test_support.h"

namespace sql_test {
namespace {

constexpr const char* kRows = "1|x|10;1|z|40;2|y|20;3|NULL|30";

struct TDefinitionCase {
  const char* Setup;      // run first; must succeed
  const char* Statement;  // the statement under test
  const char* Outcome;    // "" it runs, "*" any error, else a part of "<code> <message>"
  const char* Columns;    // t's columns afterwards ("-": no t), or null
  const char* Rows;       // t's rows afterwards, sorted, or null
  const char* Then;       // run last; must succeed (shows what the statement changed)
};

const TDefinitionCase kCases[] = {
    // Creating and dropping tables.
    {"", "CREATE TABLE IF NOT EXISTS t (z INTEGER)", "", "a,b,c", kRows, ""},
    {"", "CREATE TABLE t (z INTEGER)", "13060", "a,b,c", kRows, ""},
    {"", "DROP TABLE IF EXISTS gone", "", "a,b,c", kRows, ""},
    {"", "DROP TABLE gone", "*", "a,b,c", kRows, ""},
    {"", "DROP TABLE t", "", "-", nullptr, "CREATE TABLE t (z INTEGER)"},
    {"CREATE TABLE MEMORY m (a INTEGER)", "DROP TABLE m", "*", nullptr, nullptr,
     "DROP TABLE MEMORY m"},
    {"", "CREATE TABLE n (a INTEGER, PRIMARY KEY (zz))",
     "Invalid field name 'zz' specified for index ''", nullptr, nullptr, ""},
    {"", "CREATE TABLE n (a CHAR(5), TEXT INDEX (zz))",
     "Invalid field name 'zz' specified for text index", nullptr, nullptr, ""},
    {"", "CREATE TABLE n (a CHAR(300))", "*", nullptr, nullptr, "CREATE TABLE n (a CHAR(250))"},
    {"", "CREATE TABLE n (a INTEGER DEFAULT 'abc')", "*", nullptr, nullptr, ""},
    // Columns added, dropped, redefined and moved keep every value of the others.
    {"", "ALTER TABLE t ADD COLUMN d INTEGER AT 0", "AT keyword", "a,b,c", kRows, ""},
    {"", "ALTER TABLE t ADD d SMALLINT AT 2", "", "a,d,b,c",
     "1|NULL|x|10;1|NULL|z|40;2|NULL|y|20;3|NULL|NULL|30", ""},
    {"", "ALTER TABLE t DROP b", "", "a,c", "1|10;1|40;2|20;3|30", ""},
    {"", "ALTER TABLE t DROP a", "", "b,c", "NULL|30;x|10;y|20;z|40", ""},
    {"", "ALTER TABLE t DROP COLUMN c, ADD e CHAR(3)", "", "a,b,e",
     "1|x|NULL;1|z|NULL;2|y|NULL;3|NULL|NULL", ""},
    {"", "ALTER TABLE t REDEFINE b CHAR(20)", "", "a,b,c", kRows, ""},
    {"", "ALTER TABLE t REDEFINE c cc", "", "a,b,cc", kRows, ""},
    {"", "ALTER TABLE t REDEFINE c CHAR(20) AT 1", "", "c,a,b", "10|1|x;20|2|y;30|3|NULL;40|1|z",
     ""},
    {"", "ALTER TABLE t DROP nope", "Column nope not found", "a,b,c", kRows, ""},
    {"", "ALTER TABLE t REDEFINE nope INTEGER", "Column nope not found", "a,b,c", kRows, ""},
    // A value that would be lost stops the statement and leaves the table as it was.
    {"", "ALTER TABLE t REDEFINE c CHAR(1)", "ALTER TABLE stopped", "a,b,c", kRows, ""},
    {"", "ALTER TABLE t ADD PRIMARY KEY (a)", "ALTER TABLE stopped", "a,b,c", kRows,
     "ALTER TABLE t ADD PRIMARY KEY (c)"},
    // Primary keys.
    {"ALTER TABLE t ADD PRIMARY KEY (c)", "ALTER TABLE t ADD PRIMARY KEY (b)",
     "Cannot REDEFINE the primary key using the ADD keyword", "a,b,c", kRows, ""},
    {"ALTER TABLE t ADD PRIMARY KEY (c)", "ALTER TABLE t REDEFINE PRIMARY KEY (b)", "", "a,b,c",
     kRows, "ALTER TABLE t DROP c"},
    {"ALTER TABLE t ADD PRIMARY KEY (c)", "ALTER TABLE t DROP c",
     "Column c cannot be dropped: it is used by the primary key", "a,b,c", kRows, ""},
    {"ALTER TABLE t ADD PRIMARY KEY (c)", "ALTER TABLE t DROP PRIMARY KEY, DROP c", "", "a,b",
     "1|x;1|z;2|y;3|NULL", "ALTER TABLE t ADD PRIMARY KEY (b)"},
    {"ALTER TABLE t ADD PRIMARY KEY (c)", "DROP INDEX t.primary", "", "a,b,c", kRows,
     "ALTER TABLE t ADD PRIMARY KEY (b)"},
    {"", "DROP INDEX IF EXISTS t.PRIMARY", "", "a,b,c", kRows, ""},
    {"", "DROP INDEX t.PRIMARY", "10022", "a,b,c", kRows, ""},
    {"", "ALTER TABLE t ADD PRIMARY KEY (zz)", "Invalid field name 'zz' specified for index ''",
     "a,b,c", kRows, ""},
    // Secondary and text indexes.
    {"CREATE INDEX ix ON t (b)", "CREATE INDEX ix ON t (c)", "*", "a,b,c", kRows, ""},
    {"CREATE INDEX ix ON t (b)", "CREATE INDEX IF NOT EXISTS ix ON t (c)", "", "a,b,c", kRows,
     "DROP INDEX t.ix"},
    {"", "CREATE INDEX ix ON t (nope)", "Invalid field name 'nope' specified for index 'ix'",
     "a,b,c", kRows, ""},
    {"", "CREATE UNIQUE INDEX ux ON t (a)", "*", "a,b,c", kRows, "CREATE UNIQUE INDEX ux ON t (c)"},
    {"CREATE INDEX ix ON t (b)", "DROP INDEX t.ix", "", "a,b,c", kRows, "CREATE INDEX ix ON t (c)"},
    {"", "DROP INDEX t.ix", "*", "a,b,c", kRows, ""},
    {"", "DROP INDEX IF EXISTS t.ix", "", "a,b,c", kRows, ""},
    {"CREATE INDEX ix ON t (b)", "ALTER TABLE t DROP b", "it is used by index", "a,b,c", kRows, ""},
    {"CREATE INDEX ix ON t (c)", "ALTER TABLE t DROP a", "", "b,c", "NULL|30;x|10;y|20;z|40",
     "DROP INDEX t.ix"},
    {"", "ALTER TABLE t ADD z INTEGER TEXT INDEX (b)", "", "a,b,c,z",
     "1|x|10|NULL;1|z|40|NULL;2|y|20|NULL;3|NULL|30|NULL", ""},
    {"", "ALTER TABLE t ADD z INTEGER TEXT INDEX (a)", "*", "a,b,c", kRows, ""},
    {"ALTER TABLE t ADD z INTEGER TEXT INDEX (b)", "ALTER TABLE t DROP b", "used by the text index",
     "a,b,c,z", nullptr, ""},
};

TEST(DefinitionStatements, ScriptsGiveTheirOutcomeAndLeaveTheTableSo) {
  for (const TDefinitionCase& c : kCases) {
    SCOPED_TRACE(std::string(c.Setup) + " | " + c.Statement);
    TSqlDatabase db;
    RunScript(db, "CREATE TABLE t (a INTEGER, b CHAR(10), c INTEGER)");
    db.Insert("t",
              {{"1", "x", "10"}, {"2", "y", "20"}, {"3", std::nullopt, "30"}, {"1", "z", "40"}});
    if (*c.Setup) RunScript(db, c.Setup);
    const std::string outcome = OutcomeOf(db, c.Statement);
    if (*c.Outcome == '\0') {
      EXPECT_EQ(outcome, "");
    } else if (std::string(c.Outcome) == "*") {
      EXPECT_NE(outcome, "");
    } else {
      EXPECT_NE(outcome.find(c.Outcome), std::string::npos) << outcome;
    }
    if (c.Columns) {
      EXPECT_EQ(ColumnsOf(db, "t"), c.Columns);
    }
    if (c.Rows) {
      EXPECT_EQ(SortedRowsOf(db, "t"), c.Rows);
    }
    if (auto cursor = OpenTable(db, "t")) {
      EXPECT_EQ(CheckTable(*cursor->Table()), std::vector<std::string>{});
    }
    if (*c.Then) {
      EXPECT_EQ(OutcomeOf(db, c.Then), "");
    }
  }
}

TEST(DefinitionStatements, IndexesFollowTheirColumnsThroughAlter) {
  TSqlDatabase db;
  RunScript(db, "CREATE TABLE t (a INTEGER, b CHAR(10), c INTEGER, PRIMARY KEY (c))");
  db.Insert("t", {{"1", "x", "40"}, {"2", "y", "30"}, {"3", "w", "20"}, {"4", "z", "10"}});
  RunScript(db, "CREATE INDEX byb ON t (b); ALTER TABLE t DROP a, ADD d INTEGER AT 1");
  EXPECT_EQ(ColumnsOf(db, "t"), "d,b,c");
  // d is empty: the order shows through b and c instead.
  auto order = [&](const std::string& index) {
    auto cursor = OpenTable(db, "t");
    cursor->SetIndexName(index);
    std::string seen;
    for (const std::string& row : TSqlDatabase::RowsOf(*cursor)) seen += row + ";";
    return seen;
  };
  EXPECT_EQ(order(""), "NULL|z|10;NULL|w|20;NULL|y|30;NULL|x|40;");
  EXPECT_EQ(order("BYB"), "NULL|w|20;NULL|x|40;NULL|y|30;NULL|z|10;");
}

TEST(DefinitionStatements, ColumnChecksHoldForLaterAppends) {
  TSqlDatabase db;
  RunScript(db,
            "CREATE TABLE v (id INTEGER NOT NULL, n INTEGER DEFAULT 5 MIN 1 MAX 9, "
            "s CHAR(5) DESCRIPTION 'short' CHARCASE UPPER, PRIMARY KEY (id))");
  {
    auto cursor = OpenTable(db, "v");
    const auto& f = cursor->FieldDescriptors();
    EXPECT_TRUE(f[0].Required);
    EXPECT_EQ(f[1].DefaultValue + "," + f[1].MinValue + "," + f[1].MaxValue, "5,1,9");
    EXPECT_EQ(f[2].Size + f[2].CharCase * 100, 5 + kCaseUpper * 100);
    EXPECT_EQ(f[2].Description, "short");
    EXPECT_EQ(cursor->ReadDataHeader().LanguageId, 0);  // without LANGUAGE: byte order
  }
  // Appends through a cursor; an ALTER before one replaces only what it gives.
  const struct {
    const char* Alter;
    std::optional<std::string> Id, N;
    uint16_t Code;
  } appends[] = {
      {nullptr, std::nullopt, "3", VUZODE_REQDERR},
      {nullptr, "1", "0", VUZODE_MINVALERR},
      {nullptr, "1", "10", VUZODE_MAXVALERR},
      {nullptr, "1", "9", 0},
      {nullptr, "1", "5", VUZODE_KEYVIOL},
      {"ALTER TABLE v REDEFINE n MAX 20", "3", "15", 0},
      {nullptr, "4", "0", VUZODE_MINVALERR},
      {nullptr, std::nullopt, "2", VUZODE_REQDERR},
  };
  for (const auto& a : appends) {
    EXPECT_EQ(a.Alter ? OutcomeOf(db, a.Alter) : "", "");
    uint16_t code = 0;
    try {
      db.Insert("v", {{a.Id, a.N, "abc"}});
    } catch (const EVUZODEEngineError& e) {
      code = e.EngineCode();
    }
    EXPECT_EQ(code, a.Code) << a.Id.value_or("NULL") << " " << a.N.value_or("NULL");
  }
  EXPECT_EQ(SortedRowsOf(db, "v"), "1|9|abc;3|15|abc");
}

TEST(DefinitionStatements, InsertTakesDefaultsAndEveryTextTakesItsColumnsCase) {
  TSqlDatabase db;
  RunScript(db,
            "CREATE TABLE w (id INTEGER NOT NULL, n INTEGER DEFAULT 42, "
            "s CHAR(8) DEFAULT 'anon' CHARCASE UPPER, l CHAR(8) CHARCASE LOWER, "
            "d DATE DEFAULT CURRENT_DATE, b BOOLEAN DEFAULT TRUE, "
            "r INTEGER NOT NULL DEFAULT 7)");
  // A column not named takes its default (a NOT NULL one too); NULL given stays NULL; the case
  // holds for INSERT VALUES, INSERT ... SELECT, UPDATE and the default itself.
  RunScript(db,
            "INSERT INTO w (id) VALUES (1); INSERT INTO w (id, n, s, l) VALUES (2, NULL, 'Bob', "
            "'MiXed'); INSERT INTO w (id, l) SELECT id + 10, s FROM w; UPDATE w SET s = 'zed' "
            "WHERE id = 1");
  EXPECT_EQ(db.Rows("SELECT id, n, s, l, b, r, d = CURRENT_DATE FROM w ORDER BY id"),
            (std::vector<std::string>{"1|42|ZED|NULL|1|7|1", "2|NULL|BOB|mixed|1|7|1",
                                      "11|42|ANON|anon|1|7|1", "12|42|ANON|bob|1|7|1"}));
}

TEST(DefinitionStatements, TableOptionsAreStoredAndKeptByAlter) {
  TSqlDatabase db;
  RunScript(db,
            "CREATE TABLE o (a INTEGER, b CHAR(30), TEXT INDEX (b) DESCRIPTION 'kept' "
            "BLOB BLOCK SIZE 1024 USER MAJOR VERSION 3 LAST AUTOINC 7)");
  for (const char* alter : {"", "ALTER TABLE o ADD z INTEGER"}) {
    SCOPED_TRACE(alter);
    if (*alter) RunScript(db, alter);
    auto cursor = OpenTable(db, "o");
    const TTableDefinition d = CurrentDefinition(*cursor->Table());
    EXPECT_EQ(d.Description, "kept");
    EXPECT_EQ(d.BlobBlockSize, 1024u);
    EXPECT_EQ(d.UserMajorVersion * 10 + d.UserMinorVersion, 30);
    EXPECT_EQ(d.LastAutoIncrement, 7);
    ASSERT_EQ(d.TextIndex.FieldCount, 1);
    EXPECT_EQ(d.Fields[d.TextIndex.FieldNumbers[0] - 1].Name, "b");
  }
}

}  // namespace
}  // namespace sql_test
