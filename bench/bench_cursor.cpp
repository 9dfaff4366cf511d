// Cursors against SQLite. A table of one million records (K integer with a unique primary
// index, A integer with a second index, S a 20-character string, F float) is filled through a
// cursor, appending every record in one transaction, in key order (PEBRIO_BENCH_CURSOR_ORDER=
// shuffled appends the keys in shuffled order, so that key order is not record order); the same
// rows go into an SQLite file in the same folder (k INTEGER PRIMARY KEY, an index on a,
// synchronous=OFF, one transaction, a prepared insert, the same order). Both fills are timed
// (append); each side then reopens its table.
//
// Timed, three rounds, the best counting (the first, from a just opened table, is printed too),
// every field of every record read on both sides:
//   scan     ours: SetToBegin, then GetNextRecord until VUZODE_EOF;
//            SQLite: SELECT * FROM t ORDER BY k.
//   findkey  100,000 random keys; ours: FindKey with a record holding the key;
//            SQLite: SELECT * FROM t WHERE k=? (its plan is printed and checked).
// Our cursor is an ordinary shared one, SQLite runs in autocommit: each side looks for other
// users' changes as it normally would. Both get the same stated cache budget: our session's
// data and index figures (kDataCacheBytes + kIndexCacheBytes) and SQLite's cache_size. The
// ratio lines give our time over SQLite's; the filtered counts (TimeOurFilters) and the BLOB
// round trip (bench_cursor_blobs.cpp) come last.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_cursor_blobs.h"
#include "bench/bench_support.h"
#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/errors/engine_error_codes.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/storage/data/field_value.h"

