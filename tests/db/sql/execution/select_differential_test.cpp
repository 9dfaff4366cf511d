// Differential test against SQLite 3: seeded random tables (integers, texts and quarter-valued
// floats with NULLs and repeated values) and random SELECTs of the shared dialect: WHERE with
// comparisons, LIKE, IN lists, BETWEEN, IN sub-selects, AND/OR/NOT; inner, left, right and
// comma joins; GROUP BY with aggregates and HAVING; implicit groups; DISTINCT; UNION [ALL];
// ORDER BY and TOP. Results are compared as multisets, and for ordered queries the sequence of
// ORDER BY keys must be the same. The query count comes from PEBRIO_SQL_DIFF_QUERIES.
//
// Every difference between the dialects is rewritten for SQLite in TLiteRules below, and only
// there.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "tests/db/sql/execution/sql_test_support.h"

namespace sql_test {
namespace {

using Rows = std::vector<std::string>;

// The rewrite rules: each takes the operands already written for SQLite.
struct TLiteRules {
  // "=" holds for two NULLs and "<>" for exactly one: SQLite's IS and IS NOT.
  static std::string Equal(const std::string& l, const std::string& r) {
    return "(" + l + " IS " + r + ")";
  }
  static std::string NotEqual(const std::string& l, const std::string& r) {
    return "(" + l + " IS NOT " + r + ")";
  }
  // Orderings read a NULL text as the empty text and are false against a NULL number.
  static std::string Order(const std::string& l, const std::string& op, const std::string& r,
                           bool text) {
    if (text) return "(COALESCE(" + l + ", '') " + op + " " + r + ")";
    return "COALESCE(" + l + " " + op + " " + r + ", 0)";
  }
  // A predicate over NULL is false, never unknown (NOT of it is true).
  static std::string Definite(const std::string& predicate) {
    return "COALESCE(" + predicate + ", 0)";
  }
  // LIKE compares letter case: SQLite's GLOB with its wildcards.
  static std::string Like(const std::string& column, std::string pattern) {
    for (char& c : pattern) c = c == '%' ? '*' : c == '_' ? '?' : c;
    return Definite(column + " GLOB '" + pattern + "'");
  }
  // The average over no values is 0.
  static std::string Avg(const std::string& argument) {
    return "COALESCE(AVG(" + argument + "), 0)";
  }
  static std::string Top(int count) { return " LIMIT " + std::to_string(count); }
};

// One query in both dialects, with the result columns its ORDER BY sorts on (0-based).
struct TQueryPair {
  std::string Ours, Lite;
  std::vector<int> OrderKeys;
};

struct TTableShape {
  const char* Name;
  std::vector<TColumn> Columns;
  std::vector<std::vector<uint16_t>> Indexes;
  int Rows;
};

const std::vector<TTableShape>& Shapes() {
  static const std::vector<TTableShape> shapes = {
      {"t1", {{"id", 'i'}, {"a", 'i'}, {"b", 'i'}, {"c", 's'}, {"f", 'f'}}, {{1}, {2}, {4}}, 60},
      {"t2", {{"id", 'i'}, {"a", 'i'}, {"b", 'i'}, {"c", 's'}, {"f", 'f'}}, {{1}, {3}}, 40},
      {"t3", {{"id", 'i'}, {"a", 'i'}, {"b", 'i'}, {"c", 's'}, {"f", 'f'}}, {}, 25},
  };
  return shapes;
}

const char* const kTexts[] = {"ab", "abc", "Ab", "b", "bd", "ca", "x", "abd"};
const char* const kPatterns[] = {"ab%", "%b", "a_", "%b%", "A%", "_a"};

class TGenerator {
 public:
  explicit TGenerator(uint32_t seed) : random_(seed) {}

  int Pick(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }
  bool Chance(int percent) { return Pick(100) < percent; }

