// SELECT statements against SQLite. Three tables hold the same rows on both sides:
//   BIG   1,000,000 rows: K integer primary key, A integer (a permutation of 0..999,999,
//         indexed), U integer (unindexed), G100 = K mod 100, G100K = K mod 100,000,
//         D1000 = U mod 1,000, F float, S a 12-character string;
//   MID   100,000 rows: K primary key, REF in 1..1,000, U integer;
//   SMALL 1,000 rows: ID primary key, NAME.
// SQLite gets the same indexes (INTEGER PRIMARY KEY, an index on big.a), synchronous=OFF, one
// transaction per fill, a cache_size equal to our session's data and index budgets, and
// prepared statements. Ours prepares each statement once (RequestLive set, as the query
// component asks) and executes it as often as SQLite steps its statement; every row of every
// result is fetched and its columns read on both sides, and the sums of what was read must
// agree. Best of three rounds each; one "ratio NAME X" line per statement (our time over
// SQLite's). INSERT, UPDATE and DELETE follow (bench_sql_changes.cpp). Our commit journal is on,
// as by default; PEBRIO_BENCH_SQL_JOURNAL=0 turns it off.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_sql_changes.h"
#include "bench/bench_support.h"
#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/sql/execution/select_runner.h"
#include "db/sql/execution/statement_headers.h"
#include "db/storage/data/field_value.h"

