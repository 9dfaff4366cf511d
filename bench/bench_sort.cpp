// The record sort against SQLite: a disk table of 1,000,000 records (an integer key, an integer,
// a 20-character string, a float) sorted by the float and every output row read, column by
// column; SQLite steps "SELECT * FROM t ORDER BY f" over the same rows to the end.
//
//   external: our default budget (16 KiB data cache, runs of at most 8192 records and 1 MiB)
//             through run files on disk; SQLite's cache_size is set to the same 1040 KiB.
//   memory:   a cache that holds the whole table (128 MiB) on both sides; our records are loaded
//             into the record cache before the clock starts.
//
// Both sides run on files in one temporary directory (SQLite's temporary files too),
// synchronous=OFF, warm OS caches; each figure is the best of kRepeats. The last two lines give
// our time over SQLite's.
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "db/storage/data/data_file.h"
#include "db/storage/files/buffer_cache.h"
#include "db/storage/sort/record_sort.h"
#include "platform/os/system.h"

namespace {

constexpr uint32_t kRows = 1000000;
constexpr int kRepeats = 3;
constexpr uint32_t kMemoryBudget = 128u << 20;

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite %s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
  }
}

struct TRowData {
  int32_t I;
  std::string S;
  double F;
};

std::vector<TRowData> MakeRows() {
  std::mt19937_64 random(5606);
  std::uniform_real_distribution<double> real(-1e6, 1e6);
  std::vector<TRowData> rows(kRows);
  for (TRowData& row : rows) {
    row.I = static_cast<int32_t>(random());
    row.S.resize(20);
    for (char& c : row.S) c = static_cast<char>('a' + random() % 26);
    row.F = real(random);
  }
  return rows;
}

std::vector<FieldDescriptor> Fields() {
  const struct {
    const char* name;
    uint8_t type, size;
  } shapes[] = {{"K", kFieldInteger, 0},
                {"I", kFieldInteger, 0},
                {"S", kFieldString, 20},
                {"F", kFieldFloat, 0}};
  std::vector<FieldDescriptor> fields;
  uint16_t offset = kRecordHeaderSize;
  for (const auto& s : shapes) {
    FieldDescriptor d;
    d.FieldNumber = static_cast<uint16_t>(fields.size() + 1);
    d.Name = s.name;
    d.Type = s.type;
    d.Size = s.size;
    d.StoredLength = static_cast<uint8_t>(StoredLengthOf(s.type, s.size));
    d.Offset = offset;
    offset = static_cast<uint16_t>(offset + d.StoredLength + 1);
    fields.push_back(d);
  }
  return fields;
}

void BuildTable(const std::string& name, const std::vector<TRowData>& rows) {
  TDataFile file;
  file.SetFileName(name);
  TDataFileDefinition def;
  def.Fields = Fields();
  file.InitializeHeader(def);
  file.WriteHeader(false);
  file.WriteDescriptors();
  file.RecordCache()->Trim(kRows + 1);
  for (uint32_t k = 0; k < kRows; ++k) {
    TRecord r = file.AllocateRecord();
    r.Initialize(true);
    r.SetInteger(file.Descriptor(1), k + 1);
    r.SetInteger(file.Descriptor(2), rows[k].I);
    r.SetString(file.Descriptor(3), rows[k].S);
    r.SetFloat(file.Descriptor(4), rows[k].F);
    file.Unpin(r);
  }
  file.FlushRecords();
  file.WriteHeader(false);
  file.Close();
}

// Sorts a fresh copy of the table by F and reads every row; the seconds taken.
double RunOurs(const std::string& dir, bool inMemory) {
  const std::string name = dir + "/t.DAT";
  std::filesystem::copy_file(dir + "/orig.DAT", name,
                             std::filesystem::copy_options::overwrite_existing);
  TDataFile file;
  file.SetFileName(name);
  file.Open();
  TSortOptions options;
  options.PrivateDirectory = dir;
  if (inMemory) {
    file.RecordCache()->Trim(kMemoryBudget / file.RecordSize());
    for (uint32_t n = 1; n <= file.RecordCount(); ++n) {
      TRecord r = file.FetchRecord(n, true, true);
      file.Unpin(r);
    }
  }
  TSortRequest request;
  request.Fields = {{file.Descriptor(4), false}};
  const auto start = Clock::now();
  const uint32_t rows = SortRecords(file, request, options);
  double previous = -1e300, checksum = 0;
  int64_t k = 0, i = 0;
  std::string s;
  double f = 0;
  for (uint32_t n = 1; n <= rows; ++n) {
    TRecord r = file.FetchRecord(n, true, true);
    r.GetInteger(file.Descriptor(1), k);
    r.GetInteger(file.Descriptor(2), i);
    r.GetString(file.Descriptor(3), s);
    r.GetFloat(file.Descriptor(4), f);
    file.Unpin(r);
    if (f < previous) {
      std::fprintf(stderr, "out of order at row %u\n", n);
      std::exit(1);
    }
    previous = f;
    checksum += static_cast<double>(k + i) + static_cast<double>(s.size());
  }
  const double seconds = Seconds(start);
  if (rows != kRows || checksum == 0) std::exit(1);
  file.Close();
  std::filesystem::remove(name);
  return seconds;
}

