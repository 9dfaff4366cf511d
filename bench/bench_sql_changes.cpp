// INSERT, UPDATE and DELETE against SQLite. Both sides start from an empty table CHG (K integer
// primary key, A integer with a secondary index, U integer, S a 12-character string):
//   sql_insert  1,000,000 single-row INSERTs with parameters, one prepared statement, all in
//               one transaction (START TRANSACTION ... COMMIT; SQLite BEGIN ... COMMIT);
//   sql_update  UPDATE ... SET u = u + 1, s = '...' WHERE a >= ? AND a < ?, 10% of the rows
//               found through the index on A (a permutation, so the rows lie all over the table);
//   sql_delete  DELETE ... WHERE a >= ? AND a < ?, another 10% (PEBRIO_BENCH_SQL_DELETE_PERMILLE
//               chooses another share in per mille). Its record locks, kept to the end of the
//               statement's transaction, escalate to one lock of the table past the session's
//               figure (PEBRIO_BENCH_SQL_ESCALATION sets it; 0 keeps a lock per record).
// Each side runs each statement once on the same rows; afterwards the row count and the sums
// of U must agree. SQLite's plan is checked to search the index on A.
#include "bench/bench_sql_changes.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "db/engine/cursor/data_cursor.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/sql/execution/statement_headers.h"

namespace {

using bench::Check;
using bench::Clock;
using bench::Fail;
using bench::Seconds;

constexpr int32_t kRows = 1000000;

int32_t ValueA(int32_t k, const std::vector<int32_t>& permutation) {
  return permutation[static_cast<size_t>(k - 1)];
}

std::string TextOf(int32_t k) {
  std::string text(12, 'a');
  for (int i = 0; i < 12; ++i) text[i] = static_cast<char>('a' + (k >> i) % 26);
  return text;
}

void CreateOurs(TDataDirectory& directory) {
  TTableDefinition definition;
  auto field = [](uint16_t number, const char* name, uint8_t type, uint8_t size) {
    FieldDescriptor f;
    f.FieldNumber = number, f.Name = name, f.Type = type, f.Size = size;
    return f;
  };
  definition.Fields = {field(1, "K", kFieldInteger, 0), field(2, "A", kFieldInteger, 0),
                       field(3, "U", kFieldInteger, 0), field(4, "S", kFieldString, 12)};
  IndexDescriptor primary, byA;
  primary.Unique = true, primary.FieldCount = 1, primary.FieldNumbers[0] = 1;
  byA.Name = "BYA", byA.FieldCount = 1, byA.FieldNumbers[0] = 2;
  definition.Indexes = {primary, byA};
  TDataCursor cursor(directory);
  cursor.SetTableName("CHG");
  cursor.SetExclusive(true);
  cursor.CreateTable(std::move(definition), true);
}

// Executes prepared statement with the integer parameters; the rows affected.
int64_t ExecuteOurs(TQueryStatement& statement, const std::vector<int32_t>& parameters) {
  std::vector<FieldDescriptor> descriptors(parameters.size());
  std::vector<uint8_t> values(parameters.size() * 5);
  for (size_t i = 0; i < parameters.size(); ++i) {
    descriptors[i].Type = kFieldInteger;
    descriptors[i].StoredLength = 4;
    descriptors[i].Offset = static_cast<uint16_t>(i * 5);
    values[i * 5] = 1;
    std::memcpy(&values[i * 5 + 1], &parameters[i], 4);
  }
  statement.BindParameters(descriptors, values);
  std::unique_ptr<TDataCursor>(statement.Execute());
  return statement.RowsAffected();
}

double InsertOurs(TDataDirectory& directory, const std::vector<int32_t>& permutation) {
  TQueryStatement statement(&directory);
  statement.Prepare("INSERT INTO chg VALUES (?, ?, ?, ?)");
  // K, A, U as integers; S as a string parameter of 13 bytes.
  std::vector<FieldDescriptor> descriptors(4);
  for (uint16_t i = 0; i < 4; ++i) {
    descriptors[i].Type = i == 3 ? kFieldString : kFieldInteger;
    descriptors[i].StoredLength = i == 3 ? 13 : 4;
    descriptors[i].Offset = static_cast<uint16_t>(i * 5);
  }
  std::vector<uint8_t> values(15 + 14);
  const auto start = Clock::now();
  TQueryStatement begin(&directory), commit(&directory);
  begin.Prepare("START TRANSACTION");
  std::unique_ptr<TDataCursor>(begin.Execute());
  for (int32_t k = 1; k <= kRows; ++k) {
    const int32_t row[3] = {k, ValueA(k, permutation), k % 1000};
    for (int i = 0; i < 3; ++i) {
      values[i * 5] = 1;
      std::memcpy(&values[i * 5 + 1], &row[i], 4);
    }
    values[15] = 1;
    const std::string text = TextOf(k);
    std::memcpy(&values[16], text.data(), 13);
    statement.BindParameters(descriptors, values);
    std::unique_ptr<TDataCursor>(statement.Execute());
  }
  commit.Prepare("COMMIT");
  std::unique_ptr<TDataCursor>(commit.Execute());
  return Seconds(start);
}

double InsertSqlite(sqlite3* db, const std::vector<int32_t>& permutation) {
  Check(sqlite3_exec(db,
                     "CREATE TABLE chg(k INTEGER PRIMARY KEY, a INTEGER, u INTEGER, s TEXT);"
                     "CREATE INDEX chg_a ON chg(a)",
                     nullptr, nullptr, nullptr),
        db, "create");
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO chg VALUES (?, ?, ?, ?)", -1, &insert, nullptr), db,
        "prepare");
  const auto start = Clock::now();
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
  for (int32_t k = 1; k <= kRows; ++k) {
    sqlite3_bind_int(insert, 1, k);
    sqlite3_bind_int(insert, 2, ValueA(k, permutation));
    sqlite3_bind_int(insert, 3, k % 1000);
    const std::string text = TextOf(k);
    sqlite3_bind_text(insert, 4, text.data(), 12, SQLITE_TRANSIENT);
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  }
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  const double seconds = Seconds(start);
  sqlite3_finalize(insert);
  return seconds;
}

