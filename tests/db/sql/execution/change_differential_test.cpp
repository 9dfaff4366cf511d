// Differential test of INSERT, UPDATE and DELETE against SQLite 3: two seeded random tables
// (integers, texts and quarter-valued floats with NULLs; a primary key and secondary indexes)
// and random statements of the shared dialect: INSERT of VALUES and of a SELECT, UPDATE of
// expressions over the old values, UPDATE ... FROM with a join, DELETE with and without a
// join, each with a random WHERE. After every statement both tables must hold the same rows
// on both sides, and the rows affected must agree. The statement count comes from
// PEBRIO_SQL_DIFF_CHANGES.
//
// The dialects differ in NULL handling: "=" holds for two NULLs and "<>" for exactly one, and a
// predicate over NULL is false; the SQLite side is rewritten accordingly (IS, IS NOT,
// COALESCE). A text in SET may name a column in this dialect, so the texts used name none.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <random>

#include "db/sql/statements/query_statement.h"
#include "tests/db/sql/execution/sql_test_support.h"

namespace sql_test {
namespace {

using Rows = std::vector<std::string>;

const char* const kTexts[] = {"ab", "abc", "Ab", "bd", "ca", "xy", "abd"};
const std::vector<TColumn> kColumns = {{"id", 'i'}, {"a", 'i'}, {"b", 'i'}, {"c", 's'}, {"f", 'f'}};

struct TStatementPair {
  std::string Ours, Lite;
};

class TChangeGenerator {
 public:
  explicit TChangeGenerator(uint32_t seed) : random_(seed) {}
  int Pick(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }
  bool Chance(int percent) { return Pick(100) < percent; }

  std::string Value(char kind) {
    if (Chance(12)) return "NULL";
    if (kind == 's') return std::string("'") + kTexts[Pick(7)] + "'";
    if (kind == 'f') return std::to_string(Pick(17) - 8) + ".25";
    return std::to_string(Pick(10));
  }

  // A predicate over alias; the SQLite form in lite.
  void Predicate(const std::string& alias, int depth, std::string& ours, std::string& lite) {
    const int kind = depth > 0 ? Pick(8) : Pick(6);
    if (kind >= 6) {
      std::string lo, ll, ro, rl;
      Predicate(alias, depth - 1, lo, ll);
      Predicate(alias, depth - 1, ro, rl);
      const char* op = kind == 6 ? " AND " : " OR ";
      ours = "(" + lo + op + ro + ")", lite = "(" + ll + op + rl + ")";
      return;
    }
    const std::string number = alias + "." + (Chance(50) ? "a" : "b");
    const std::string k = std::to_string(Pick(10));
    static const char* const kOrders[] = {"<", ">", "<=", ">="};
    switch (kind) {
      case 0:
        ours = number + " = " + k, lite = "(" + number + " IS " + k + ")";
        return;
      case 1: {
        const std::string op = kOrders[Pick(4)];
        ours = number + " " + op + " " + k,
        lite = "COALESCE(" + number + " " + op + " " + k + ", 0)";
        return;
      }
      case 2: {
        const std::string word = std::string("'") + kTexts[Pick(7)] + "'";
        ours = alias + ".c <> " + word, lite = "(" + alias + ".c IS NOT " + word + ")";
        return;
      }
      case 3:
        ours = lite =
            alias + (Chance(50) ? ".c" : ".a") + (Chance(50) ? " IS NULL" : " IS NOT NULL");
        return;
      case 4: {
        const std::string range = k + " AND " + std::to_string(Pick(10));
        ours = number + " BETWEEN " + range;
        lite = "COALESCE(" + number + " BETWEEN " + range + ", 0)";
        return;
      }
      default:
        ours = alias + ".id <= " + k + "0", lite = alias + ".id <= " + k + "0";
    }
  }

