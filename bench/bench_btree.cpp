// The B+-tree against SQLite: one million random distinct 64-bit keys inserted into a fresh
// index on a memory file, then each looked up in random order; the same with an in-memory
// SQLite table keyed by the integer (WITHOUT ROWID, prepared statements, one transaction).
// Both get the same page cache budget. The last two lines give our time over SQLite's.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <unordered_set>
#include <vector>

#include "db/storage/files/file_list.h"
#include "db/storage/index/btree.h"
#include "db/storage/index/index_file.h"

namespace {

constexpr size_t kKeys = 1000000;
constexpr uint32_t kCacheBytes = 64u << 20;

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

struct TTimes {
  double insert = 0;
  double lookup = 0;
};

TTimes RunBTree(const std::vector<int64_t>& keys, const std::vector<int64_t>& probes) {
  FieldDescriptor field;
  field.FieldNumber = 1;
  field.Name = "K";
  field.Type = kFieldLargeInt;
  field.StoredLength = 8;
  field.Offset = 9;
  TIndexFile file;
  file.SetFileName("bench_btree.IDX");
  file.SetInMemory(true);
  file.SetTableInfo(0, 0, {field});
  file.CreateFile();
  IndexDescriptor primary;
  primary.Unique = true;
  primary.FieldCount = 1;
  primary.FieldNumbers[0] = 1;
  file.DefinePrimaryIndex(primary);
  file.SetPageCacheCapacity(kCacheBytes / kIndexPageSize);
  TBTree tree(file, 0);
  IndexKey key(9);
  key.Bytes[0] = 1;
  TTimes times;
  auto start = Clock::now();
  int32_t record = 1;
  for (int64_t k : keys) {
    EncodeInt64Key(k, key.data() + 1);
    tree.InsertKey(key.data(), record++);
  }
  file.FlushPages();
  times.insert = Seconds(start);
  start = Clock::now();
  size_t found = 0;
  for (int64_t k : probes) {
    EncodeInt64Key(k, key.data() + 1);
    int32_t r = 0;
    found += tree.Lookup(key.data(), r) ? 1 : 0;
  }
  times.lookup = Seconds(start);
  if (found != probes.size()) {
    std::fprintf(stderr, "btree lost keys: %zu of %zu\n", found, probes.size());
    std::exit(1);
  }
  std::printf("btree pages %d, cached %zu\n", file.Header().NextPageNumber - 1,
              file.CachedPageCount());
  file.Close();
  FileList().DeleteFile("bench_btree.IDX", true);
  return times;
}

TTimes RunSqlite(const std::vector<int64_t>& keys, const std::vector<int64_t>& probes) {
  sqlite3* db = nullptr;
  Check(sqlite3_open(":memory:", &db), db, "open");
  const std::string pragma = "PRAGMA cache_size=-" + std::to_string(kCacheBytes / 1024);
  Check(sqlite3_exec(db, pragma.c_str(), nullptr, nullptr, nullptr), db, "pragma");
  Check(sqlite3_exec(db, "CREATE TABLE t(k INTEGER PRIMARY KEY) WITHOUT ROWID", nullptr, nullptr,
                     nullptr),
        db, "create");
  TTimes times;
  sqlite3_stmt* insert = nullptr;
  Check(sqlite3_prepare_v2(db, "INSERT INTO t(k) VALUES(?)", -1, &insert, nullptr), db, "prep");
  auto start = Clock::now();
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
  for (int64_t k : keys) {
    sqlite3_bind_int64(insert, 1, k);
    Check(sqlite3_step(insert), db, "insert");
    sqlite3_reset(insert);
  }
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  times.insert = Seconds(start);
  sqlite3_finalize(insert);
  sqlite3_stmt* select = nullptr;
  Check(sqlite3_prepare_v2(db, "SELECT k FROM t WHERE k=?", -1, &select, nullptr), db, "prep");
  start = Clock::now();
  Check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
  size_t found = 0;
  for (int64_t k : probes) {
    sqlite3_bind_int64(select, 1, k);
    found += sqlite3_step(select) == SQLITE_ROW ? 1 : 0;
    sqlite3_reset(select);
  }
  Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  times.lookup = Seconds(start);
  sqlite3_finalize(select);
  sqlite3_close(db);
  if (found != probes.size()) {
    std::fprintf(stderr, "sqlite lost keys\n");
    std::exit(1);
  }
  return times;
}

}  // namespace

int main() {
  std::mt19937_64 random(20240611);
  std::unordered_set<int64_t> seen;
  std::vector<int64_t> keys;
  keys.reserve(kKeys);
  while (keys.size() < kKeys) {
    const int64_t k = static_cast<int64_t>(random());
    if (seen.insert(k).second) keys.push_back(k);
  }
  std::vector<int64_t> probes = keys;
  std::shuffle(probes.begin(), probes.end(), random);

  const TTimes ours = RunBTree(keys, probes);
  const TTimes theirs = RunSqlite(keys, probes);
  std::printf("btree  insert %.3f s, lookup %.3f s\n", ours.insert, ours.lookup);
  std::printf("sqlite insert %.3f s, lookup %.3f s\n", theirs.insert, theirs.lookup);
  std::printf("ratio btree_insert_vs_sqlite %.3f\n", ours.insert / theirs.insert);
  std::printf("ratio btree_lookup_vs_sqlite %.3f\n", ours.lookup / theirs.lookup);
  return 0;
}
