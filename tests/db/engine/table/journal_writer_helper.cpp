// journal_writer_helper FOLDER START: makes the commits of PlannedCommit(START, 0, 1, ...) on
// the ledgers A and B of FOLDER forever, printing j once commit j has returned. The crash test
// kills it at random moments.
#include <cstdio>
#include <cstdlib>

#include "tests/db/engine/table/journal_support.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const int64_t start = std::atoll(argv[2]);
  try {
    engine_test::TLedgers ledgers(argv[1], false);
    for (int64_t j = 0;; ++j) {
      const engine_test::TPlannedCommit commit = engine_test::PlannedCommit(start, j);
      if (commit.multi) {
        ledgers.Multi(commit.first, commit.count);
      } else {
        ledgers.Single(commit.first);
      }
      std::printf("%lld\n", static_cast<long long>(j));
      std::fflush(stdout);
    }
  } catch (const EVUZODEEngineError& e) {
    std::printf("error %s\n", e.what());
    return 1;
  }
}