  // A SET value for column of alias (its old values and constants).
  std::string SetValue(const TColumn& column, const std::string& alias) {
    switch (column.Kind) {
      case 's':
        return Chance(50) ? Value('s') : alias + ".c";
      case 'f':
        return Chance(50) ? Value('f') : alias + ".f + 0.5";
      default:
        switch (Pick(4)) {
          case 0:
            return Value('i');
          case 1:
            return alias + ".a + " + alias + ".b";
          case 2:
            return alias + ".b * 2";
          default:
            return alias + ".a + 1";
        }
    }
  }

  TStatementPair Statement(int& nextId) {
    const std::string table = Chance(50) ? "t1" : "t2";
    const std::string other = table == "t1" ? "t2" : "t1";
    TStatementPair s;
    std::string po, pl;
    Predicate(table, 2, po, pl);
    switch (Pick(6)) {
      case 0: {  // INSERT VALUES
        std::string values = std::to_string(nextId++);
        for (size_t c = 1; c < kColumns.size(); ++c) values += ", " + Value(kColumns[c].Kind);
        s.Ours = s.Lite = "INSERT INTO " + table + " VALUES (" + values + ")";
        return s;
      }
      case 1: {  // INSERT ... SELECT with new keys (every key so far is below nextId)
        const std::string base = std::to_string(nextId);
        nextId = 2 * nextId + 1;
        Predicate(other, 1, po, pl);
        const std::string items = other + ".id + " + base + ", " + other + ".b, " + other + ".a, " +
                                  other + ".c, " + other + ".f FROM " + other + " WHERE ";
        s.Ours = "INSERT INTO " + table + " SELECT " + items + po;
        s.Lite = "INSERT INTO " + table + " SELECT " + items + pl;
        return s;
      }
      case 2: {  // UPDATE
        std::string set;
        for (size_t c = 1; c < kColumns.size(); ++c)
          if (Chance(45))
            set += std::string(set.empty() ? "" : ", ") + kColumns[c].Name + " = " +
                   SetValue(kColumns[c], table);
        if (set.empty()) set = "a = " + table + ".b";
        s.Ours = "UPDATE " + table + " SET " + set + " WHERE " + po;
        s.Lite = "UPDATE " + table + " SET " + set + " WHERE " + pl;
        return s;
      }
      case 3: {  // UPDATE ... FROM, one partner per row (joined on the key)
        const std::string set = "b = o.a, c = o.c";
        s.Ours = "UPDATE " + table + " SET " + set + " FROM " + table + " JOIN " + other +
                 " o ON " + table + ".id = o.id WHERE " + po;
        s.Lite = "UPDATE " + table + " SET " + set + " FROM " + other + " o WHERE " + table +
                 ".id = o.id AND " + pl;
        return s;
      }
      case 4:  // DELETE
        s.Ours = "DELETE FROM " + table + " WHERE " + po;
        s.Lite = "DELETE FROM " + table + " WHERE " + pl;
        return s;
      default: {  // DELETE with a join (rows with any partner)
        const std::string on = table + ".a = o.a";
        s.Ours = "DELETE FROM " + table + " JOIN " + other + " o ON " + on + " WHERE " + po;
        s.Lite = "DELETE FROM " + table + " WHERE rowid IN (SELECT " + table + ".rowid FROM " +
                 table + " JOIN " + other + " o ON " + table + ".a IS o.a WHERE " + pl + ")";
        return s;
      }
    }
  }

 private:
  std::mt19937 random_;
};

class TLite {
 public:
  TLite() { sqlite3_open(":memory:", &db_); }
  ~TLite() { sqlite3_close(db_); }
  int64_t Run(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << (error ? error : "");
      sqlite3_free(error);
    }
    return sqlite3_changes(db_);
  }
  Rows Contents(const std::string& table) {
    Rows rows;
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db_, ("SELECT * FROM " + table).c_str(), -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        row += i ? "|" : "";
        const int type = sqlite3_column_type(statement, i);
        if (type == SQLITE_NULL) {
          row += "NULL";
        } else if (type == SQLITE_FLOAT) {
          char out[64];
          std::snprintf(out, sizeof out, "%.6g", sqlite3_column_double(statement, i));
          row += out;
        } else {
          row += reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
        }
      }
      rows.push_back(row);
    }
    sqlite3_finalize(statement);
    std::sort(rows.begin(), rows.end());
    return rows;
  }

 private:
  sqlite3* db_ = nullptr;
};