namespace {

constexpr int32_t kRecords = 1000000;
constexpr int kLookups = 100000;
constexpr int kRounds = 3;
constexpr uint32_t kDataCacheBytes = 64u << 20;
constexpr uint32_t kIndexCacheBytes = 32u << 20;
constexpr size_t kStringLength = 20;
constexpr const char* kTable = "CURSORS";

using bench::Check;
using bench::Clock;
using bench::Fail;
using bench::Seconds;

// The row of key k, the same on every run: A, S and F come from a mix of the key.
struct TRow {
  int32_t K = 0;
  int32_t A = 0;
  char S[kStringLength + 1] = {};
  double F = 0;
};

TRow RowOf(int32_t k) {
  uint64_t x = static_cast<uint64_t>(k) * 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  x ^= x >> 31;
  TRow row;
  row.K = k;
  row.A = static_cast<int32_t>(x % 2000000001ull) - 1000000000;
  uint64_t letters = x;
  for (size_t i = 0; i < kStringLength; ++i) {
    if (i % 12 == 0) letters = x * (i + 3) + (x >> 17);
    row.S[i] = static_cast<char>('a' + letters % 26);
    letters /= 26;
  }
  row.F = static_cast<double>(x >> 40) / 64.0;
  return row;
}

// What a read gives back, summed so both sides can be compared.
struct TSum {
  int64_t Count = 0;
  int64_t Integers = 0;
  uint64_t Letters = 0;
  double Floats = 0;
  bool operator==(const TSum&) const = default;
  void Add(int64_t k, int64_t a, const char* s, size_t length, double f) {
    ++Count;
    Integers += k * 3 + a;
    for (size_t i = 0; i < length; ++i) Letters += static_cast<uint8_t>(s[i]) * (i + 1);
    Floats += f;
  }
};

// Best of the rounds, and the first round, which starts with the table just opened.
struct TTimes {
  double Scan = 1e9;
  double FindKey = 1e9;
  double FirstScan = 0;
  double FirstFindKey = 0;
  TSum ScanSum, FindSum;
  void Note(int round, double scan, double findKey) {
    if (round == 0) {
      FirstScan = scan;
      FirstFindKey = findKey;
    }
    Scan = std::min(Scan, scan);
    FindKey = std::min(FindKey, findKey);
  }
};

TTableDefinition Definition() {
  auto field = [](uint16_t number, const char* name, uint8_t type, uint8_t size) {
    FieldDescriptor f;
    f.FieldNumber = number;
    f.Name = name;
    f.Type = type;
    f.Size = size;
    return f;
  };
  TTableDefinition d;
  d.Fields = {field(1, "K", kFieldInteger, 0), field(2, "A", kFieldInteger, 0),
              field(3, "S", kFieldString, kStringLength), field(4, "F", kFieldFloat, 0)};
  IndexDescriptor primary;
  primary.Unique = true;
  primary.FieldCount = 1;
  primary.FieldNumbers[0] = 1;
  d.Indexes.push_back(primary);
  IndexDescriptor byA;
  byA.Name = "BYA";
  byA.FieldCount = 1;
  byA.FieldNumbers[0] = 2;
  d.Indexes.push_back(byA);
  return d;
}

// Creates the table and appends the rows of order through a cursor in one transaction;
// answers the time the appends and the commit took.
double FillOurs(TDataDirectory& directory, const std::vector<int32_t>& order) {
  TDataCursor cursor(directory);
  cursor.SetTableName(kTable);
  // Creating takes the table to itself; the cursor then opens it shared.
  cursor.SetExclusive(true);
  cursor.CreateTable(Definition(), true);
  cursor.SetExclusive(false);
  cursor.OpenCursor();
  const std::vector<FieldDescriptor>& fields = cursor.FieldDescriptors();
  std::vector<uint8_t> record(cursor.RecordSize());
  const TRecordImage image(record.data(), record.size());
  const auto start = Clock::now();
  directory.StartTransaction();
  for (int32_t k : order) {
    const TRow row = RowOf(k);
    std::fill(record.begin(), record.end(), uint8_t{0});
    SetFieldInteger(image, fields[0], row.K);
    SetFieldInteger(image, fields[1], row.A);
    SetFieldString(image, fields[2], std::string_view(row.S, kStringLength));
    SetFieldFloat(image, fields[3], row.F);
    cursor.AppendRecord(record.data(), false);
  }
  directory.Commit();
  const double time = Seconds(start);
  cursor.CloseCursor();
  return time;
}

TTimes TimeOurs(TDataDirectory& directory, const std::vector<int32_t>& probes) {
  TDataCursor cursor(directory);
  cursor.SetTableName(kTable);
  cursor.OpenCursor();
  const std::vector<FieldDescriptor>& fields = cursor.FieldDescriptors();
  std::vector<uint8_t> buffer(cursor.RecordSize()), probe(cursor.RecordSize(), 0);
  const TConstRecordImage image(buffer.data(), buffer.size());
  std::string s;
  s.reserve(kStringLength + 1);
  auto read = [&](TSum& sum) {
    int64_t k = 0, a = 0;
    double f = 0;
    GetFieldInteger(image, fields[0], k);
    GetFieldInteger(image, fields[1], a);
    GetFieldString(image, fields[2], s);
    GetFieldFloat(image, fields[3], f);
    sum.Add(k, a, s.data(), s.size(), f);
  };
  TTimes times;
  for (int round = 0; round < kRounds; ++round) {
    TSum scan;
    auto start = Clock::now();
    cursor.SetToBegin();
    while (cursor.GetNextRecord(buffer.data()) == 0) read(scan);
    const double scanTime = Seconds(start);
    times.ScanSum = scan;

    TSum found;
    start = Clock::now();
    for (int32_t k : probes) {
      SetFieldInteger(TRecordImage(probe.data(), probe.size()), fields[0], k);
      if (!cursor.FindKey(probe.data(), false, buffer.data(), 0, false, 0)) Fail("key not found");
      read(found);
    }
    times.Note(round, scanTime, Seconds(start));
    times.FindSum = found;
  }
  TDataTable& table = *cursor.Table();
  std::printf("ours: data file %.1f MB, index file %.1f MB, index pages cached %zu\n",
              static_cast<double>(table.DataFile().GetFileSize()) / 1e6,
              static_cast<double>(table.IndexFile().GetFileSize()) / 1e6,
              table.IndexFile().CachedPageCount());
  cursor.CloseCursor();
  return times;
}

// Prints the plan of sql and returns its lines joined.
std::string PrintPlan(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* plan = nullptr;
  Check(sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &plan, nullptr), db,
        "plan");
  std::string lines;
  while (sqlite3_step(plan) == SQLITE_ROW) {
    const char* detail = reinterpret_cast<const char*>(sqlite3_column_text(plan, 3));
    std::printf("sqlite plan of %s: %s\n", sql.c_str(), detail);
    lines += std::string(detail) + "\n";
  }
  sqlite3_finalize(plan);
  return lines;
}