namespace {

constexpr int32_t kBig = 1000000;
constexpr int32_t kMid = 100000;
constexpr int32_t kSmall = 1000;
constexpr int kLookups = 100000;
constexpr int kRanges = 20;
constexpr int kRounds = 3;
constexpr uint32_t kDataCacheBytes = 64u << 20;
constexpr uint32_t kIndexCacheBytes = 32u << 20;

using bench::Check;
using bench::Clock;
using bench::Fail;
using bench::Seconds;

uint64_t Mix(uint64_t x) {
  x *= 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

struct TBigRow {
  int32_t K, A, U, G100, G100K, D1000;
  double F;
  char S[13];
};

// A: a permutation of 0..kBig-1 (an odd multiplier modulo a power of two, then folded).
TBigRow BigRow(int32_t k, const std::vector<int32_t>& permutation) {
  const uint64_t x = Mix(static_cast<uint64_t>(k));
  TBigRow row{};
  row.K = k;
  row.A = permutation[static_cast<size_t>(k - 1)];
  row.U = static_cast<int32_t>(x % 1000000007ull);
  row.G100 = k % 100;
  row.G100K = k % 100000;
  row.D1000 = row.U % 1000;
  row.F = static_cast<double>(x >> 44) / 16.0;
  for (int i = 0; i < 12; ++i) row.S[i] = static_cast<char>('a' + (x >> (i * 4)) % 26);
  return row;
}

// What a side read: the row count and the sums of its integer, float and text columns.
struct TSum {
  int64_t Rows = 0;
  int64_t Integers = 0;
  double Floats = 0;
  int64_t Letters = 0;
  bool operator==(const TSum& o) const {
    return Rows == o.Rows && Integers == o.Integers && Letters == o.Letters &&
           (Floats - o.Floats) * (Floats - o.Floats) <= 1e-6 * (1 + Floats * Floats);
  }
};

FieldDescriptor Field(uint16_t number, const char* name, uint8_t type, uint8_t size = 0) {
  FieldDescriptor f;
  f.FieldNumber = number;
  f.Name = name;
  f.Type = type;
  f.Size = size;
  return f;
}

IndexDescriptor Index(const char* name, uint16_t field, bool unique) {
  IndexDescriptor d;
  d.Name = name;
  d.Unique = unique;
  d.FieldCount = 1;
  d.FieldNumbers[0] = field;
  return d;
}

// Creates table and appends rows through a cursor in one transaction.
void FillOurs(
    TDataDirectory& directory, const char* table, TTableDefinition definition, int32_t count,
    const std::function<void(int32_t, TRecordImage, const std::vector<FieldDescriptor>&)>& fill) {
  TDataCursor cursor(directory);
  cursor.SetTableName(table);
  cursor.SetExclusive(true);
  cursor.CreateTable(std::move(definition), true);
  cursor.SetExclusive(false);
  cursor.OpenCursor();
  std::vector<uint8_t> record(cursor.RecordSize());
  const TRecordImage image(record.data(), record.size());
  directory.StartTransaction();
  for (int32_t k = 1; k <= count; ++k) {
    std::fill(record.begin(), record.end(), uint8_t{0});
    fill(k, image, cursor.FieldDescriptors());
    cursor.AppendRecord(record.data(), false);
  }
  directory.Commit();
  cursor.CloseCursor();
}

void FillBothSides(TDataDirectory& directory, sqlite3* db, const std::vector<int32_t>& perm) {
  TTableDefinition big;
  big.Fields = {Field(1, "K", kFieldInteger),     Field(2, "A", kFieldInteger),
                Field(3, "U", kFieldInteger),     Field(4, "G100", kFieldInteger),
                Field(5, "G100K", kFieldInteger), Field(6, "D1000", kFieldInteger),
                Field(7, "F", kFieldFloat),       Field(8, "S", kFieldString, 12)};
  big.Indexes = {Index("", 1, true), Index("BYA", 2, false)};
  FillOurs(directory, "BIG", big, kBig, [&](int32_t k, TRecordImage image, const auto& f) {
    const TBigRow row = BigRow(k, perm);
    SetFieldInteger(image, f[0], row.K), SetFieldInteger(image, f[1], row.A);
    SetFieldInteger(image, f[2], row.U), SetFieldInteger(image, f[3], row.G100);
    SetFieldInteger(image, f[4], row.G100K), SetFieldInteger(image, f[5], row.D1000);
    SetFieldFloat(image, f[6], row.F), SetFieldString(image, f[7], std::string_view(row.S, 12));
  });
  TTableDefinition mid;
  mid.Fields = {Field(1, "K", kFieldInteger), Field(2, "REF", kFieldInteger),
                Field(3, "U", kFieldInteger)};
  mid.Indexes = {Index("", 1, true)};
  FillOurs(directory, "MID", mid, kMid, [&](int32_t k, TRecordImage image, const auto& f) {
    const uint64_t x = Mix(static_cast<uint64_t>(k) + 7);
    SetFieldInteger(image, f[0], k);
    SetFieldInteger(image, f[1], static_cast<int64_t>(1 + x % kSmall));
    SetFieldInteger(image, f[2], static_cast<int64_t>((x >> 20) % 1000000007ull));
  });
  TTableDefinition small;
  small.Fields = {Field(1, "ID", kFieldInteger), Field(2, "NAME", kFieldString, 12)};
  small.Indexes = {Index("", 1, true)};
  FillOurs(directory, "SMALL", small, kSmall, [&](int32_t k, TRecordImage image, const auto& f) {
    SetFieldInteger(image, f[0], k);
    SetFieldString(image, f[1], "name" + std::to_string(k));
  });

  Check(sqlite3_exec(db,
                     "CREATE TABLE big(k INTEGER PRIMARY KEY, a INTEGER, u INTEGER, g100 INTEGER, "
                     "g100k INTEGER, d1000 INTEGER, f REAL, s TEXT); CREATE INDEX bya ON big(a);"
                     "CREATE TABLE mid(k INTEGER PRIMARY KEY, ref INTEGER, u INTEGER);"
                     "CREATE TABLE small(id INTEGER PRIMARY KEY, name TEXT); BEGIN",
                     nullptr, nullptr, nullptr),
        db, "create");
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO big VALUES(?,?,?,?,?,?,?,?)", -1, &insert, nullptr), db,
        "prepare");
  for (int32_t k = 1; k <= kBig; ++k) {
    const TBigRow row = BigRow(k, perm);
    const int64_t values[] = {row.K, row.A, row.U, row.G100, row.G100K, row.D1000};
    for (int i = 0; i < 6; ++i) sqlite3_bind_int64(insert, i + 1, values[i]);
    sqlite3_bind_double(insert, 7, row.F);
    sqlite3_bind_text(insert, 8, row.S, 12, SQLITE_STATIC);
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Check(sqlite3_prepare_v2(db, "INSERT INTO mid VALUES(?,?,?)", -1, &insert, nullptr), db, "p");
  for (int32_t k = 1; k <= kMid; ++k) {
    const uint64_t x = Mix(static_cast<uint64_t>(k) + 7);
    sqlite3_bind_int64(insert, 1, k);
    sqlite3_bind_int64(insert, 2, static_cast<int64_t>(1 + x % kSmall));
    sqlite3_bind_int64(insert, 3, static_cast<int64_t>((x >> 20) % 1000000007ull));
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Check(sqlite3_prepare_v2(db, "INSERT INTO small VALUES(?,?)", -1, &insert, nullptr), db, "p");
  for (int32_t k = 1; k <= kSmall; ++k) {
    const std::string name = "name" + std::to_string(k);
    sqlite3_bind_int64(insert, 1, k);
    sqlite3_bind_text(insert, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Check(sqlite3_exec(db, "COMMIT; ANALYZE", nullptr, nullptr, nullptr), db, "commit");
}

// One statement of the comparison: its text on both sides and the parameter sets it runs
// with (none: once).
struct TCase {
  const char* Name;
  const char* Sql;
  std::vector<std::vector<int32_t>> Parameters;
};

void ReadOurs(TDataCursor& cursor, TSum& sum) {
  const auto& fields = cursor.FieldDescriptors();
  std::vector<uint8_t> buffer(cursor.RecordSize());
  const TConstRecordImage image(buffer.data(), buffer.size());
  std::string text;
  cursor.SetToBegin();
  while (cursor.GetNextRecord(buffer.data()) == 0) {
    ++sum.Rows;
    for (const FieldDescriptor& f : fields) {
      if (f.Type == kFieldFloat) {
        double v = 0;
        if (GetFieldFloat(image, f, v)) sum.Floats += v;
      } else if (f.Type == kFieldString) {
        if (GetFieldString(image, f, text)) sum.Letters += static_cast<int64_t>(text.size());
      } else {
        int64_t v = 0;
        if (GetFieldInteger(image, f, v)) sum.Integers += v;
      }
    }
  }
}

double TimeOurs(TDataDirectory& directory, const TCase& c, TSum& sum) {
  TQueryStatement statement(&directory);
  statement.RequestLive = true;
  statement.Prepare(c.Sql);
  std::vector<FieldDescriptor> descriptors(statement.ParameterCount());
  for (size_t i = 0; i < descriptors.size(); ++i) {
    descriptors[i].Type = kFieldInteger;
    descriptors[i].StoredLength = 4;
    descriptors[i].Offset = static_cast<uint16_t>(i * 5);
  }
  std::vector<uint8_t> values(descriptors.size() * 5);
  double best = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    TSum roundSum;
    const auto start = Clock::now();
    const size_t runs = c.Parameters.empty() ? 1 : c.Parameters.size();
    for (size_t run = 0; run < runs; ++run) {
      if (!c.Parameters.empty()) {
        for (size_t i = 0; i < descriptors.size(); ++i) {
          values[i * 5] = 1;
          std::memcpy(&values[i * 5 + 1], &c.Parameters[run][i], 4);
        }
        statement.BindParameters(descriptors, values);
      }
      std::unique_ptr<TDataCursor> result(statement.Execute());
      ReadOurs(*result, roundSum);
    }
    best = std::min(best, Seconds(start));
    sum = roundSum;
  }
  return best;
}

double TimeSqlite(sqlite3* db, const TCase& c, TSum& sum) {
  sqlite3_stmt* statement = nullptr;
  Check(sqlite3_prepare_v2(db, c.Sql, -1, &statement, nullptr), db, c.Sql);
  double best = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    TSum roundSum;
    const auto start = Clock::now();
    const size_t runs = c.Parameters.empty() ? 1 : c.Parameters.size();
    for (size_t run = 0; run < runs; ++run) {
      if (!c.Parameters.empty())
        for (size_t i = 0; i < c.Parameters[run].size(); ++i)
          sqlite3_bind_int64(statement, static_cast<int>(i + 1), c.Parameters[run][i]);
      while (sqlite3_step(statement) == SQLITE_ROW) {
        ++roundSum.Rows;
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
          switch (sqlite3_column_type(statement, i)) {
            case SQLITE_INTEGER:
              roundSum.Integers += sqlite3_column_int64(statement, i);
              break;
            case SQLITE_FLOAT:
              roundSum.Floats += sqlite3_column_double(statement, i);
              break;
            case SQLITE_TEXT:
              roundSum.Letters += sqlite3_column_bytes(statement, i);
              break;
            default:
              break;
          }
        }
      }
      sqlite3_reset(statement);
    }
    best = std::min(best, Seconds(start));
    sum = roundSum;
  }
  sqlite3_finalize(statement);
  return best;
}

}  // namespace

int main() {
  const std::filesystem::path folder = bench::MakeScratchFolder("pebrio_bench_sql");

  std::mt19937 random(20251209);
  std::vector<int32_t> permutation(kBig);
  for (int32_t i = 0; i < kBig; ++i) permutation[static_cast<size_t>(i)] = i;
  std::shuffle(permutation.begin(), permutation.end(), random);
  std::vector<std::vector<int32_t>> lookups(kLookups), ranges(kRanges);
  for (auto& key : lookups) key = {static_cast<int32_t>(1 + random() % kBig)};
  for (auto& range : ranges) {
    const int32_t from = static_cast<int32_t>(random() % (kBig - kBig / 100));
    range = {from, from + kBig / 100};
  }
  const std::vector<TCase> cases = {
      {"sql_pk_lookup", "SELECT * FROM big WHERE k = ?", lookups},
      {"sql_range_scan", "SELECT * FROM big WHERE a >= ? AND a < ?", ranges},
      {"sql_filter_scan",
       "SELECT * FROM big WHERE g100 = 7 AND u > 100000000 AND f < 500000.0 AND d1000 <> 3 "
       "AND g100k > 10",
       {}},
      {"sql_group_by_100", "SELECT g100, COUNT(*), SUM(u) FROM big GROUP BY g100", {}},
      {"sql_group_by_100k", "SELECT g100k, COUNT(*), SUM(u) FROM big GROUP BY g100k", {}},
      {"sql_order_by", "SELECT k, u FROM mid ORDER BY u", {}},
      {"sql_join", "SELECT m.k, s.name FROM mid m JOIN small s ON m.ref = s.id", {}},
      {"sql_distinct", "SELECT DISTINCT d1000 FROM big", {}},
  };

  sqlite3* db = nullptr;
  const std::string file = (folder / "sql.sqlite").string();
  Check(sqlite3_open(file.c_str(), &db), db, "open");
  const std::string pragmas = "PRAGMA synchronous=OFF; PRAGMA cache_size=-" +
                              std::to_string((kDataCacheBytes + kIndexCacheBytes) / 1024);
  Check(sqlite3_exec(db, pragmas.c_str(), nullptr, nullptr, nullptr), db, "pragma");
  std::vector<double> ours(cases.size()), theirs(cases.size());
  std::vector<TChangeTiming> changes;
  try {
    InstallSelectRunner();
    TDataSession session;
    session.SetBufferSettings(kDataCacheBytes, kDataCacheBytes / 32, kIndexCacheBytes,
                              kDefaultBlobCacheBytes, kDefaultMaxCachedBlocks);
    session.SetPrivateDir(folder.string());
    // PEBRIO_BENCH_SQL_JOURNAL=0 turns the commit journal off, to measure what it costs.
    if (const char* journal = std::getenv("PEBRIO_BENCH_SQL_JOURNAL"))
      session.SetCommitJournal(std::atoi(journal) != 0);
    TDataDirectory& directory = session.OpenDirectory("bench", folder.string());
    // PEBRIO_BENCH_SQL_ONLY=name runs one statement (for profiling).
    const char* only = std::getenv("PEBRIO_BENCH_SQL_ONLY");
    bool selects = only == nullptr;
    for (const TCase& c : cases) selects |= only && std::string(only) == c.Name;
    if (selects) {
      const auto fillStart = Clock::now();
      FillBothSides(directory, db, permutation);
      std::printf("filled both sides in %.1f s\n", Seconds(fillStart));
    }
    for (size_t i = 0; i < cases.size(); ++i) {
      if (only && std::string(only) != cases[i].Name) continue;
      TSum mine, theirSum;
      ours[i] = TimeOurs(directory, cases[i], mine);
      theirs[i] = TimeSqlite(db, cases[i], theirSum);
      if (!(mine == theirSum))
        Fail(std::string(cases[i].Name) + ": the two sides read different rows (" +
             std::to_string(mine.Rows) + " and " + std::to_string(theirSum.Rows) + ")");
      std::printf("%-18s %8lld rows  ours %.4f s  sqlite %.4f s\n", cases[i].Name,
                  static_cast<long long>(mine.Rows), ours[i], theirs[i]);
      std::fflush(stdout);
    }
    for (const TChangeTiming& timing : RunChangeBenchmarks(directory, db, permutation, only)) {
      std::printf("%-18s %8lld rows  ours %.4f s  sqlite %.4f s\n", timing.Name,
                  static_cast<long long>(timing.Rows), timing.Ours, timing.Sqlite);
      std::fflush(stdout);
      changes.push_back(timing);
    }
  } catch (const EVUZODEEngineError& e) {
    Fail(std::string("engine error: ") + e.what());
  }
  sqlite3_close(db);
  std::filesystem::remove_all(folder);
  std::printf("cache budget: ours data %u + index %u bytes, sqlite %u bytes\n", kDataCacheBytes,
              kIndexCacheBytes, kDataCacheBytes + kIndexCacheBytes);
  for (size_t i = 0; i < cases.size(); ++i)
    if (theirs[i] > 0) std::printf("ratio %s %.3f\n", cases[i].Name, ours[i] / theirs[i]);
  for (const TChangeTiming& timing : changes)
    if (timing.Sqlite > 0) std::printf("ratio %s %.3f\n", timing.Name, timing.Ours / timing.Sqlite);
  return 0;
}