Rows OurContents(TSqlDatabase& db, const std::string& table) {
  TDataCursor cursor(db.Directory());
  cursor.SetTableName(table);
  cursor.OpenCursor();
  Rows rows = TSqlDatabase::RowsOf(cursor);
  std::sort(rows.begin(), rows.end());
  return rows;
}

void Fill(TSqlDatabase& ours, TLite& lite, TChangeGenerator& generator) {
  const std::vector<std::vector<uint16_t>> indexes[] = {{{1}, {2}, {4}}, {{1}, {3}}};
  for (int t = 0; t < 2; ++t) {
    const std::string name = "t" + std::to_string(t + 1);
    ours.CreateTable(name, kColumns, indexes[t], true);
    lite.Run("CREATE TABLE " + name + " (id INTEGER PRIMARY KEY, a, b, c, f)");
    lite.Run("CREATE INDEX " + name + "_a ON " + name + " (a)");
    std::vector<TRow> rows;
    for (int r = 1; r <= 30 + 10 * t; ++r) {
      TRow row = {std::to_string(r)};
      std::string values = std::to_string(r);
      for (size_t c = 1; c < kColumns.size(); ++c) {
        const std::string value = generator.Value(kColumns[c].Kind);
        values += ", " + value;
        if (value == "NULL")
          row.push_back(std::nullopt);
        else
          row.push_back(value.front() == '\'' ? value.substr(1, value.size() - 2) : value);
      }
      lite.Run("INSERT INTO " + name + " VALUES (" + values + ")");
      rows.push_back(std::move(row));
    }
    ours.Insert(name, rows);
  }
}

TEST(ChangeDifferential, RandomChangesLeaveTheTablesOfSqlite) {
  const int64_t total = engine_test::HeavyTestSize("PEBRIO_SQL_DIFF_CHANGES", 1200);
  constexpr int64_t kPerDatabase = 60;
  int64_t failures = 0, changedRows = 0;
  for (int64_t done = 0, round = 0; done < total; ++round) {
    TChangeGenerator generator(static_cast<uint32_t>(round * 4051 + 7));
    TSqlDatabase ours;
    TLite lite;
    Fill(ours, lite, generator);
    int nextId = 100;
    for (int64_t i = 0; i < kPerDatabase && done < total; ++i, ++done) {
      const TStatementPair s = generator.Statement(nextId);
      int64_t mine = -1;
      try {
        TQueryStatement statement(&ours.Directory());
        statement.Prepare(s.Ours);
        std::unique_ptr<TDataCursor>(statement.Execute());
        mine = statement.RowsAffected();
      } catch (const EVUZODEEngineError& error) {
        ADD_FAILURE() << s.Ours << "\n  raised " << error.what() << " " << error.ContextDetail();
        if (++failures > 5) return;
        continue;
      }
      const int64_t theirs = lite.Run(s.Lite);
      changedRows += theirs;
      EXPECT_EQ(mine, theirs) << s.Ours << "\n  sqlite: " << s.Lite;
      for (const char* table : {"t1", "t2"}) {
        const Rows a = OurContents(ours, table), b = lite.Contents(table);
        if (a == b) continue;
        ADD_FAILURE() << "after " << s.Ours << "\n  sqlite: " << s.Lite << "\n  " << table
                      << ": ours " << a.size() << " rows, sqlite " << b.size();
        if (++failures > 5) return;
      }
    }
  }
  // Statements that change nothing would compare little.
  EXPECT_GT(changedRows, total);
}

}  // namespace
}  // namespace sql_test
