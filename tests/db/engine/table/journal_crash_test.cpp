// A writer process killed with SIGKILL at random moments, during single-record commits and
// transactions over two tables: afterwards both tables open and check sound without repair,
// and hold exactly the first m of the writer's commits, m being the commits it reported or
// one more (the one it was writing), each commit whole.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <set>

#include "tests/db/engine/table/journal_support.h"
#include "tests/db/storage/files/helper_process.h"

namespace engine_test {
namespace {

using files_test::THelperProcess;

// The codes commits [0, m) of a run put into table A (all) or B (transactions only).
std::set<int64_t> CodesOfCommits(int64_t start, int64_t m, bool tableB) {
  std::set<int64_t> codes;
  for (int64_t j = 0; j < m; ++j) {
    const TPlannedCommit c = PlannedCommit(start, j);
    if (tableB && !c.multi) continue;
    for (int64_t i = 0; i < c.count; ++i) codes.insert(c.first + i);
  }
  return codes;
}

TEST(JournalCrash, AKilledWriterLeavesAPrefixOfItsCommits) {
  const int64_t runs = std::clamp<int64_t>(HeavyTestSize("PEBRIO_JOURNAL_KILL_RUNS", 100), 4, 2000);
  TScratchFolder folder;
  CreateLedgers(folder.Path());
  std::mt19937 random(4242);
  std::set<int64_t> kept[2];  // what earlier runs left in A and B
  for (int64_t run = 0; run < runs; ++run) {
    SCOPED_TRACE(testing::Message() << "run " << run);
    // Codes stay within the 32-bit CODE field for 2,000 runs; a writer makes at most 1,000
    // commits of at most 1,000 codes each per run.
    const int64_t start = (run + 1) * 1000000;
    int64_t reported = 0;
    {
      THelperProcess writer(PEBRIO_JOURNAL_WRITER_HELPER, {folder.Path(), std::to_string(start)});
      const int lines = static_cast<int>(random() % 7);
      for (int i = 0; i < lines; ++i) {
        const std::string line = writer.ReadLine();
        ASSERT_FALSE(line.empty() || line[0] < '0' || line[0] > '9') << line;
        reported = std::stoll(line) + 1;
      }
      usleep(static_cast<useconds_t>(random() % 4000));
      writer.Kill();
      // Lines printed before the kill count as reported too.
      for (std::string line = writer.ReadLine(); !line.empty(); line = writer.ReadLine()) {
        reported = std::stoll(line) + 1;
      }
      writer.Wait();
    }
    const TLedgerState a = StateOf(folder.Path(), "A");
    const TLedgerState b = StateOf(folder.Path(), "B");
    EXPECT_EQ(a.problems, std::vector<std::string>{});
    EXPECT_EQ(b.problems, std::vector<std::string>{});
    // The commits present: the reported ones, or one more.
    bool matched = false;
    for (int64_t m : {reported, reported + 1}) {
      std::set<int64_t> wantA = kept[0];
      std::set<int64_t> wantB = kept[1];
      for (int64_t code : CodesOfCommits(start, m, false)) wantA.insert(code);
      for (int64_t code : CodesOfCommits(start, m, true)) wantB.insert(code);
      if (std::set<int64_t>(a.codes.begin(), a.codes.end()) == wantA &&
          std::set<int64_t>(b.codes.begin(), b.codes.end()) == wantB &&
          a.codes.size() == wantA.size() && b.codes.size() == wantB.size()) {
        matched = true;
        kept[0] = wantA;
        kept[1] = wantB;
      }
    }
    ASSERT_TRUE(matched) << "reported " << reported << ", A holds " << a.codes.size()
                         << ", B holds " << b.codes.size();
    EXPECT_EQ(folder.Files(),
              (std::vector<std::string>{"A.BLB", "A.DAT", "A.IDX", "B.BLB", "B.DAT", "B.IDX"}));
  }
}

}  // namespace
}  // namespace engine_test