// Opens file with the settings of both phases.
sqlite3* OpenSqlite(const std::string& file) {
  sqlite3* db = nullptr;
  Check(sqlite3_open(file.c_str(), &db), db, "open");
  const std::string pragmas = "PRAGMA synchronous=OFF; PRAGMA cache_size=-" +
                              std::to_string((kDataCacheBytes + kIndexCacheBytes) / 1024);
  Check(sqlite3_exec(db, pragmas.c_str(), nullptr, nullptr, nullptr), db, "pragma");
  return db;
}

// Creates t with the index on a and inserts the rows of order in one transaction; answers the
// time the inserts and the commit took.
double FillSqlite(const std::string& file, const std::vector<int32_t>& order) {
  sqlite3* db = OpenSqlite(file);
  Check(sqlite3_exec(db,
                     "CREATE TABLE t(k INTEGER PRIMARY KEY, a INTEGER, s TEXT, f REAL); "
                     "CREATE INDEX ta ON t(a)",
                     nullptr, nullptr, nullptr),
        db, "create");
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?, ?, ?, ?)", -1, &insert, nullptr), db,
        "prepare");
  const auto start = Clock::now();
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
  for (int32_t k : order) {
    const TRow row = RowOf(k);
    sqlite3_bind_int64(insert, 1, row.K);
    sqlite3_bind_int64(insert, 2, row.A);
    sqlite3_bind_text(insert, 3, row.S, static_cast<int>(kStringLength), SQLITE_STATIC);
    sqlite3_bind_double(insert, 4, row.F);
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  }
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  const double time = Seconds(start);
  sqlite3_finalize(insert);
  sqlite3_close(db);
  return time;
}

TTimes TimeSqlite(sqlite3* db, const std::vector<int32_t>& probes) {
  const std::string scanSql = "SELECT * FROM t ORDER BY k";
  const std::string findSql = "SELECT * FROM t WHERE k=?";
  const std::string scanPlan = PrintPlan(db, scanSql);
  if (scanPlan.find("SCAN") == std::string::npos ||
      scanPlan.find("TEMP B-TREE") != std::string::npos) {
    Fail("sqlite does not scan t in key order");
  }
  if (PrintPlan(db, findSql).find("INTEGER PRIMARY KEY") == std::string::npos) {
    Fail("sqlite does not search by key");
  }
  sqlite3_stmt* scan = nullptr;
  sqlite3_stmt* find = nullptr;
  Check(sqlite3_prepare_v2(db, scanSql.c_str(), -1, &scan, nullptr), db, "prepare");
  Check(sqlite3_prepare_v2(db, findSql.c_str(), -1, &find, nullptr), db, "prepare");
  auto read = [](sqlite3_stmt* row, TSum& sum) {
    const int64_t k = sqlite3_column_int64(row, 0);
    const int64_t a = sqlite3_column_int64(row, 1);
    const char* s = reinterpret_cast<const char*>(sqlite3_column_text(row, 2));
    const size_t length = static_cast<size_t>(sqlite3_column_bytes(row, 2));
    sum.Add(k, a, s, length, sqlite3_column_double(row, 3));
  };
  TTimes times;
  for (int round = 0; round < kRounds; ++round) {
    TSum all;
    auto start = Clock::now();
    int rc;
    while ((rc = sqlite3_step(scan)) == SQLITE_ROW) read(scan, all);
    Check(rc, db, "scan");
    sqlite3_reset(scan);
    const double scanTime = Seconds(start);
    times.ScanSum = all;

    TSum found;
    start = Clock::now();
    for (int32_t k : probes) {
      sqlite3_bind_int64(find, 1, k);
      if (sqlite3_step(find) != SQLITE_ROW) Fail("sqlite key not found");
      read(find, found);
      sqlite3_reset(find);
    }
    times.Note(round, scanTime, Seconds(start));
    times.FindSum = found;
  }
  sqlite3_finalize(scan);
  sqlite3_finalize(find);
  return times;
}

