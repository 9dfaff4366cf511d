// Single-table SELECT: projections, WHERE through cursor filters (LIKE with and without an
// index), ORDER BY with directions and NOCASE, result names, the SQL errors of binding, live
// versus canned results of the same query, edits through a live result, and where canned
// results live and that they go away with their cursor.
#include <gtest/gtest.h>

#include <algorithm>

#include "db/engine/table/data_table.h"
#include "db/sql/execution/result_table.h"
#include "db/sql/execution/work_directories.h"
#include "tests/db/sql/execution/sql_test_support.h"

namespace sql_test {
namespace {

using Rows = std::vector<std::string>;

class SelectBasics : public testing::Test {
 protected:
  void SetUp() override {
    // Primary key on id, a secondary index on name; city has none.
    db_.CreateTable("people", {{"id", 'i'}, {"name", 's'}, {"age", 'i'}, {"city", 's'}}, {{1}, {2}},
                    true);
    db_.Insert("people", {{"1", "ann", "30", "oslo"},
                          {"2", "bob", "25", "rome"},
                          {"3", "cid", std::nullopt, "oslo"},
                          {"4", "abe", "41", std::nullopt},
                          {"5", "Abby", "25", "rome"},
                          {"6", "ab", "19", "oslo"}});
  }
  TSqlDatabase db_;
};

TEST_F(SelectBasics, ScriptOfQueriesAndTheirRows) {
  struct TCase {
    const char* Sql;
    Rows Expected;
  };
  const TCase cases[] = {
      {"SELECT name FROM people WHERE age > 26 ORDER BY name", {"abe", "ann"}},
      // LIKE through the index on name and through a scan of city.
      {"SELECT name FROM people WHERE name LIKE 'ab%' ORDER BY name", {"ab", "abe"}},
      {"SELECT id FROM people WHERE city LIKE 'os%' ORDER BY id", {"1", "3", "6"}},
      {"SELECT id, age + 1 AS nxt FROM people WHERE id <= 2 ORDER BY id", {"1|31", "2|26"}},
      // NULL sorts first ascending, so last descending.
      {"SELECT id, age FROM people ORDER BY age DESC, id",
       {"4|41", "1|30", "2|25", "5|25", "6|19", "3|NULL"}},
      {"SELECT name FROM people WHERE id >= 4 ORDER BY name", {"Abby", "ab", "abe"}},
      {"SELECT name FROM people WHERE id >= 4 ORDER BY name NOCASE", {"ab", "Abby", "abe"}},
      {"SELECT p.id FROM people p WHERE p.city = 'rome' AND p.age = 25 ORDER BY 1", {"2", "5"}},
      {"SELECT id FROM people WHERE city IS NULL", {"4"}},
      {"SELECT id FROM people WHERE id IN (2, 4, 9) ORDER BY id", {"2", "4"}},
      {"SELECT id FROM people WHERE age BETWEEN 20 AND 30 AND NOT (city = 'oslo') ORDER BY id",
       {"2", "5"}},
      {"SELECT UPPER(name) FROM people WHERE id = 2", {"BOB"}},
      {"SELECT * FROM people WHERE id = 3", {"3|cid|NULL|oslo"}},
      {"SELECT id FROM people WHERE id = 77", {}},
      {"SELECT id FROM people WHERE id < 3 ORDER BY id WITH LOCKS", {"1", "2"}},
  };
  for (const TCase& c : cases) EXPECT_EQ(db_.Rows(c.Sql), c.Expected) << c.Sql;
}

TEST_F(SelectBasics, LiveAndCannedResultsHoldTheSameRows) {
  struct TCase {
    const char* Sql;
    bool Live;
  };
  const TCase cases[] = {
      {"SELECT * FROM people", true},
      {"SELECT * FROM people ORDER BY name", true},   // the index on name serves it
      {"SELECT * FROM people ORDER BY city", false},  // no index: canned
      {"SELECT * FROM people WHERE id = 3", true},    // a key range, no filter
      {"SELECT * FROM people WHERE id > 2 AND id <= 5", true},
      {"SELECT * FROM people WHERE 3 > id", true},
      {"SELECT * FROM people WHERE id >= 4 AND id < 4", true},  // no key: a filter
      {"SELECT * FROM people WHERE id > 2147483647", true},
      {"SELECT * FROM people WHERE name = 'ab'", true},
      {"SELECT * FROM people WHERE name LIKE 'ab%'", true},
      {"SELECT * FROM people WHERE age > 20 AND city = 'oslo'", true},
      {"SELECT id, name, age, city FROM people WHERE age IS NOT NULL", true},
      {"SELECT DISTINCT * FROM people", false},
      {"SELECT * FROM people TOP 2", false},
      {"SELECT * INTO MEMORY r1 FROM people", false},
  };
  for (const TCase& c : cases) {
    bool live = false;
    Rows liveRows = db_.Rows(c.Sql, true, -1, &live);
    EXPECT_EQ(live, c.Live) << c.Sql;
    Rows canned = db_.Rows(c.Sql, false, -1, &live);
    EXPECT_FALSE(live) << c.Sql;
    if (std::string(c.Sql).find("ORDER BY") == std::string::npos) {
      std::sort(liveRows.begin(), liveRows.end());
      std::sort(canned.begin(), canned.end());
    }
    EXPECT_EQ(liveRows, canned) << c.Sql;
  }
}

TEST_F(SelectBasics, EditsThroughALiveResultChangeTheTable) {
  bool live = false;
  auto cursor = db_.Open("SELECT * FROM people WHERE id = 2", true, -1, &live);
  ASSERT_TRUE(live);
  std::vector<uint8_t> buffer(cursor->RecordSize());
  cursor->SetToBegin();
  ASSERT_EQ(cursor->GetNextRecord(buffer.data()), 0);
  SetFieldString(TRecordImage(buffer.data(), buffer.size()), cursor->FieldDescriptors()[1], "bert");
  cursor->ModifyRecord(buffer.data());
  cursor.reset();
  EXPECT_EQ(db_.Rows("SELECT name FROM people WHERE id = 2"), Rows{"bert"});
}

TEST_F(SelectBasics, ResultColumnsAreNamedUniquely) {
  auto cursor = db_.Open(
      "SELECT name, name, id AS name, COUNT(*), SUM(age), age * 2 "
      "FROM people GROUP BY 1");
  EXPECT_EQ(TSqlDatabase::Names(*cursor),
            (Rows{"name", "name_1", "name_2", "Count Of Expr", "Sum Of age", "Expression"}));
}

TEST_F(SelectBasics, BindingErrorsAreReported) {
  struct TCase {
    const char* Sql;
    const char* Message;
  };
  const TCase cases[] = {
      {"SELECT name, COUNT(*) FROM people",
       "Invalid use of aggregate function(s), the necessary GROUP BY clause is missing"},
      {"SELECT NULL FROM people",
       "Column expression cannot be a NULL constant, use the CAST() function to specify a data "
       "type"},
      {"SELECT id FROM people HAVING id > 1",
       "A GROUP BY clause must exist in order to use the HAVING clause"},
      {"SELECT id FROM people ORDER BY 5",
       "Invalid column number '5' specified in ORDER BY clause"},
      {"SELECT id FROM people GROUP BY nothere",
       "Invalid column name 'nothere' specified in GROUP BY clause"},
      {"SELECT city, COUNT(*) FROM people GROUP BY city HAVING SUM(age) > 1",
       "Expression in HAVING clause not found in source columns"},
      {"SELECT q.* FROM people",
       "Invalid column name '*' or table correlation name 'q' specified in source columns"},
  };
  for (const TCase& c : cases) EXPECT_EQ(db_.ErrorOf(c.Sql), c.Message) << c.Sql;
}

// A BLOB column can be read through a live result; a canned one would copy a reference into
// the source's BLOB file, so it is refused.
TEST(SelectBlobs, BlobColumnsNeedALiveResult) {
  TSqlDatabase db;
  {
    TDataCursor cursor(db.Directory());
    cursor.SetTableName("notes");
    cursor.SetExclusive(true);
    cursor.CreateTable(engine_test::PeopleDefinition(true), false);
  }
  bool live = false;
  EXPECT_NO_THROW(db.Open("SELECT * FROM notes", true, -1, &live));
  EXPECT_TRUE(live);
  EXPECT_EQ(db.ErrorOf("SELECT ID, NOTE FROM notes ORDER BY ID DESC"),
            "BLOB column 'NOTE' cannot be copied into a result table; request a live result");
}

TEST_F(SelectBasics, CannedResultsLiveInMemoryUnlessLargeAndGoAwayWithTheirCursor) {
  auto small = db_.Open("SELECT name, city FROM people ORDER BY city");
  EXPECT_TRUE(small->InMemory());
  const std::string memoryName = small->TableName();
  TDataDirectory& memory = MemoryDirectoryOf(db_.Session());
  EXPECT_NE(memory.FindTable(memoryName, kMemoryTable), nullptr);
  small.reset();
  EXPECT_EQ(memory.FindTable(memoryName, kMemoryTable), nullptr);

  SetCannedResultMemoryLimit(db_.Session(), 16);  // any result is larger
  auto large = db_.Open("SELECT name, city FROM people ORDER BY city");
  EXPECT_FALSE(large->InMemory());
  EXPECT_EQ(TSqlDatabase::RowsOf(*large).size(), 6u);
  const std::string diskName = large->TableName();
  large.reset();
  EXPECT_FALSE(db_.Folder().Has(diskName + ".DAT"));
  ForgetCannedResultSettings(db_.Session());

  // INTO keeps its table.
  db_.Rows("SELECT id INTO kept FROM people WHERE age > 26");
  EXPECT_EQ(db_.Rows("SELECT * FROM kept ORDER BY id"), (Rows{"1", "4"}));
}

// Progress: percents rise to 100, which is reported exactly once, also when no row
// qualifies; an abort ends the work and keeps the rows made so far.
TEST_F(SelectBasics, ProgressReachesHundredOnceAndAbortKeepsTheRowsSoFar) {
  struct TLog {
    std::vector<int> Percents;
    int AbortAt = 1000;
  };
  auto record = [](void* data, int percent, bool& abort) {
    auto& log = *static_cast<TLog*>(data);
    log.Percents.push_back(percent);
    abort = percent >= log.AbortAt;
  };
  for (const char* sql : {"SELECT id, city FROM people ORDER BY city",
                          "SELECT id, city FROM people WHERE age > 99 ORDER BY city"}) {
    TLog log;
    TQueryStatement statement(&db_.Directory());
    statement.Callbacks.Progress = record;
    statement.Callbacks.ProgressData = &log;
    statement.Prepare(sql);
    std::unique_ptr<TDataCursor> result(statement.Execute());
    ASSERT_FALSE(log.Percents.empty()) << sql;
    EXPECT_EQ(std::count(log.Percents.begin(), log.Percents.end(), 100), 1) << sql;
    EXPECT_EQ(log.Percents.back(), 100) << sql;
    EXPECT_TRUE(std::is_sorted(log.Percents.begin(), log.Percents.end())) << sql;
  }
  TLog log;
  log.AbortAt = 1;
  TQueryStatement statement(&db_.Directory());
  statement.Callbacks.Progress = record;
  statement.Callbacks.ProgressData = &log;
  statement.Prepare("SELECT id, city FROM people ORDER BY city");
  std::unique_ptr<TDataCursor> result(statement.Execute());
  const size_t rows = TSqlDatabase::RowsOf(*result).size();
  EXPECT_GE(rows, 1u);
  EXPECT_LT(rows, 6u);
}

}  // namespace
}  // namespace sql_test