sqlite3* BuildSqlite(const std::string& path, const std::vector<TRowData>& rows) {
  sqlite3* db = nullptr;
  Check(sqlite3_open(path.c_str(), &db), db, "open");
  Check(sqlite3_exec(db, "PRAGMA synchronous=OFF", nullptr, nullptr, nullptr), db, "pragma");
  Check(sqlite3_exec(db, "CREATE TABLE t(k INTEGER PRIMARY KEY, i INTEGER, s TEXT, f REAL)",
                     nullptr, nullptr, nullptr),
        db, "create");
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?)", -1, &insert, nullptr), db, "prep");
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
  for (uint32_t k = 0; k < kRows; ++k) {
    sqlite3_bind_int64(insert, 1, k + 1);
    sqlite3_bind_int64(insert, 2, rows[k].I);
    sqlite3_bind_text(insert, 3, rows[k].S.data(), 20, SQLITE_STATIC);
    sqlite3_bind_double(insert, 4, rows[k].F);
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  }
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_finalize(insert);
  return db;
}

double RunSqlite(sqlite3* db, uint32_t cacheBytes) {
  const std::string pragma = "PRAGMA cache_size=-" + std::to_string(cacheBytes / 1024);
  Check(sqlite3_exec(db, pragma.c_str(), nullptr, nullptr, nullptr), db, "pragma");
  sqlite3_stmt* select = nullptr;
  Check(sqlite3_prepare_v2(db, "SELECT * FROM t ORDER BY f", -1, &select, nullptr), db, "prep");
  const auto start = Clock::now();
  uint32_t rows = 0;
  double previous = -1e300, checksum = 0;
  int rc;
  while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
    const int64_t k = sqlite3_column_int64(select, 0);
    const int64_t i = sqlite3_column_int64(select, 1);
    const unsigned char* s = sqlite3_column_text(select, 2);
    const int length = sqlite3_column_bytes(select, 2);
    const double f = sqlite3_column_double(select, 3);
    if (f < previous || s == nullptr) std::exit(1);
    previous = f;
    checksum += static_cast<double>(k + i) + length;
    ++rows;
  }
  Check(rc, db, "step");
  const double seconds = Seconds(start);
  sqlite3_finalize(select);
  if (rows != kRows || checksum == 0) std::exit(1);
  return seconds;
}

void PrintPlan(sqlite3* db) {
  sqlite3_stmt* plan = nullptr;
  Check(sqlite3_prepare_v2(db, "EXPLAIN QUERY PLAN SELECT * FROM t ORDER BY f", -1, &plan, nullptr),
        db, "plan");
  while (sqlite3_step(plan) == SQLITE_ROW) {
    std::printf("sqlite plan: %s\n", reinterpret_cast<const char*>(sqlite3_column_text(plan, 3)));
  }
  sqlite3_finalize(plan);
}

}  // namespace

int main() {
  std::string dir = platform::TempDirectory() + "pebrio-bench-sort-XXXXXX";
  if (mkdtemp(dir.data()) == nullptr) return 1;
  // SQLite's sorter files go beside ours.
  setenv("SQLITE_TMPDIR", dir.c_str(), 1);
  const std::vector<TRowData> rows = MakeRows();
  BuildTable(dir + "/orig.DAT", rows);
  sqlite3* db = BuildSqlite(dir + "/t.db", rows);
  PrintPlan(db);

  // Our default budget: the data cache and the bytes a run may hold.
  const uint32_t externalBytes = kDefaultDataCacheBytes + TSortOptions{}.MaxRunBytes;
  double ours = 1e9, oursMemory = 1e9, theirs = 1e9, theirsMemory = 1e9;
  for (int repeat = 0; repeat < kRepeats; ++repeat) {
    ours = std::min(ours, RunOurs(dir, false));
    theirs = std::min(theirs, RunSqlite(db, externalBytes));
    oursMemory = std::min(oursMemory, RunOurs(dir, true));
    theirsMemory = std::min(theirsMemory, RunSqlite(db, kMemoryBudget));
  }
  sqlite3_close(db);
  std::filesystem::remove_all(dir);
  std::printf("budget external %u bytes, memory %u bytes\n", externalBytes, kMemoryBudget);
  std::printf("sort   external %.3f s, memory %.3f s\n", ours, oursMemory);
  std::printf("sqlite external %.3f s, memory %.3f s\n", theirs, theirsMemory);
  std::printf("ratio sort_vs_sqlite %.3f\n", ours / theirs);
  std::printf("ratio sort_memory_vs_sqlite %.3f\n", oursMemory / theirsMemory);
  return 0;
}