// Filtered counts over the same table, each side's statement or filter made once and the count
// timed, best of the rounds:
//   filter_range  1 % of the records through the key: ours the filter kRangeFilter answered
//                 from the primary index, SQLite SELECT count(*) with the same WHERE (its plan
//                 checked to search by key);
//   filter_scan   five terms on the unindexed S and F: every record evaluated on both sides
//                 (SQLite's plan checked to scan).
// Ours: ActivateFilter and RecordCount timed, DeactivateFilter after each round.
constexpr const char* kRangeFilter = "K >= 400000 AND K < 410000";
constexpr const char* kScanFilter =
    "F >= 1000 AND F < 10000000000 AND S > 'c' AND S < 'x' AND S <> 'mmmm'";

struct TFilterTimes {
  double Range = 1e9;
  double Scan = 1e9;
  int64_t RangeCount = -1;
  int64_t ScanCount = -1;
};

TFilterTimes TimeOurFilters(TDataDirectory& directory) {
  TDataCursor cursor(directory);
  cursor.SetTableName(kTable);
  cursor.OpenCursor();
  TFilter* range = cursor.AddFilter(kRangeFilter, {});
  TFilter* scan = cursor.AddFilter(kScanFilter, {});
  if (range->Servability != 2 || scan->Servability != 0) Fail("unexpected filter servability");
  TFilterTimes times;
  for (int round = 0; round < kRounds; ++round) {
    for (TFilter* filter : {range, scan}) {
      const auto start = Clock::now();
      cursor.ActivateFilter(filter);
      const int64_t count = cursor.RecordCount();
      const double time = Seconds(start);
      cursor.DeactivateFilter(filter);
      (filter == range ? times.Range : times.Scan) =
          std::min(filter == range ? times.Range : times.Scan, time);
      (filter == range ? times.RangeCount : times.ScanCount) = count;
    }
  }
  cursor.CloseCursor();
  return times;
}

TFilterTimes TimeSqliteFilters(sqlite3* db) {
  const std::string rangeSql = "SELECT count(*) FROM t WHERE k >= 400000 AND k < 410000";
  const std::string scanSql =
      "SELECT count(*) FROM t WHERE f >= 1000 AND f < 10000000000 AND s > 'c' AND s < 'x' AND "
      "s <> 'mmmm'";
  if (PrintPlan(db, rangeSql).find("INTEGER PRIMARY KEY") == std::string::npos) {
    Fail("sqlite does not count the range by key");
  }
  if (PrintPlan(db, scanSql).find("SCAN") == std::string::npos) Fail("sqlite does not scan");
  sqlite3_stmt* range = nullptr;
  sqlite3_stmt* scan = nullptr;
  Check(sqlite3_prepare_v2(db, rangeSql.c_str(), -1, &range, nullptr), db, "prepare");
  Check(sqlite3_prepare_v2(db, scanSql.c_str(), -1, &scan, nullptr), db, "prepare");
  TFilterTimes times;
  for (int round = 0; round < kRounds; ++round) {
    for (sqlite3_stmt* statement : {range, scan}) {
      const auto start = Clock::now();
      Check(sqlite3_step(statement), db, "count");
      const int64_t count = sqlite3_column_int64(statement, 0);
      sqlite3_reset(statement);
      const double time = Seconds(start);
      (statement == range ? times.Range : times.Scan) =
          std::min(statement == range ? times.Range : times.Scan, time);
      (statement == range ? times.RangeCount : times.ScanCount) = count;
    }
  }
  sqlite3_finalize(range);
  sqlite3_finalize(scan);
  return times;
}

}  // namespace

