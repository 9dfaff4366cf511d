// Joins (inner, comma, left, right, self, three tables, NOJOINOPTIMIZE), UNION [ALL], IN
// sub-selects and parameters; and the index seek of joins checked against the same join
// without an index over random tables with NULLs and repeated keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "tests/db/sql/execution/sql_test_support.h"

namespace sql_test {
namespace {

using Rows = std::vector<std::string>;

Rows Sorted(Rows rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

class SelectJoin : public testing::Test {
 protected:
  void SetUp() override {
    db_.CreateTable("emp", {{"id", 'i'}, {"name", 's'}, {"dept", 'i'}, {"boss", 'i'}}, {{1}, {3}},
                    true);
    db_.Insert("emp", {{"1", "ann", "10", std::nullopt},
                       {"2", "bob", "10", "1"},
                       {"3", "cid", "20", "1"},
                       {"4", "dan", std::nullopt, "2"},
                       {"5", "eve", "30", "2"}});
    db_.CreateTable("dept", {{"id", 'i'}, {"title", 's'}}, {{1}}, true);
    db_.Insert("dept", {{"10", "sales"}, {"20", "ops"}, {"40", "hr"}});
  }
  TSqlDatabase db_;
};

TEST_F(SelectJoin, ScriptOfJoinsUnionsAndSubSelects) {
  struct TCase {
    const char* Sql;
    Rows Expected;  // compared as multisets unless Ordered
    bool Ordered = false;
  };
  const TCase cases[] = {
      {"SELECT e.name, d.title FROM emp e JOIN dept d ON e.dept = d.id",
       {"ann|sales", "bob|sales", "cid|ops"}},
      {"SELECT e.name, d.title FROM emp e INNER JOIN dept d ON e.dept = d.id NOJOINOPTIMIZE",
       {"ann|sales", "bob|sales", "cid|ops"}},
      {"SELECT e.name, d.title FROM emp e, dept d WHERE e.dept = d.id AND d.title = 'sales'",
       {"ann|sales", "bob|sales"}},
      {"SELECT e.name, d.title FROM emp e LEFT OUTER JOIN dept d ON e.dept = d.id",
       {"ann|sales", "bob|sales", "cid|ops", "dan|NULL", "eve|NULL"}},
      {"SELECT e.name FROM emp e LEFT JOIN dept d ON e.dept = d.id WHERE d.title IS NULL",
       {"dan", "eve"}},
      {"SELECT e.name, d.title FROM emp e LEFT JOIN dept d ON e.dept = d.id AND d.title = 'ops'",
       {"ann|NULL", "bob|NULL", "cid|ops", "dan|NULL", "eve|NULL"}},
      {"SELECT d.title, e.name FROM emp e RIGHT OUTER JOIN dept d ON e.dept = d.id",
       {"sales|ann", "sales|bob", "ops|cid", "hr|NULL"}},
      {"SELECT e.name, b.name FROM emp e JOIN emp b ON e.boss = b.id",
       {"bob|ann", "cid|ann", "dan|bob", "eve|bob"}},
      {"SELECT e.name, b.name, d.title FROM emp e JOIN emp b ON e.boss = b.id "
       "JOIN dept d ON b.dept = d.id",
       {"bob|ann|sales", "cid|ann|sales", "dan|bob|sales", "eve|bob|sales"}},
      {"SELECT d.title, COUNT(*) FROM emp e JOIN dept d ON e.dept = d.id GROUP BY d.title",
       {"ops|1", "sales|2"},
       true},
      {"SELECT e.name, d.title FROM emp e, dept d WHERE e.id = 1 AND d.id > 10",
       {"ann|ops", "ann|hr"}},
      {"SELECT id FROM emp WHERE id < 3 UNION SELECT id FROM dept WHERE id < 20", {"1", "2", "10"}},
      {"SELECT dept FROM emp WHERE dept = 10 UNION ALL SELECT id FROM dept WHERE id = 10",
       {"10", "10", "10"}},
      {"SELECT dept FROM emp WHERE dept = 10 UNION SELECT id FROM dept WHERE id = 10", {"10"}},
      {"SELECT id FROM emp UNION SELECT id FROM dept ORDER BY 1 DESC TOP 3",
       {"40", "20", "10"},
       true},
      {"SELECT name FROM emp WHERE dept IN (SELECT id FROM dept WHERE title <> 'ops')",
       {"ann", "bob"}},
      {"SELECT name FROM emp WHERE dept IS NOT NULL AND dept NOT IN (SELECT id FROM dept)",
       {"eve"}},
      {"SELECT name FROM emp WHERE boss IN (SELECT id FROM emp WHERE dept IN "
       "(SELECT id FROM dept WHERE title = 'sales'))",
       {"bob", "cid", "dan", "eve"}},
  };
  for (const TCase& c : cases) {
    const Rows rows = db_.Rows(c.Sql);
    if (c.Ordered)
      EXPECT_EQ(rows, c.Expected) << c.Sql;
    else
      EXPECT_EQ(Sorted(rows), Sorted(c.Expected)) << c.Sql;
  }
}

TEST_F(SelectJoin, JoinErrorsAreReported) {
  EXPECT_EQ(db_.ErrorOf("SELECT id FROM emp UNION SELECT id, title FROM dept"),
            "The number of columns  in the UNION query must match the  number of columns in the "
            "master query");
  EXPECT_EQ(db_.ErrorOf("SELECT name FROM emp UNION SELECT id FROM dept"),
            "Type mismatch between column expression 'id' in the UNION query and column "
            "expression 'name' in the master query");
  EXPECT_NE(db_.ErrorOf("SELECT e.id FROM emp e JOIN dept d ON e.dept = d.id "
                        "RIGHT JOIN emp x ON x.id = e.id"),
            "");
}

TEST_F(SelectJoin, ParametersAreBoundForEachExecution) {
  TQueryStatement statement(&db_.Directory());
  statement.Prepare("SELECT name FROM emp WHERE id = ?");
  ASSERT_EQ(statement.ParameterCount(), 1u);
  FieldDescriptor descriptor;
  descriptor.Type = kFieldInteger;
  descriptor.StoredLength = 4;
  for (int32_t id : {3, 5, 9}) {
    uint8_t values[5] = {1};
    std::memcpy(values + 1, &id, 4);
    statement.BindParameters({&descriptor, 1}, values);
    std::unique_ptr<TDataCursor> result(statement.Execute());
    const Rows rows = TSqlDatabase::RowsOf(*result);
    EXPECT_EQ(rows, id == 3 ? Rows{"cid"} : id == 5 ? Rows{"eve"} : Rows{}) << id;
  }
}

// Joins whose inner table is sought by index give the rows of the same joins over a copy
// without indexes, NULL keys matching NULL keys as "=" does.
TEST(SelectJoinSeek, IndexedJoinsMatchUnindexedJoins) {
  TSqlDatabase db;
  db.CreateTable("x", {{"k", 'i'}, {"v", 'i'}});
  db.CreateTable("y", {{"k", 'i'}, {"w", 'i'}}, {{1}});
  db.CreateTable("z", {{"k", 'i'}, {"w", 'i'}});
  db.CreateTable("sx", {{"k", 's'}, {"v", 'i'}});
  db.CreateTable("sy", {{"k", 's'}, {"w", 'i'}}, {{1}});
  db.CreateTable("sz", {{"k", 's'}, {"w", 'i'}});
  std::mt19937 random(7);
  auto key = [&]() -> std::optional<std::string> {
    const int k = static_cast<int>(random() % 12);
    if (k == 0) return std::nullopt;
    return std::to_string(k);
  };
  auto text = [&]() -> std::optional<std::string> {
    const int k = static_cast<int>(random() % 8);
    if (k == 0) return std::nullopt;
    return std::string(k % 2 ? "Ab" : "ab") + std::to_string(k);
  };
  std::vector<TRow> xs, ys, sxs, sys;
  for (int i = 0; i < 40; ++i) xs.push_back({key(), std::to_string(i)});
  for (int i = 0; i < 60; ++i) ys.push_back({key(), std::to_string(i)});
  for (int i = 0; i < 30; ++i) sxs.push_back({text(), std::to_string(i)});
  for (int i = 0; i < 30; ++i) sys.push_back({text(), std::to_string(i)});
  db.Insert("x", xs), db.Insert("y", ys), db.Insert("z", ys);
  db.Insert("sx", sxs), db.Insert("sy", sys), db.Insert("sz", sys);
  const char* joins[] = {
      "SELECT x.v, t.w FROM x JOIN T t ON x.k = t.k",
      "SELECT x.v, t.w FROM x LEFT JOIN T t ON t.k = x.k",
      "SELECT x.v, t.w FROM x, T t WHERE x.k = t.k AND t.w > 10",
      "SELECT x.v, t.w FROM x LEFT JOIN T t ON x.k = t.k AND t.w < 30 WHERE x.v > 5",
      "SELECT x.v, COUNT(*) FROM x JOIN T t ON x.k = t.k GROUP BY x.v",
  };
  for (const char* join : joins) {
    for (const char* prefix : {"", "s"}) {
      auto query = [&](const std::string& table) {
        std::string sql = join;
        sql.replace(sql.find(" T "), 3, " " + std::string(prefix) + table + " ");
        for (size_t at = sql.find("x"); at != std::string::npos; at = sql.find("x", at + 2))
          if (*prefix) sql.replace(at, 1, "sx");
        return sql;
      };
      const Rows indexed = Sorted(db.Rows(query("y")));
      EXPECT_EQ(indexed, Sorted(db.Rows(query("z")))) << query("y");
      EXPECT_FALSE(indexed.empty()) << query("y");
    }
  }
}

}  // namespace
}  // namespace sql_test