  // A predicate over the aliases in scope.
  void Predicate(const std::vector<std::string>& aliases, int depth, std::string& ours,
                 std::string& lite) {
    const int kind = depth > 0 ? Pick(12) : Pick(9);
    if (kind >= 9) {
      std::string lo, ll, ro, rl;
      Predicate(aliases, depth - 1, lo, ll);
      if (kind == 9) {
        ours = "NOT (" + lo + ")", lite = "NOT (" + ll + ")";
        return;
      }
      Predicate(aliases, depth - 1, ro, rl);
      const char* op = kind == 10 ? " AND " : " OR ";
      ours = "(" + lo + op + ro + ")", lite = "(" + ll + op + rl + ")";
      return;
    }
    const std::string& alias = aliases[Pick(static_cast<int>(aliases.size()))];
    const std::string number = alias + "." + (Chance(50) ? "a" : "b");
    const std::string text = alias + ".c";
    const std::string k = std::to_string(Pick(10));
    const std::string word = std::string("'") + kTexts[Pick(8)] + "'";
    static const char* const kOrders[] = {"<", ">", "<=", ">="};
    switch (kind) {
      case 0:
        ours = number + " = " + k, lite = TLiteRules::Equal(number, k);
        return;
      case 1:
        ours = text + " <> " + word, lite = TLiteRules::NotEqual(text, word);
        return;
      case 2: {
        const std::string op = kOrders[Pick(4)];
        ours = number + " " + op + " " + k, lite = TLiteRules::Order(number, op, k, false);
        return;
      }
      case 3: {
        const std::string op = kOrders[Pick(4)];
        ours = text + " " + op + " " + word, lite = TLiteRules::Order(text, op, word, true);
        return;
      }
      case 4: {
        const std::string pattern = kPatterns[Pick(6)];
        ours = text + " LIKE '" + pattern + "'", lite = TLiteRules::Like(text, pattern);
        return;
      }
      case 5:
        ours = lite =
            std::string(Chance(50) ? text : number) + (Chance(50) ? " IS NULL" : " IS NOT NULL");
        return;
      case 6: {
        const std::string list = "(" + k + ", " + std::to_string(Pick(10)) + ", 7)";
        ours = number + " IN " + list, lite = TLiteRules::Definite(number + " IN " + list);
        return;
      }
      case 7: {
        const std::string range = k + " AND " + std::to_string(Pick(10));
        ours = number + " BETWEEN " + range,
        lite = TLiteRules::Definite(number + " BETWEEN " + range);
        return;
      }
      default: {
        // An IN sub-select over another table, without NULLs in its column.
        const std::string from =
            "SELECT s.b FROM t" + std::to_string(1 + Pick(3)) + " s WHERE s.b IS NOT NULL AND ";
        const std::string op = kOrders[Pick(4)];
        const std::string bound = std::to_string(Pick(10));
        ours = number + " IN (" + from + "s.a " + op + " " + bound + ")";
        lite = TLiteRules::Definite(number + " IN (" + from +
                                    TLiteRules::Order("s.a", op, bound, false) + ")");
        return;
      }
    }
  }

  // A plain select item over alias: a column or a simple expression.
  void Item(const std::string& alias, std::string& ours, std::string& lite) {
    switch (Pick(7)) {
      case 0:
        ours = lite = alias + ".a + " + alias + ".b";
        return;
      case 1:
        ours = lite = "UPPER(" + alias + ".c)";
        return;
      case 2:
        ours = lite = alias + ".f";
        return;
      case 3:
        ours = lite = alias + ".c";
        return;
      case 4:
        ours = lite = alias + ".b";
        return;
      default:
        ours = lite = alias + ".a";
    }
  }

  void Aggregate(const std::string& alias, std::string& ours, std::string& lite) {
    const std::string column = alias + "." + (Chance(50) ? "a" : Chance(50) ? "b" : "f");
    switch (Pick(6)) {
      case 0:
        ours = lite = "COUNT(*)";
        return;
      case 1:
        ours = lite = "COUNT(" + column + ")";
        return;
      case 2:
        ours = lite = "SUM(" + column + ")";
        return;
      case 3:
        ours = lite = "MIN(" + column + ")";
        return;
      case 4:
        ours = lite = "MAX(" + column + ")";
        return;
      default:
        ours = "AVG(" + column + ")", lite = TLiteRules::Avg(column);
    }
  }

