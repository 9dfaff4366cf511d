// Parsing SQL statements against SQLite preparing the same texts, in one run. The set: a
// 3-table join with WHERE, GROUP BY, HAVING and ORDER BY; an INSERT ... SELECT; a CREATE TABLE of
// 20 fields. Each text is written in the syntax both dialects share, and SQLite prepares it on
// tables of the same shape (with the same indexes), so it resolves the names too; our statement
// parses and stores (binding names is the execution layer's work). One iteration handles all
// three statements; the times printed are per statement, and the last line is
//   ratio sql_parse_vs_sqlite_prepare X
// our real time per statement divided by SQLite's. BM_SqlParse also reports the heap
// allocations per statement once the statement and the node pool are warm.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>

#include "db/sql/statements/query_statement.h"

namespace {

std::atomic<long> allocations{0};

const char* const kStatements[] = {
    "SELECT c.name, o.region, COUNT(*), SUM(l.amount) FROM customers c "
    "JOIN orders o ON o.customer_id = c.id JOIN lines l ON l.order_id = o.id "
    "WHERE o.placed >= '2024-01-01' AND l.amount > 10 AND c.country IN ('JP', 'US', 'DE') "
    "GROUP BY c.name, o.region HAVING COUNT(*) > 1 ORDER BY 4 DESC, c.name",

    "INSERT INTO archive (id, customer_id, region, total) "
    "SELECT o.id, o.customer_id, o.region, o.total FROM orders o "
    "WHERE o.placed < '2023-01-01' AND o.status = 'closed'",

    "CREATE TABLE wide (id INTEGER NOT NULL, code CHAR(8), name VARCHAR(40), kana VARCHAR(40), "
    "born DATE, joined TIMESTAMP, active BOOLEAN, score SMALLINT, points INTEGER, "
    "balance DECIMAL(12,2), rate FLOAT, city VARCHAR(30), zip CHAR(7), phone VARCHAR(20), "
    "mail VARCHAR(60), note VARCHAR(200), level SMALLINT DEFAULT 1, flags INTEGER DEFAULT 0, "
    "created TIMESTAMP, updated TIMESTAMP, PRIMARY KEY (id))",
};
constexpr int kStatementCount = sizeof kStatements / sizeof kStatements[0];

// The tables the statements name, shaped alike on both sides.
const char* const kSchema =
    "CREATE TABLE customers (id INTEGER PRIMARY KEY, name VARCHAR(40), country CHAR(2));"
    "CREATE TABLE orders (id INTEGER PRIMARY KEY, customer_id INTEGER, region VARCHAR(20), "
    "placed DATE, status VARCHAR(10), total DECIMAL(12,2));"
    "CREATE INDEX orders_customer ON orders (customer_id);"
    "CREATE TABLE lines (id INTEGER PRIMARY KEY, order_id INTEGER, amount DECIMAL(12,2));"
    "CREATE INDEX lines_order ON lines (order_id);"
    "CREATE TABLE archive (id INTEGER PRIMARY KEY, customer_id INTEGER, region VARCHAR(20), "
    "total DECIMAL(12,2));";

void BM_SqlParse(benchmark::State& state) {
  TQueryStatement statement(nullptr);
  for (int warm = 0; warm < 2; ++warm)
    for (const char* text : kStatements) statement.Prepare(text);
  long before = allocations.load();
  for (auto _ : state)
    for (const char* text : kStatements) {
      statement.Prepare(text);
      benchmark::DoNotOptimize(statement.Master());
    }
  state.counters["allocs_per_statement"] =
      static_cast<double>(allocations.load() - before) /
      static_cast<double>(state.iterations() * kStatementCount);
}
BENCHMARK(BM_SqlParse);

void BM_SqlitePrepare(benchmark::State& state) {
  sqlite3* db = nullptr;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK ||
      sqlite3_exec(db, "PRAGMA synchronous=OFF;", nullptr, nullptr, nullptr) != SQLITE_OK ||
      sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    state.SkipWithError("cannot create the SQLite tables");
    sqlite3_close(db);
    return;
  }
  for (auto _ : state)
    for (const char* text : kStatements) {
      sqlite3_stmt* prepared = nullptr;
      if (sqlite3_prepare_v2(db, text, -1, &prepared, nullptr) != SQLITE_OK) {
        state.SkipWithError(sqlite3_errmsg(db));
        sqlite3_close(db);
        return;
      }
      sqlite3_finalize(prepared);
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
        seconds[run.benchmark_name()] = run.real_accumulated_time / run.iterations;
  }
  std::map<std::string, double> seconds;
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
  auto ours = reporter.seconds.find("BM_SqlParse");
  auto theirs = reporter.seconds.find("BM_SqlitePrepare");
  if (ours == reporter.seconds.end() || theirs == reporter.seconds.end() || theirs->second <= 0) {
    std::printf("ratio sql_parse_vs_sqlite_prepare unavailable\n");
    return 1;
  }
  std::printf("sql_parse us/statement %.3f\n", ours->second * 1e6 / kStatementCount);
  std::printf("sqlite_prepare us/statement %.3f\n", theirs->second * 1e6 / kStatementCount);
  std::printf("ratio sql_parse_vs_sqlite_prepare %.3f\n", ours->second / theirs->second);
  return 0;
}