int main() {
  const std::filesystem::path folder = bench::MakeScratchFolder("pebrio_bench_cursor");

  std::mt19937 random(20240611);
  std::vector<int32_t> order(kRecords);
  std::iota(order.begin(), order.end(), 1);
  const char* orderSetting = std::getenv("PEBRIO_BENCH_CURSOR_ORDER");
  const bool shuffled = orderSetting != nullptr && std::string(orderSetting) == "shuffled";
  if (shuffled) std::shuffle(order.begin(), order.end(), random);
  std::printf("records appended in %s order\n", shuffled ? "shuffled" : "key");
  std::vector<int32_t> probes(kLookups);
  for (int32_t& k : probes) k = static_cast<int32_t>(1 + random() % kRecords);

  TTimes ours, theirs;
  TFilterTimes ourFilters, theirFilters;
  TBlobTimes blobs;
  double ourAppend = 0;
  try {
    TDataSession session;
    session.SetBufferSettings(kDataCacheBytes, kDataCacheBytes / 32, kIndexCacheBytes,
                              kDefaultBlobCacheBytes, kDefaultMaxCachedBlocks);
    TDataDirectory& directory = session.OpenDirectory("bench", folder.string());
    ourAppend = FillOurs(directory, order);
    std::printf("ours: appended %d records in one transaction in %.3f s\n", kRecords, ourAppend);
    ours = TimeOurs(directory, probes);
    ourFilters = TimeOurFilters(directory);
    blobs = TimeBlobRoundTrips(directory, folder);
  } catch (const EVUZODEEngineError& e) {
    std::fprintf(stderr, "engine error %u: %s\n", e.EngineCode(), e.what());
    Fail("the engine failed");
  }

  const std::string sqliteFile = (folder / "cursors.sqlite").string();
  const double theirAppend = FillSqlite(sqliteFile, order);
  std::printf("sqlite: inserted %d records in one transaction in %.3f s, file %.1f MB\n", kRecords,
              theirAppend,
              static_cast<double>(std::filesystem::file_size(folder / "cursors.sqlite")) / 1e6);
  sqlite3* db = OpenSqlite(sqliteFile);
  theirs = TimeSqlite(db, probes);
  theirFilters = TimeSqliteFilters(db);
  sqlite3_close(db);
  std::filesystem::remove_all(folder);

  if (ours.ScanSum.Count != kRecords || !(ours.ScanSum == theirs.ScanSum) ||
      !(ours.FindSum == theirs.FindSum)) {
    Fail("the two sides read different rows");
  }
  if (ourFilters.RangeCount != theirFilters.RangeCount ||
      ourFilters.ScanCount != theirFilters.ScanCount) {
    Fail("the two sides count different rows");
  }
  std::printf("cache budget: ours data %u + index %u bytes, sqlite %u bytes\n", kDataCacheBytes,
              kIndexCacheBytes, kDataCacheBytes + kIndexCacheBytes);
  std::printf(
      "first round after opening: cursor scan %.3f s, findkey %.3f s; sqlite scan "
      "%.3f s, findkey %.3f s\n",
      ours.FirstScan, ours.FirstFindKey, theirs.FirstScan, theirs.FirstFindKey);
  std::printf("best of %d rounds (%d records, %d lookups):\n", kRounds, kRecords, kLookups);
  std::printf("cursor scan %.3f s, findkey %.3f s\n", ours.Scan, ours.FindKey);
  std::printf("sqlite scan %.3f s, findkey %.3f s\n", theirs.Scan, theirs.FindKey);
  std::printf("ratio cursor_scan_vs_sqlite %.3f\n", ours.Scan / theirs.Scan);
  std::printf("ratio cursor_findkey_vs_sqlite %.3f\n", ours.FindKey / theirs.FindKey);
  std::printf(
      "filtered counts (best of %d): range %lld rows ours %.6f s, sqlite %.6f s; "
      "scan %lld rows ours %.4f s, sqlite %.4f s\n",
      kRounds, static_cast<long long>(ourFilters.RangeCount), ourFilters.Range, theirFilters.Range,
      static_cast<long long>(ourFilters.ScanCount), ourFilters.Scan, theirFilters.Scan);
  std::printf("ratio filter_range_vs_sqlite %.3f\n", ourFilters.Range / theirFilters.Range);
  std::printf("ratio filter_scan_vs_sqlite %.3f\n", ourFilters.Scan / theirFilters.Scan);
  std::printf("append (one transaction): ours %.3f s, sqlite %.3f s\n", ourAppend, theirAppend);
  std::printf("ratio append_vs_sqlite %.3f\n", ourAppend / theirAppend);
  std::printf("1 MiB BLOB written and read (best of %d): cursor %.4f s, file layer %.4f s\n",
              kBlobRounds, blobs.Cursor, blobs.File);
  std::printf("ratio blob_rw_vs_file %.3f\n", blobs.Cursor / blobs.File);
  return 0;
}