  // FROM with one to three tables; answers the aliases.
  std::vector<std::string> From(std::string& ours, std::string& lite) {
    const int tables = Chance(45) ? 1 : Chance(75) ? 2 : 3;
    std::vector<std::string> aliases = {"x"};
    ours = lite = "t" + std::to_string(1 + Pick(3)) + " x";
    static const char* const kNames[] = {"y", "z"};
    for (int i = 1; i < tables; ++i) {
      const std::string alias = kNames[i - 1];
      const std::string table = "t" + std::to_string(1 + Pick(3)) + " " + alias;
      const std::string other = aliases[Pick(static_cast<int>(aliases.size()))];
      const std::string l = other + "." + (Chance(50) ? "a" : "b");
      // Now and then the joined table's unique id: a seek that finds at most one record.
      const std::string r = alias + "." + (Chance(20) ? "id" : Chance(50) ? "a" : "b");
      const int kind = i == 1 ? Pick(5) : Pick(4);
      if (kind == 0) {  // comma join with the link in WHERE (added by the caller)
        ours += ", " + table, lite += ", " + table;
        comma_links_.emplace_back(l, r);
      } else {
        const char* join = kind == 1 || kind == 2 ? " JOIN "
                           : kind == 3            ? " LEFT JOIN "
                                                  : " RIGHT JOIN ";
        ours += join + table + " ON " + l + " = " + r;
        lite += join + table + " ON " + TLiteRules::Equal(l, r);
      }
      aliases.push_back(alias);
    }
    return aliases;
  }

  TQueryPair Query() {
    comma_links_.clear();
    TQueryPair q;
    std::string fromOurs, fromLite;
    const std::vector<std::string> aliases = From(fromOurs, fromLite);
    std::string whereOurs, whereLite;
    for (const auto& [l, r] : comma_links_) {
      whereOurs += (whereOurs.empty() ? "" : " AND ") + l + " = " + r;
      whereLite += (whereLite.empty() ? "" : " AND ") + TLiteRules::Equal(l, r);
    }
    if (Chance(70)) {
      std::string o, l;
      Predicate(aliases, 2, o, l);
      whereOurs += (whereOurs.empty() ? "" : " AND ") + o;
      whereLite += (whereLite.empty() ? "" : " AND ") + l;
    }
    const std::string where = whereOurs.empty() ? "" : " WHERE " + whereOurs;
    const std::string whereL = whereLite.empty() ? "" : " WHERE " + whereLite;
    auto alias = [&] { return aliases[Pick(static_cast<int>(aliases.size()))]; };

    const int shape = Pick(10);
    std::vector<std::string> itemsO, itemsL;
    if (shape <= 2) {  // grouped
      const int groups = 1 + Pick(2);
      for (int i = 0; i < groups; ++i) {
        std::string o, l;
        Item(alias(), o, l);
        itemsO.push_back(o), itemsL.push_back(l);
      }
      const int aggregates = 1 + Pick(2);
      for (int i = 0; i < aggregates; ++i) {
        std::string o, l;
        Aggregate(alias(), o, l);
        itemsO.push_back(o), itemsL.push_back(l);
      }
      std::string group = " GROUP BY 1";
      if (groups == 2) group += ", 2";
      std::string having;
      std::string havingL;
      if (Chance(40)) {
        const int agg = groups + Pick(aggregates);
        const std::string k = std::to_string(Pick(8));
        having = " HAVING " + itemsO[agg] + " > " + k;
        havingL = " HAVING " + TLiteRules::Definite(itemsL[agg] + " > " + k);
      }
      q.Ours = "SELECT " + Join(itemsO) + " FROM " + fromOurs + where + group + having;
      q.Lite = "SELECT " + Join(itemsL) + " FROM " + fromLite + whereL + group + havingL;
      AddOrder(q, static_cast<int>(itemsO.size()), false);
    } else if (shape == 3) {  // implicit group
      const int aggregates = 1 + Pick(3);
      for (int i = 0; i < aggregates; ++i) {
        std::string o, l;
        Aggregate(alias(), o, l);
        itemsO.push_back(o), itemsL.push_back(l);
      }
      q.Ours = "SELECT " + Join(itemsO) + " FROM " + fromOurs + where;
      q.Lite = "SELECT " + Join(itemsL) + " FROM " + fromLite + whereL;
    } else if (shape == 4 && aliases.size() == 1) {  // UNION
      std::string o2, l2;
      Predicate({"w"}, 1, o2, l2);
      const std::string all = Chance(50) ? " UNION ALL " : " UNION ";
      const std::string column = Chance(50) ? "a" : "c";
      const std::string other = "t" + std::to_string(1 + Pick(3));
      q.Ours = "SELECT x." + column + " FROM " + fromOurs + where + all + "SELECT w." + column +
               " FROM " + other + " w WHERE " + o2;
      q.Lite = "SELECT x." + column + " FROM " + fromLite + whereL + all + "SELECT w." + column +
               " FROM " + other + " w WHERE " + l2;
      if (Chance(50)) {
        q.Ours += " ORDER BY 1", q.Lite += " ORDER BY 1";
        q.OrderKeys = {0};
      }
    } else {  // plain rows
      const int count = 1 + Pick(3);
      for (int i = 0; i < count; ++i) {
        std::string o, l;
        Item(alias(), o, l);
        itemsO.push_back(o), itemsL.push_back(l);
      }
      const std::string distinct = Chance(25) ? "DISTINCT " : "";
      q.Ours = "SELECT " + distinct + Join(itemsO) + " FROM " + fromOurs + where;
      q.Lite = "SELECT " + distinct + Join(itemsL) + " FROM " + fromLite + whereL;
      AddOrder(q, count, true);
    }
    return q;
  }

