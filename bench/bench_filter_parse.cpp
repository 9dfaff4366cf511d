// Parsing a 20-term filter (comparisons, AND/OR, IN, LIKE, functions) against SQLite preparing
// SELECT * FROM t WHERE with the same condition, in one run. The last line printed is
//   ratio filter_parse_vs_sqlite_prepare X
// our real time per parse divided by SQLite's per prepare. BM_FilterParse also reports the heap
// allocations per parse (counted through the global operator new), which must be 0 once the
// node pool is warm.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>

#include "db/sql/expressions/expression_parser.h"

namespace {

std::atomic<long> allocations{0};

// The condition, in the syntax both parsers share.
const char* const kFilter =
    "(qty > 10 AND price <= 99.5 OR name LIKE 'ab%') AND city IN ('Tokyo', 'Osaka', 'Nara') "
    "AND UPPER(code) = 'X1' AND d BETWEEN 1 AND 20 AND NOT flag = 1 AND a + b * 2 < 100 "
    "AND c <> 'zz' AND e IS NOT NULL AND LOWER(f) LIKE '%q' AND g >= 5 AND h < 2147483648 "
    "AND ABS(i) = 2 AND j IN (1, 2, 3) AND k = 'A' AND l <> m AND n NOT IN (4, 5) "
    "AND o > -3 AND p = 1e3 AND q || r = 'xy' AND s IS NULL";

const char* const kTable =
    "CREATE TABLE t (qty INTEGER, price REAL, name TEXT, city TEXT, code TEXT, d INTEGER, "
    "flag INTEGER, a INTEGER, b INTEGER, c TEXT, e TEXT, f TEXT, g INTEGER, h INTEGER, "
    "i INTEGER, j INTEGER, k TEXT, l INTEGER, m INTEGER, n INTEGER, o INTEGER, p REAL, q TEXT, "
    "r TEXT, s TEXT)";

void BM_FilterParse(benchmark::State& state) {
  TExpressionParser parser;
  parser.ErrorTable.push_back('t');  // (an assignment trips a false GCC 12 -Wrestrict)
  for (int warm = 0; warm < 2; ++warm) {
    TExpToken* tree = parser.ParseFilter(kFilter);
    ReleaseExpTree(parser.Pool(), tree);
  }
  long before = allocations.load();
  for (auto _ : state) {
    TExpToken* tree = parser.ParseFilter(kFilter);
    benchmark::DoNotOptimize(tree);
    ReleaseExpTree(parser.Pool(), tree);
  }
  state.counters["allocs_per_parse"] =
      static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_FilterParse);

void BM_SqlitePrepare(benchmark::State& state) {
  sqlite3* db = nullptr;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK ||
      sqlite3_exec(db, kTable, nullptr, nullptr, nullptr) != SQLITE_OK) {
    state.SkipWithError("cannot create the SQLite table");
    sqlite3_close(db);
    return;
  }
  std::string sql = "SELECT * FROM t WHERE ";
  sql.append(kFilter);
  for (auto _ : state) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      state.SkipWithError(sqlite3_errmsg(db));
      break;
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
}
BENCHMARK(BM_SqlitePrepare);

// Prints as usual and keeps the real time per iteration of each benchmark.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        times[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  std::map<std::string, double> times;
};

}  // namespace

void* operator new(size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}
// The replacements pair malloc with free themselves; GCC cannot see that across inlining.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, size_t) noexcept {
  std::free(block);
}

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  auto ours = reporter.times.find("BM_FilterParse");
  auto theirs = reporter.times.find("BM_SqlitePrepare");
  if (ours == reporter.times.end() || theirs == reporter.times.end() || theirs->second <= 0) {
    std::printf("ratio filter_parse_vs_sqlite_prepare unavailable\n");
    return 1;
  }
  std::printf("ratio filter_parse_vs_sqlite_prepare %.3f\n", ours->second / theirs->second);
  return 0;
}