double ChangeOurs(TDataDirectory& directory, const char* sql, const std::vector<int32_t>& range,
                  int64_t& affected) {
  TQueryStatement statement(&directory);
  statement.Prepare(sql);
  const auto start = Clock::now();
  affected = ExecuteOurs(statement, range);
  return Seconds(start);
}

double ChangeSqlite(sqlite3* db, const char* sql, const std::vector<int32_t>& range,
                    int64_t& affected) {
  sqlite3_stmt* statement = nullptr;
  Check(sqlite3_prepare_v2(db, (std::string("EXPLAIN QUERY PLAN ") + sql).c_str(), -1, &statement,
                           nullptr),
        db, "explain");
  bool indexed = false;
  while (sqlite3_step(statement) == SQLITE_ROW)
    indexed |= std::strstr(reinterpret_cast<const char*>(sqlite3_column_text(statement, 3)),
                           "chg_a") != nullptr;
  sqlite3_finalize(statement);
  if (!indexed) Fail(std::string("SQLite does not use the index for ") + sql);
  Check(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), db, sql);
  for (size_t i = 0; i < range.size(); ++i)
    sqlite3_bind_int(statement, static_cast<int>(i + 1), range[i]);
  const auto start = Clock::now();
  Check(sqlite3_step(statement), db, sql);
  affected = sqlite3_changes(db);
  const double seconds = Seconds(start);
  sqlite3_finalize(statement);
  return seconds;
}