 private:
  static std::string Join(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : ", ") + item;
    return out;
  }

  // ORDER BY on result columns by number; TOP only when every column is a key, so that rows
  // equal on the keys are equal rows and both engines keep the same ones.
  void AddOrder(TQueryPair& q, int columns, bool topAllowed) {
    if (!Chance(50)) return;
    std::vector<int> keys(static_cast<size_t>(columns));
    for (int i = 0; i < columns; ++i) keys[static_cast<size_t>(i)] = i;
    std::shuffle(keys.begin(), keys.end(), random_);
    const bool all = Chance(50);
    if (!all) keys.resize(static_cast<size_t>(1 + Pick(columns)));
    std::string order = " ORDER BY ";
    for (size_t i = 0; i < keys.size(); ++i)
      order += (i ? ", " : "") + std::to_string(keys[i] + 1) + (Chance(30) ? " DESC" : "");
    q.Ours += order, q.Lite += order;
    q.OrderKeys = keys;
    if (topAllowed && all && static_cast<int>(keys.size()) == columns && Chance(50)) {
      const int top = 1 + Pick(10);
      q.Ours += " TOP " + std::to_string(top);
      q.Lite += TLiteRules::Top(top);
    }
  }

  std::mt19937 random_;
  std::vector<std::pair<std::string, std::string>> comma_links_;
};

class TLiteDatabase {
 public:
  TLiteDatabase() { sqlite3_open(":memory:", &db_); }
  ~TLiteDatabase() { sqlite3_close(db_); }
  void Run(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << (error ? error : "");
      sqlite3_free(error);
    }
  }
  Rows Query(const std::string& sql) {
    Rows rows;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
      return rows;
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::string row;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        if (i) row += '|';
        switch (sqlite3_column_type(statement, i)) {
          case SQLITE_NULL:
            row += "NULL";
            break;
          case SQLITE_INTEGER:
            row += std::to_string(sqlite3_column_int64(statement, i));
            break;
          case SQLITE_FLOAT: {
            char out[64];
            std::snprintf(out, sizeof out, "%.6g", sqlite3_column_double(statement, i));
            row += out;
            break;
          }
          default:
            row += reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
        }
      }
      rows.push_back(row);
    }
    sqlite3_finalize(statement);
    return rows;
  }

 private:
  sqlite3* db_ = nullptr;
};

// The texts of the key columns of each row.
Rows Keys(const Rows& rows, const std::vector<int>& keys) {
  Rows out;
  for (const std::string& row : rows) {
    std::vector<std::string> fields;
    std::stringstream stream(row);
    for (std::string field; std::getline(stream, field, '|');) fields.push_back(field);
    if (!row.empty() && row.back() == '|') fields.push_back("");
    std::string key;
    for (int k : keys) key += (k < static_cast<int>(fields.size()) ? fields[k] : "?") + "|";
    out.push_back(key);
  }
  return out;
}

