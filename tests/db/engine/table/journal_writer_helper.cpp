// journal_writer_helper FOLDER START: makes the commits of PlannedCommit(START, 0, 1, ...) on
// the ledgers A and B of FOLDER (at most 1,000, then waits), printing j once commit j has
// returned. The crash test kills it at random moments.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "tests/db/engine/table/journal_support.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const int64_t start = std::atoll(argv[2]);
  try {
    engine_test::TLedgers ledgers(argv[1], false);
    // At most 1,000 commits (the codes of a run's commits stay below the next run's), then
    // waits to be killed.
    for (int64_t j = 0; j < 1000; ++j) {
      const engine_test::TPlannedCommit commit = engine_test::PlannedCommit(start, j);
      if (commit.multi) {
        ledgers.Multi(commit.first, commit.count);
      } else {
        ledgers.Single(commit.first);
      }
      std::printf("%lld\n", static_cast<long long>(j));
      std::fflush(stdout);
    }
    for (;;) sleep(1);
  } catch (const EVUZODEEngineError& e) {
    std::printf("error %s\n", e.what());
    return 1;
  }
}
