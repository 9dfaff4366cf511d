// Differential test of the definition statements against SQLite 3: seeded random steps of
// CREATE TABLE [IF NOT EXISTS], DROP TABLE [IF EXISTS], ALTER TABLE ADD (at a position), DROP,
// rename and widen a column, CREATE INDEX [IF NOT EXISTS] and DROP INDEX [IF EXISTS], with
// rows appended between them. A step must run or fail on both sides alike; after it every
// table exists on both sides or neither, has the columns in the order a model keeps, and the
// same rows (columns matched by name, rows as multisets). Steps: PEBRIO_SQL_DDL_STEPS.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>

#include "tests/db/sql/execution/definition_test_support.h"

namespace sql_test {
namespace {

using Rows = std::vector<std::string>;
struct TModelColumn {
  std::string Name;
  bool Text = false;
};
using TModelTable = std::vector<TModelColumn>;  // in our table's order

class TLite {
 public:
  TLite() { sqlite3_open(":memory:", &db_); }
  ~TLite() { sqlite3_close(db_); }
  bool Run(const std::string& sql) {
    return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  // The rows of sql, values joined by "|"; none when it fails.
  Rows Query(const std::string& sql) {
    Rows rows;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) return rows;
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        const unsigned char* text = sqlite3_column_text(statement, i);
        row += (i ? "|" : "") + std::string(text ? reinterpret_cast<const char*>(text) : "NULL");
      }
      rows.push_back(row);
    }
    sqlite3_finalize(statement);
    return rows;
  }

 private:
  sqlite3* db_ = nullptr;
};

class TDefinitionRun {
 public:
  TDefinitionRun(uint32_t seed, bool columnsMove) : random_(seed), columns_move_(columnsMove) {}

  // One random step on both sides; false after a difference was reported.
  bool Step() {
    std::string ours, lite;
    std::function<void()> model;
    Generate(ours, lite, model);
    const std::string outcome = OutcomeOf(db_, ours);
    const bool liteRan = lite.empty() || lite_.Run(lite);
    if (outcome.empty() != liteRan) {
      ADD_FAILURE() << ours << " / " << lite << "\n  ours: " << (outcome.empty() ? "ran" : outcome)
                    << "\n  sqlite: " << (liteRan ? "ran" : "failed");
      return false;
    }
    if (outcome.empty()) {
      ++ran_;
      if (model) model();
    }
    return Compare(ours);
  }
  int64_t Ran() const { return ran_; }
  int64_t RowsCompared() const { return rows_compared_; }

 private:
  int Pick(size_t n) { return static_cast<int>(random_() % n); }
  bool Chance(int percent) { return Pick(100) < percent; }
  std::string NewColumnName() { return std::string(1, static_cast<char>('a' + Pick(7))); }
  TModelTable* Existing(const std::string& table) {
    auto found = tables_.find(table);
    return found == tables_.end() ? nullptr : &found->second;
  }
  // Mostly a column of table, sometimes one it may not have.
  std::string AnyColumn(const TModelTable* t) {
    return !t || Chance(10) ? NewColumnName() : (*t)[Pick(t->size())].Name;
  }
  static std::string TypeOf(bool text, int width) {
    return text ? "CHAR(" + std::to_string(width) + ")" : width > 10 ? "LARGEINT" : "INTEGER";
  }

  void Generate(std::string& ours, std::string& lite, std::function<void()>& model) {
    const std::string table = "t" + std::to_string(1 + Pick(3));
    TModelTable* t = Existing(table);
    const std::string alter = "ALTER TABLE " + table;
    switch (Pick(9)) {
      case 0: {
        TModelTable columns;
        std::string list;
        for (int i = 0, count = 1 + Pick(4); i < count; ++i) {
          columns.push_back({std::string(1, static_cast<char>('a' + i)), Chance(40)});
          list += (i ? ", " : "") + columns.back().Name + " " + TypeOf(columns.back().Text, 10);
        }
        ours = lite = "CREATE TABLE " + std::string(Chance(40) ? "IF NOT EXISTS " : "") + table +
                      " (" + list + ")";
        if (!t) model = [=, this] { tables_[table] = columns; };
        return;
      }
      case 1:
        ours = lite = "DROP TABLE " + std::string(Chance(40) ? "IF EXISTS " : "") + table;
        model = [=, this] { tables_.erase(table); };
        return;
      case 2: {  // ADD, somewhere in our table when columns may move
        const TModelColumn c{NewColumnName(), Chance(40)};
        const int at = columns_move_ && t && Chance(50) ? 1 + Pick(t->size() + 1) : 0;
        ours = alter + " ADD " + c.Name + " " + TypeOf(c.Text, 10) +
               (at ? " AT " + std::to_string(at) : "");
        lite = alter + " ADD COLUMN " + c.Name + " " + TypeOf(c.Text, 10);
        model = [=, this] {
          TModelTable& columns = tables_[table];
          columns.insert(at ? columns.begin() + (at - 1) : columns.end(), c);
        };
        return;
      }
      case 3: {  // DROP a column (the last unless columns may move); SQLite keeps one
        if (t && t->size() < 2) break;
        const std::string column = !columns_move_ && t ? t->back().Name : AnyColumn(t);
        ours = alter + " DROP " + column;
        lite = alter + " DROP COLUMN " + column;
        model = [=, this] {
          std::erase_if(tables_[table], [&](const TModelColumn& c) { return c.Name == column; });
        };
        return;
      }
      case 4: {
        const std::string column = AnyColumn(t), renamed = NewColumnName();
        if (renamed == column) break;
        ours = alter + " REDEFINE " + column + " " + renamed;
        lite = alter + " RENAME COLUMN " + column + " TO " + renamed;
        model = [=, this] {
          for (TModelColumn& c : tables_[table])
            if (c.Name == column) c.Name = renamed;
        };
        return;
      }
      case 5: {  // widen a column: SQLite has nothing to do
        if (!t) break;
        const TModelColumn& c = (*t)[Pick(t->size())];
        ours = alter + " REDEFINE " + c.Name + " " + TypeOf(c.Text, 20);
        return;
      }
      case 6:
        ours = lite = "CREATE INDEX " + std::string(Chance(30) ? "IF NOT EXISTS " : "") + table +
                      "_" + std::to_string(Pick(3)) + " ON " + table + " (" + AnyColumn(t) + ")";
        return;
      case 7: {  // DROP INDEX of a table that exists (IF EXISTS is about the index)
        if (!t) break;
        const std::string name = table + "_" + std::to_string(Pick(3));
        const std::string ifExists = Chance(30) ? "IF EXISTS " : "";
        ours = "DROP INDEX " + ifExists + table + "." + name;
        lite = "DROP INDEX " + ifExists + name;
        return;
      }
      default:
        break;
    }
    ours = lite = "DROP TABLE IF EXISTS none";
    if (t) AppendRows(table, *t);
  }