void FillTables(TSqlDatabase& ours, TLiteDatabase& lite, std::mt19937& random) {
  auto value = [&](char kind) -> std::optional<std::string> {
    if (random() % 100 < 15) return std::nullopt;
    switch (kind) {
      case 's':
        return std::string(kTexts[random() % 8]);
      case 'f':
        return std::to_string(static_cast<double>(static_cast<int>(random() % 17) - 8) / 4);
      default:
        return std::to_string(random() % 10);
    }
  };
  for (const TTableShape& shape : Shapes()) {
    ours.CreateTable(shape.Name, shape.Columns, shape.Indexes, !shape.Indexes.empty());
    std::string create = std::string("CREATE TABLE ") + shape.Name + " (";
    for (size_t i = 0; i < shape.Columns.size(); ++i)
      create += (i ? ", " : "") + shape.Columns[i].Name;
    lite.Run(create + ")");
    for (size_t i = 0; i < shape.Indexes.size(); ++i)
      lite.Run("CREATE INDEX " + std::string(shape.Name) + "_" + std::to_string(i) + " ON " +
               shape.Name + " (" + shape.Columns[shape.Indexes[i][0] - 1].Name + ")");
    std::vector<TRow> rows;
    for (int r = 0; r < shape.Rows; ++r) {
      TRow row = {std::to_string(r + 1)};
      for (size_t c = 1; c < shape.Columns.size(); ++c) row.push_back(value(shape.Columns[c].Kind));
      std::string insert = std::string("INSERT INTO ") + shape.Name + " VALUES (";
      for (size_t c = 0; c < row.size(); ++c) {
        insert += c ? ", " : "";
        if (!row[c])
          insert += "NULL";
        else if (shape.Columns[c].Kind == 's')
          insert += "'" + *row[c] + "'";
        else
          insert += *row[c];
      }
      lite.Run(insert + ")");
      rows.push_back(std::move(row));
    }
    ours.Insert(shape.Name, rows);
  }
}

TEST(SelectDifferential, RandomQueriesGiveTheRowsOfSqlite) {
  const int64_t total = engine_test::HeavyTestSize("PEBRIO_SQL_DIFF_QUERIES", 2400);
  constexpr int64_t kQueriesPerDatabase = 200;
  int64_t failures = 0, withRows = 0;
  for (int64_t done = 0, round = 0; done < total; ++round) {
    std::mt19937 random(static_cast<uint32_t>(1000 + round));
    TSqlDatabase ours;
    TLiteDatabase lite;
    FillTables(ours, lite, random);
    TGenerator generator(static_cast<uint32_t>(round * 7919 + 13));
    for (int64_t i = 0; i < kQueriesPerDatabase && done < total; ++i, ++done) {
      const TQueryPair q = generator.Query();
      Rows mine;
      try {
        mine = ours.Rows(q.Ours);
      } catch (const EVUZODEEngineError& error) {
        ADD_FAILURE() << q.Ours << "\n  raised " << error.ContextDetail();
        if (++failures > 10) return;
        continue;
      }
      const Rows theirs = lite.Query(q.Lite);
      if (!theirs.empty()) ++withRows;
      if (!q.OrderKeys.empty()) {
        EXPECT_EQ(Keys(mine, q.OrderKeys), Keys(theirs, q.OrderKeys))
            << "order of " << q.Ours << "\n  sqlite: " << q.Lite;
      }
      Rows a = mine, b = theirs;
      std::sort(a.begin(), a.end());
      std::sort(b.begin(), b.end());
      if (a != b) {
        ADD_FAILURE() << q.Ours << "\n  sqlite: " << q.Lite << "\n  ours " << a.size()
                      << " rows, sqlite " << b.size() << " rows"
                      << (a.empty() ? "" : "\n  first of ours: " + a.front())
                      << (b.empty() ? "" : "\n  first of sqlite: " + b.front());
        if (++failures > 10) return;
      }
    }
  }
  // A generator whose queries mostly find nothing would compare little.
  EXPECT_GT(withRows * 2, total);
}

}  // namespace
}  // namespace sql_test
