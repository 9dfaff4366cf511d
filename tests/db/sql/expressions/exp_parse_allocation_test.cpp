// Parsing with a warm pool allocates nothing: every node comes from the pool and keeps its
// strings and argument list, the parser keeps its text copy and its lists. Counted by replacing
// the global operator new in this test executable.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "db/sql/expressions/expression_parser.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

// The replacements pair malloc with free themselves; GCC cannot see that across inlining.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, size_t) noexcept {
  std::free(block);
}

namespace {

TEST(ExpressionParseAllocation, WarmParseOfATwentyTermFilterAllocatesNothing) {
  const char* filter =
      "(qty > 10 AND price <= 99.5 OR name LIKE 'ab%') AND city IN ('Tokyo', 'Osaka', 'Nara') "
      "AND UPPER(code) = 'X1' AND d BETWEEN 1 AND 20 AND NOT flag = TRUE AND a + b * 2 < 100 "
      "AND c <> 'zz' AND e IS NOT NULL AND LOWER(f) LIKE '%q' AND g >= 5 AND h < 2147483648 "
      "AND SUBSTRING(i FROM 1 FOR 2) = 'ab' AND j IN (1, 2, 3) AND k = #65 AND l <> m "
      "AND n NOT IN (4, 5) AND o > -3 AND p = 1e3";
  TExpTokenStack pool;
  TExpressionParser parser(nullptr, pool);
  parser.ErrorTable = "t";
  for (int warm = 0; warm < 2; ++warm) {
    TExpToken* tree = parser.ParseFilter(filter);
    ReleaseExpTree(pool, tree);
  }
  long before = allocations.load();
  for (int round = 0; round < 10; ++round) {
    TExpToken* tree = parser.ParseFilter(filter);
    ReleaseExpTree(pool, tree);
  }
  EXPECT_EQ(allocations.load() - before, 0);
}

}  // namespace