// The row count and the sum of U on both sides must agree.
void CompareContents(TDataDirectory& directory, sqlite3* db, const char* after) {
  TQueryStatement statement(&directory);
  statement.Prepare("SELECT COUNT(*), SUM(u) FROM chg");
  std::unique_ptr<TDataCursor> result(statement.Execute());
  std::vector<uint8_t> buffer(result->RecordSize());
  result->SetToBegin();
  if (result->GetNextRecord(buffer.data()) != 0) Fail("no count row");
  int64_t count = 0;
  double sum = 0;
  const auto& fields = result->FieldDescriptors();
  std::memcpy(&count, buffer.data() + fields[0].Offset + 1, 4);
  count = static_cast<int32_t>(count);
  if (fields[1].Type == kFieldFloat) {
    std::memcpy(&sum, buffer.data() + fields[1].Offset + 1, 8);
  } else {
    int32_t small = 0;
    std::memcpy(&small, buffer.data() + fields[1].Offset + 1, 4);
    sum = small;
  }
  sqlite3_stmt* lite = nullptr;
  Check(sqlite3_prepare_v2(db, "SELECT COUNT(*), SUM(u) FROM chg", -1, &lite, nullptr), db, "sum");
  Check(sqlite3_step(lite), db, "sum");
  const int64_t theirCount = sqlite3_column_int64(lite, 0);
  const double theirSum = sqlite3_column_double(lite, 1);
  sqlite3_finalize(lite);
  if (count != theirCount || sum != theirSum)
    Fail(std::string("after ") + after + " the two sides differ: " + std::to_string(count) +
         " rows, sum " + std::to_string(sum) + " against " + std::to_string(theirCount) +
         " rows, sum " + std::to_string(theirSum));
}

}  // namespace

std::vector<TChangeTiming> RunChangeBenchmarks(TDataDirectory& directory, sqlite3* db,
                                               const std::vector<int32_t>& permutation,
                                               const char* only) {
  std::vector<TChangeTiming> timings;
  auto wanted = [&](const char* name) { return !only || std::string(only) == name; };
  if (!wanted("sql_insert") && !wanted("sql_update") && !wanted("sql_delete")) return timings;
  CreateOurs(directory);
  TChangeTiming insert{"sql_insert", kRows, InsertOurs(directory, permutation),
                       InsertSqlite(db, permutation)};
  CompareContents(directory, db, "INSERT");
  if (wanted("sql_insert")) timings.push_back(insert);
  if (only && std::string(only) == "sql_insert") return timings;
  // The deleted share in per mille: 100 (10%) unless PEBRIO_BENCH_SQL_DELETE_PERMILLE says.
  const char* permille = std::getenv("PEBRIO_BENCH_SQL_DELETE_PERMILLE");
  const int32_t share = std::clamp(permille ? std::atoi(permille) : 100, 1, 1000);
  if (const char* escalation = std::getenv("PEBRIO_BENCH_SQL_ESCALATION"))
    directory.Session().SetRecordLockEscalation(static_cast<uint32_t>(std::atol(escalation)));
  const std::vector<int32_t> first = {kRows / 10, kRows / 5},
                             second = {kRows / 2, kRows / 2 + kRows / 1000 * share};
  struct TChange {
    const char* Name;
    const char* Sql;
    const std::vector<int32_t>& Range;
  };
  const TChange changes[] = {
      {"sql_update", "UPDATE chg SET u = u + 1, s = 'changed' WHERE a >= ? AND a < ?", first},
      {"sql_delete", "DELETE FROM chg WHERE a >= ? AND a < ?", second},
  };
  for (const TChange& change : changes) {
    TChangeTiming timing{change.Name, 0, 0, 0};
    int64_t theirs = 0;
    timing.Ours = ChangeOurs(directory, change.Sql, change.Range, timing.Rows);
    timing.Sqlite = ChangeSqlite(db, change.Sql, change.Range, theirs);
    if (timing.Rows != theirs)
      Fail(std::string(change.Name) + ": rows affected differ (" + std::to_string(timing.Rows) +
           " and " + std::to_string(theirs) + ")");
    CompareContents(directory, db, change.Name);
    if (!wanted(change.Name)) continue;
    timings.push_back(timing);
    if (only) break;
  }
  return timings;
}
