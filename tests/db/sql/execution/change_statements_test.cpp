// INSERT, UPDATE, DELETE and the transaction statements: a script of statements per case with
// the rows affected or the error of its last statement and the table's rows afterwards; the
// values a column cannot hold; commit intervals that commit in steps and report them when the
// statement fails; what another session sees before and after COMMIT and ROLLBACK (rows,
// index lookups and BLOB values).
#include <gtest/gtest.h>

#include <algorithm>

#include "db/sql/statements/query_statement.h"
#include "tests/db/sql/execution/sql_test_support.h"

namespace sql_test {
namespace {

using Rows = std::vector<std::string>;

// t: id integer (primary key), a integer (indexed), s string(8), n smallint, f float.
// u: k integer (primary key), name string(8).
void CreateTables(TSqlDatabase& db) {
  TTableDefinition t;
  t.Fields = {
      engine_test::MakeField(1, "id", kFieldInteger), engine_test::MakeField(2, "a", kFieldInteger),
      engine_test::MakeField(3, "s", kFieldString, 8),
      engine_test::MakeField(4, "n", kFieldSmallInt), engine_test::MakeField(5, "f", kFieldFloat)};
  t.Indexes = {engine_test::MakeIndexDefinition("", {1}, true),
               engine_test::MakeIndexDefinition("BYA", {2}, false)};
  TTableDefinition u;
  u.Fields = {engine_test::MakeField(1, "k", kFieldInteger),
              engine_test::MakeField(2, "name", kFieldString, 8)};
  u.Indexes = {engine_test::MakeIndexDefinition("", {1}, true)};
  for (auto [name, definition] : {std::pair{"t", &t}, std::pair{"u", &u}}) {
    TDataCursor cursor(db.Directory());
    cursor.SetTableName(name);
    cursor.SetExclusive(true);
    cursor.CreateTable(*definition, false);
  }
  db.Insert("t", {{"1", "1", "one", "10", "0.5"},
                  {"2", "2", "two", "20", std::nullopt},
                  {"3", "2", "three", std::nullopt, "1.5"},
                  {"4", std::nullopt, std::nullopt, "40", "2"}});
  db.Insert("u", {{"1", "uno"}, {"2", "dos"}, {"5", "cinco"}});
}

// Runs sql (a script) on database; the rows affected.
int64_t RunSql(TDataDirectory& database, const std::string& sql) {
  TQueryStatement statement(&database);
  statement.Prepare(sql);
  std::unique_ptr<TDataCursor> result(statement.Execute());
  return statement.RowsAffected();
}

// The rows of table as texts, by their first column.
Rows Contents(TDataDirectory& database, const std::string& table) {
  TDataCursor cursor(database);
  cursor.SetTableName(table);
  cursor.OpenCursor();
  Rows rows = TSqlDatabase::RowsOf(cursor);
  std::sort(rows.begin(), rows.end(), [](const std::string& x, const std::string& y) {
    return std::make_pair(std::stoll(x), x) < std::make_pair(std::stoll(y), y);
  });
  return rows;
}

const Rows kOriginal = {"1|1|one|10|0.5", "2|2|two|20|NULL", "3|2|three|NULL|1.5",
                        "4|NULL|NULL|40|2"};

struct TScript {
  const char* Sql;
  int64_t Affected;   // of the whole script, when it runs
  const char* Error;  // a part of the error detail, "*" any error, "" when the script runs
  Rows Table;         // t afterwards
};

TEST(ChangeStatements, ScriptsChangeTheRowsTheySay) {
  const TScript scripts[] = {
      {"INSERT INTO t VALUES (9, 5, 'nine', 90, 9.5)",
       1,
       "",
       {"1|1|one|10|0.5", "2|2|two|20|NULL", "3|2|three|NULL|1.5", "4|NULL|NULL|40|2",
        "9|5|nine|90|9.5"}},
      // Unnamed columns are NULL; a text longer than its column is cut.
      {"INSERT INTO t (s, id) VALUES ('abcdefghijk', 7)",
       1,
       "",
       {"1|1|one|10|0.5", "2|2|two|20|NULL", "3|2|three|NULL|1.5", "4|NULL|NULL|40|2",
        "7|NULL|abcdefgh|NULL|NULL"}},
      {"INSERT INTO t VALUES (9, 5)", 0, "The number of values must match", kOriginal},
      {"INSERT INTO t (id, zz) VALUES (9, 5)", 0, "Invalid column name 'zz'", kOriginal},
      {"INSERT INTO t (id, a) VALUES (9, 'x')", 0, "Type mismatch between column 'a' and constant",
       kOriginal},
      {"INSERT INTO t (id, a, s) SELECT k + 10, k, name FROM u WHERE k < 5",
       2,
       "",
       {"1|1|one|10|0.5", "2|2|two|20|NULL", "3|2|three|NULL|1.5", "4|NULL|NULL|40|2",
        "11|1|uno|NULL|NULL", "12|2|dos|NULL|NULL"}},
      // A source over the target reads none of the statement's own rows.
      {"INSERT INTO t (id, a) SELECT id + 100, a FROM t",
       4,
       "",
       {"1|1|one|10|0.5", "2|2|two|20|NULL", "3|2|three|NULL|1.5", "4|NULL|NULL|40|2",
        "101|1|NULL|NULL|NULL", "102|2|NULL|NULL|NULL", "103|2|NULL|NULL|NULL",
        "104|NULL|NULL|NULL|NULL"}},
      // A duplicate key part-way: the statement's own transaction leaves nothing.
      {"INSERT INTO t (id) SELECT 9 - k * 3 FROM u", 0, "*", kOriginal},
      // SET values see the old values; moving the walked key visits each row once.
      {"UPDATE t SET a = a + 10, n = n + 1 WHERE a >= 1",
       3,
       "",
       {"1|11|one|11|0.5", "2|12|two|21|NULL", "3|12|three|NULL|1.5", "4|NULL|NULL|40|2"}},
      {"UPDATE t SET id = id + 100 WHERE id >= 2",
       3,
       "",
       {"1|1|one|10|0.5", "102|2|two|20|NULL", "103|2|three|NULL|1.5", "104|NULL|NULL|40|2"}},
      {"UPDATE t SET s = NULL, f = a * 2 WHERE id = 2",
       1,
       "",
       {"1|1|one|10|0.5", "2|2|NULL|20|4", "3|2|three|NULL|1.5", "4|NULL|NULL|40|2"}},
      // A joined row per target row; a target row reached twice counts once.
      {"UPDATE t SET s = u.name FROM t JOIN u ON t.a = u.k",
       3,
       "",
       {"1|1|uno|10|0.5", "2|2|dos|20|NULL", "3|2|dos|NULL|1.5", "4|NULL|NULL|40|2"}},
      {"DELETE FROM t WHERE a = 2", 2, "", {"1|1|one|10|0.5", "4|NULL|NULL|40|2"}},
      {"DELETE FROM t x JOIN u y ON x.id = y.k WHERE y.name <> 'uno'",
       1,
       "",
       {"1|1|one|10|0.5", "3|2|three|NULL|1.5", "4|NULL|NULL|40|2"}},
      {"DELETE FROM t WHERE id > 99", 0, "", kOriginal},
      // Values the column cannot hold fail the statement and change nothing.
      {"UPDATE t SET n = 70000 WHERE id = 2", 0,
       "Type mismatch between column n and constant value 70000 in UPDATE statement", kOriginal},
      {"UPDATE t SET a = 1e300", 0, "Type mismatch between column a and constant value 1e300",
       kOriginal},
      {"UPDATE t SET n = n * 1000", 0, "in UPDATE statement", kOriginal},
      {"INSERT INTO t (id, n) VALUES (8, 40000)", 0,
       "Type mismatch between column n and constant value 40000 in INSERT statement", kOriginal},
      {"UPDATE t SET zz = 1", 0, "Invalid column name 'zz'", kOriginal},
      // Transactions.
      {"START TRANSACTION; UPDATE t SET a = 0; DELETE FROM t WHERE id = 1; ROLLBACK", 0, "",
       kOriginal},
      {"START TRANSACTION; DELETE FROM t WHERE id < 3; COMMIT",
       2,
       "",
       {"3|2|three|NULL|1.5", "4|NULL|NULL|40|2"}},
      {"COMMIT", 0, "Transaction not in progress for database '", kOriginal},
      {"ROLLBACK", 0, "Transaction not in progress for database '", kOriginal},
      {"START TRANSACTION; START TRANSACTION", 0, "Transaction already in progress for database '",
       kOriginal},
  };
  for (const TScript& script : scripts) {
    TSqlDatabase db;
    CreateTables(db);
    int64_t affected = 0;
    std::string error;
    try {
      affected = RunSql(db.Directory(), script.Sql);
    } catch (const EVUZODEEngineError& e) {
      error = e.ContextDetail().empty() ? e.what() : e.ContextDetail();
      if (db.Directory().InTransaction()) db.Directory().Rollback();
    }
    if (std::string(script.Error) == "*") {
      EXPECT_NE(error, "") << script.Sql;
    } else if (*script.Error == '\0') {
      EXPECT_EQ(error, "") << script.Sql;
      EXPECT_EQ(affected, script.Affected) << script.Sql;
    } else {
      EXPECT_NE(error.find(script.Error), std::string::npos) << script.Sql << "\n  " << error;
    }
    EXPECT_EQ(Contents(db.Directory(), "t"), script.Table) << script.Sql;
    EXPECT_FALSE(db.Directory().InTransaction()) << script.Sql;
  }
}

TEST(ChangeStatements, NoAutoIncKeepsTheGivenValue) {
  TSqlDatabase db;
  TTableDefinition d;
  d.Fields = {engine_test::MakeField(1, "id", kFieldInteger, 0, kSubtypeAutoIncrement),
              engine_test::MakeField(2, "v", kFieldInteger)};
  d.Indexes = {engine_test::MakeIndexDefinition("", {1}, true)};
  TDataCursor cursor(db.Directory());
  cursor.SetTableName("auto");
  cursor.SetExclusive(true);
  cursor.CreateTable(d, false);
  RunSql(db.Directory(), "INSERT INTO auto VALUES (50, 1)");
  RunSql(db.Directory(), "INSERT INTO auto VALUES (70, 2) NOAUTOINC");
  RunSql(db.Directory(), "INSERT INTO auto (v) VALUES (3)");
  EXPECT_EQ(Contents(db.Directory(), "auto"), (Rows{"1|1", "70|2", "71|3"}));
}

TEST(ChangeStatements, CommitIntervalCommitsInStepsAndAFailureNamesThem) {
  TSqlDatabase db;
  CreateTables(db);
  RunSql(db.Directory(), "INSERT INTO t (id) VALUES (103)");
  // Rows 101 and 102 are committed at the interval; 103 collides.
  std::string error;
  try {
    RunSql(db.Directory(),
           "INSERT INTO t (id) SELECT id + 100 FROM t WHERE id < 100 COMMIT INTERVAL 2");
  } catch (const EVUZODEEngineError& e) {
    error = e.ContextDetail();
    EXPECT_EQ(e.EngineCode(), VUZODE_KEYVIOL);
  }
  EXPECT_NE(error.find("2 rows were committed"), std::string::npos) << error;
  EXPECT_FALSE(db.Directory().InTransaction());
  TDataSession other;
  TDataDirectory& seen = other.OpenDirectory("other", db.Folder().Path());
  Rows ids;
  for (const std::string& row : Contents(seen, "t")) ids.push_back(row.substr(0, row.find('|')));
  EXPECT_EQ(ids, (Rows{"1", "2", "3", "4", "101", "102", "103"}));
  // Inside a transaction the interval commits too; the rows affected count all.
  RunSql(db.Directory(), "START TRANSACTION");
  EXPECT_EQ(RunSql(db.Directory(), "UPDATE t SET a = 7 WHERE id > 100 COMMIT INTERVAL 1"), 3);
  EXPECT_TRUE(db.Directory().InTransaction());
  RunSql(db.Directory(), "ROLLBACK");
  // The rollback takes back nothing the interval committed.
  EXPECT_EQ(Contents(seen, "t")[5], "102|7|NULL|NULL|NULL");
  EXPECT_EQ(Contents(seen, "t").back(), "103|7|NULL|NULL|NULL");
}

TEST(ChangeStatements, AnotherSessionSeesChangesOnlyAfterCommitAndRollbackRestoresAll) {
  TSqlDatabase db;
  TTableDefinition d = engine_test::PeopleDefinition(true);  // ID, NAME (indexed), NOTE memo
  TDataCursor create(db.Directory());
  create.SetTableName("p");
  create.SetExclusive(true);
  create.CreateTable(d, false);
  RunSql(db.Directory(), "INSERT INTO p VALUES (1, 'ann', 'first note')");
  RunSql(db.Directory(), "INSERT INTO p VALUES (2, 'bob', 'second note')");
  TDataSession otherSession;
  TDataDirectory& other = otherSession.OpenDirectory("other", db.Folder().Path());
  auto names = [](TDataDirectory& where, const std::string& sql) {
    TQueryStatement statement(&where);
    statement.Prepare(sql);
    std::unique_ptr<TDataCursor> result(statement.Execute());
    return TSqlDatabase::RowsOf(*result);
  };
  auto note = [](TDataDirectory& where, int id) {
    TDataCursor cursor(where);
    cursor.SetTableName("p");
    cursor.OpenCursor();
    std::vector<uint8_t> buffer(cursor.RecordSize());
    cursor.SetToBegin();
    while (cursor.GetNextRecord(buffer.data()) == 0) {
      int64_t value = 0;
      GetFieldInteger(TConstRecordImage(buffer.data(), buffer.size()), cursor.FieldDescriptors()[0],
                      value);
      if (value != id) continue;
      uint32_t size = 0;
      EXPECT_EQ(cursor.OpenBlob(3, buffer.data(), size, false, false, 1), 0);
      std::string text(size, '\0');
      uint32_t read = 0;
      if (size) cursor.GetBlob(3, buffer.data(), false, 0, size, (uint8_t*)text.data(), read);
      cursor.FreeBlob(3, buffer.data());
      return text;
    }
    return std::string("missing");
  };
  const Rows before = {"1|ann", "2|bob"};
  const char* byName = "SELECT ID, NAME FROM p WHERE NAME = 'cid' OR NAME = 'bob' ORDER BY ID";
  RunSql(db.Directory(), "START TRANSACTION");
  RunSql(db.Directory(), "UPDATE p SET NAME = 'cid', NOTE = 'changed' WHERE ID = 2");
  RunSql(db.Directory(), "INSERT INTO p VALUES (3, 'dan', 'third')");
  RunSql(db.Directory(), "DELETE FROM p WHERE ID = 1");
  EXPECT_EQ(names(other, "SELECT ID, NAME FROM p ORDER BY ID"), before);
  EXPECT_EQ(note(other, 2), "second note");
  RunSql(db.Directory(), "ROLLBACK");
  EXPECT_EQ(names(db.Directory(), "SELECT ID, NAME FROM p ORDER BY ID"), before);
  EXPECT_EQ(names(db.Directory(), byName), (Rows{"2|bob"}));  // the index on NAME
  EXPECT_EQ(note(db.Directory(), 2), "second note");
  EXPECT_EQ(note(db.Directory(), 1), "first note");

  RunSql(db.Directory(), "START TRANSACTION");
  RunSql(db.Directory(), "UPDATE p SET NAME = 'cid', NOTE = 'changed' WHERE ID = 2");
  EXPECT_EQ(names(other, byName), (Rows{"2|bob"}));
  RunSql(db.Directory(), "COMMIT");
  EXPECT_EQ(names(other, byName), (Rows{"2|cid"}));
  EXPECT_EQ(note(other, 2), "changed");
  RunSql(db.Directory(), "UPDATE p SET NOTE = NULL WHERE ID = 2");
  EXPECT_EQ(note(other, 2), "");
}

}  // namespace
}  // namespace sql_test
