// Aggregates, GROUP BY, HAVING, DISTINCT, TOP and the statement's maximum row count, which
// cuts the finished result (after grouping, DISTINCT and ORDER BY), never the rows collected.
#include <gtest/gtest.h>

#include "tests/db/sql/execution/sql_test_support.h"

namespace sql_test {
namespace {

using Rows = std::vector<std::string>;

class SelectGrouping : public testing::Test {
 protected:
  void SetUp() override {
    db_.CreateTable("sales", {{"id", 'i'}, {"region", 's'}, {"amount", 'i'}, {"price", 'f'}}, {{1}},
                    true);
    db_.Insert("sales", {{"1", "north", "10", "1.5"},
                         {"2", "north", "20", std::nullopt},
                         {"3", "south", std::nullopt, "2"},
                         {"4", "south", "5", "4"},
                         {"5", "east", "7", "0.5"},
                         {"6", "north", std::nullopt, std::nullopt}});
  }
  TSqlDatabase db_;
};

TEST_F(SelectGrouping, ScriptOfAggregateQueries) {
  struct TCase {
    const char* Sql;
    Rows Expected;
  };
  const TCase cases[] = {
      {"SELECT region, COUNT(*), COUNT(amount), SUM(amount), MIN(amount), MAX(amount) "
       "FROM sales GROUP BY region",
       {"east|1|1|7|7|7", "north|3|2|30|10|20", "south|2|1|5|5|5"}},
      {"SELECT region, AVG(amount), SUM(price) FROM sales GROUP BY region",
       {"east|7|0.5", "north|15|1.5", "south|5|6"}},
      {"SELECT region, COUNT(*) AS n FROM sales GROUP BY region HAVING COUNT(*) > 1",
       {"north|3", "south|2"}},
      {"SELECT region, SUM(amount) FROM sales GROUP BY region HAVING SUM(amount) >= 7 "
       "ORDER BY 2 DESC",
       {"north|30", "east|7"}},
      // The implicit group: one row, also over no rows (AVG over no values is 0).
      {"SELECT COUNT(*), SUM(amount), MIN(amount), MAX(amount), AVG(amount) FROM sales",
       {"6|42|5|20|10.5"}},
      {"SELECT COUNT(*), SUM(amount), MIN(amount), MAX(amount), AVG(amount) FROM sales "
       "WHERE id > 100",
       {"0|NULL|NULL|NULL|0"}},
      {"SELECT COUNT(*) FROM sales WHERE amount > 6", {"3"}},
      {"SELECT DISTINCT region FROM sales", {"east", "north", "south"}},
      {"SELECT DISTINCT region, COUNT(*) FROM sales GROUP BY region",
       {"east|1", "north|3", "south|2"}},
      {"SELECT id FROM sales ORDER BY id DESC TOP 2", {"6", "5"}},
      {"SELECT DISTINCT region FROM sales ORDER BY region DESC TOP 2", {"south", "north"}},
      {"SELECT region, RUNSUM(amount) FROM sales GROUP BY region",
       {"east|7", "north|37", "south|42"}},
      {"SELECT region, MAX(price) FROM sales WHERE price IS NOT NULL GROUP BY region "
       "ORDER BY region",
       {"east|0.5", "north|1.5", "south|4"}},
  };
  for (const TCase& c : cases) EXPECT_EQ(db_.Rows(c.Sql), c.Expected) << c.Sql;
}

TEST_F(SelectGrouping, MaximumRowCountCutsTheFinishedResult) {
  struct TCase {
    const char* Sql;
    int32_t MaxRows;
    Rows Expected;
  };
  const TCase cases[] = {
      // Collecting only two rows first would give 2, 1 and north|1 and north.
      {"SELECT id FROM sales ORDER BY id DESC", 2, {"6", "5"}},
      {"SELECT region, COUNT(*) FROM sales GROUP BY region", 1, {"east|1"}},
      {"SELECT DISTINCT region FROM sales", 2, {"east", "north"}},
      {"SELECT COUNT(*) FROM sales", 1, {"6"}},
      {"SELECT id FROM sales ORDER BY id TOP 3", 2, {"1", "2"}},
      {"SELECT id FROM sales ORDER BY id", 0, {}},
      {"SELECT id FROM sales WHERE id < 3 ORDER BY id", -1, {"1", "2"}},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(db_.Rows(c.Sql, false, c.MaxRows), c.Expected) << c.Sql << " max " << c.MaxRows;
}

}  // namespace
}  // namespace sql_test