  // Rows appended on both sides, through a cursor on ours.
  void AppendRows(const std::string& table, const TModelTable& columns) {
    for (int r = 0, count = 1 + Pick(4); r < count; ++r) {
      TRow row;
      std::string names, values;
      for (const TModelColumn& c : columns) {
        std::optional<std::string> value;
        if (!Chance(15))
          value =
              c.Text ? std::string(1, static_cast<char>('p' + Pick(4))) : std::to_string(Pick(10));
        row.push_back(value);
        names += (names.empty() ? "" : ", ") + c.Name;
        values += (values.empty() ? "" : ", ") + (!value   ? "NULL"
                                                  : c.Text ? "'" + *value + "'"
                                                           : *value);
      }
      db_.Insert(table, {row});
      EXPECT_TRUE(lite_.Run("INSERT INTO " + table + " (" + names + ") VALUES (" + values + ")"));
    }
  }

  bool Compare(const std::string& step) {
    for (const char* name : {"t1", "t2", "t3"}) {
      const TModelTable* t = Existing(name);
      const bool lite =
          !lite_.Query("SELECT 1 FROM sqlite_master WHERE name = '" + std::string(name) + "'")
               .empty();
      std::string expected = t ? "" : "-";
      for (size_t i = 0; t && i < t->size(); ++i) expected += (i ? "," : "") + (*t)[i].Name;
      if (lite != (t != nullptr) || ColumnsOf(db_, name) != expected) {
        ADD_FAILURE() << "after " << step << ": columns of " << name << " " << ColumnsOf(db_, name)
                      << ", expected " << expected << ", sqlite has it " << lite;
        return false;
      }
      if (!t) continue;
      std::vector<size_t> order(t->size());
      for (size_t i = 0; i < order.size(); ++i) order[i] = i;
      std::sort(order.begin(), order.end(),
                [&](size_t a, size_t b) { return (*t)[a].Name < (*t)[b].Name; });
      std::string select;
      for (size_t i : order) select += (select.empty() ? "" : ", ") + (*t)[i].Name;
      Rows mine, theirs = lite_.Query("SELECT " + select + " FROM " + name);
      auto cursor = OpenTable(db_, name);
      std::vector<uint8_t> buffer(cursor->RecordSize());
      while (cursor->GetNextRecord(buffer.data()) == 0) {
        std::string row;
        for (size_t i : order)
          row += (row.empty() ? "" : "|") + TSqlDatabase::ValueText(*cursor, buffer, i);
        mine.push_back(row);
      }
      std::sort(mine.begin(), mine.end());
      std::sort(theirs.begin(), theirs.end());
      rows_compared_ += static_cast<int64_t>(theirs.size());
      if (mine != theirs) {
        ADD_FAILURE() << "after " << step << ": rows of " << name << " differ: ours " << mine.size()
                      << ", sqlite " << theirs.size()
                      << (mine.empty() ? "" : "\n  first of ours: " + mine.front())
                      << (theirs.empty() ? "" : "\n  first of sqlite: " + theirs.front());
        return false;
      }
    }
    return true;
  }

  std::mt19937 random_;
  bool columns_move_;
  TSqlDatabase db_;
  TLite lite_;
  std::map<std::string, TModelTable> tables_;
  int64_t ran_ = 0, rows_compared_ = 0;
};

void RunSteps(bool columnsMove) {
  const int64_t total = engine_test::HeavyTestSize("PEBRIO_SQL_DDL_STEPS", 1200);
  constexpr int64_t kStepsPerRun = 150;
  int64_t ran = 0, rows = 0;
  for (int64_t done = 0, round = 0; done < total; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TDefinitionRun run(static_cast<uint32_t>(500 + round), columnsMove);
    for (int64_t i = 0; i < kStepsPerRun && done < total; ++i, ++done)
      if (!run.Step()) return;
    ran += run.Ran();
    rows += run.RowsCompared();
  }
  // Steps that mostly fail, or tables that stay empty, would compare little.
  EXPECT_GT(ran * 2, total);
  EXPECT_GT(rows, total * 2);
}

// Columns are also dropped from the middle and added before others, so the restructuring's
// copy must map each old field to its new position.
TEST(DefinitionDifferential, RandomStepsKeepTheTablesOfSqlite) {
  RunSteps(true);
}

}  // namespace
}  // namespace sql_test
