// Commits through the table's journal: a journal left behind is replayed only when whole and
// current; a failure or short write at any step of the write path leaves every table as before
// or as after the commit (a transaction over two tables in both or neither); a power loss that
// drops every unsynced write loses no commit that was reported and tears none.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>

#include "platform/os/fault_injection.h"
#include "tests/db/engine/table/journal_support.h"

namespace engine_test {
namespace {

namespace fs = std::filesystem;
using TCodes = std::vector<int64_t>;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Spill(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

TCodes Range(int64_t first, int64_t count) {
  TCodes codes(static_cast<size_t>(count));
  std::iota(codes.begin(), codes.end(), first);
  return codes;
}

TCodes Joined(TCodes a, const TCodes& b) {
  a.insert(a.end(), b.begin(), b.end());
  std::sort(a.begin(), a.end());
  return a;
}

// A folder with both ledgers and codes 1..5 committed in A.
struct TLedgerBed {
  TScratchFolder folder;
  TLedgerBed() {
    CreateLedgers(folder.Path());
    TLedgers l(folder.Path(), false);
    for (int64_t code = 1; code <= 5; ++code) l.Single(code);
  }
  std::string File(const std::string& name) const { return folder.Path() + "/" + name; }
};

TEST(TableJournal, LeftJournalIsReplayedOnlyWhenWholeAndCurrent) {
  enum TCase { kWhole, kTorn, kDamaged, kStale, kCut };
  for (TCase c : {kWhole, kTorn, kDamaged, kStale, kCut}) {
    SCOPED_TRACE(static_cast<int>(c));
    TLedgerBed bed;
    std::string journal;
    const uintmax_t dataSize = fs::file_size(bed.File("A.DAT"));
    {
      // The first write in place fails (the data file's go first; its first write of all put
      // the new record past its end, before the journal): the commit stands in its journal.
      TLedgers l(bed.folder.Path(), false);
      platform::TFileFaultPlan plan;
      plan.path_filter = bed.File("A.DAT");
      plan.fail_write_at = 2;
      plan.write_error = EIO;
      platform::TScopedFileFaults faults(plan);
      EXPECT_EQ(CodeOf([&] { l.Single(6); }), VUZODE_WRITEERR);
      journal = Slurp(bed.File("A.JNL"));
      ASSERT_FALSE(journal.empty());
    }
    TCodes want = Range(1, 6);
    if (c == kTorn) Spill(bed.File("A.JNL"), journal.substr(0, journal.size() - 1));
    if (c == kDamaged) {
      journal[journal.size() / 2] ^= 1;
      Spill(bed.File("A.JNL"), journal);
    }
    // The data file put back to its size before the commit (as a restore from a backup would):
    // the new record the journal relies on is gone, so the journal is stale.
    if (c == kCut) fs::resize_file(bed.File("A.DAT"), dataSize);
    if (c == kTorn || c == kDamaged || c == kCut) want = Range(1, 5);
    if (c == kStale) {
      // Replayed at the next open, then a later commit; the old journal put back must not
      // take the table back to it.
      TLedgers l(bed.folder.Path(), false);
      l.Single(7);
      Spill(bed.File("A.JNL"), journal);
      want = Range(1, 7);
    }
    const TLedgerState a = StateOf(bed.folder.Path(), "A");
    EXPECT_EQ(a.codes, want);
    EXPECT_EQ(a.problems, std::vector<std::string>{});
    EXPECT_FALSE(bed.folder.Has("A.JNL"));
  }
}

// One commit of a kind under one injected fault; nth counts the calls of that kind.
enum TFault { kFailWrite, kShortWrite, kFailFlush, kFailDelete };

void Inject(platform::TFileFaultPlan& plan, TFault fault, uint64_t nth) {
  switch (fault) {
    case kFailWrite:
      plan.fail_write_at = nth;
      plan.write_error = EIO;
      break;
    case kShortWrite:
      plan.short_write_at = nth;
      plan.short_write_bytes = 13;
      break;
    case kFailFlush:
      plan.fail_flush_at = nth;
      plan.flush_error = EIO;
      break;
    case kFailDelete:
      plan.fail_delete_at = nth;
      plan.delete_error = EACCES;
      break;
  }
}

uint64_t CallsOf(const platform::TFileFaultPlan& plan, TFault fault) {
  if (fault == kFailFlush) return plan.flushes;
  if (fault == kFailDelete) return plan.deletes;
  return plan.writes;
}

TEST(TableJournal, FaultAtEveryStepLeavesTablesAsBeforeOrAfter) {
  for (bool multi : {false, true}) {
    for (TFault fault : {kFailWrite, kShortWrite, kFailFlush, kFailDelete}) {
      for (uint64_t nth = 1;; ++nth) {
        SCOPED_TRACE(testing::Message() << multi << "/" << fault << "/" << nth);
        TLedgerBed bed;
        bool failed = false;
        uint64_t calls = 0;
        {
          TLedgers l(bed.folder.Path(), fault == kFailFlush);
          platform::TFileFaultPlan plan;
          plan.path_filter = bed.folder.Path();
          Inject(plan, fault, nth);
          platform::TScopedFileFaults faults(plan);
          try {
            multi ? l.Multi(100, 40) : l.Single(100);
          } catch (const EVUZODEEngineError&) {
            failed = true;
          }
          calls = CallsOf(plan, fault);
        }
        const TLedgerState a = StateOf(bed.folder.Path(), "A");
        const TLedgerState b = StateOf(bed.folder.Path(), "B");
        EXPECT_EQ(a.problems, std::vector<std::string>{});
        EXPECT_EQ(b.problems, std::vector<std::string>{});
        const TCodes added = multi ? Range(100, 40) : TCodes{100};
        const bool after = a.codes == Joined(Range(1, 5), added);
        EXPECT_TRUE(after || a.codes == Range(1, 5));
        EXPECT_TRUE(after || failed) << "a commit reported done is missing";
        if (multi) {
          EXPECT_EQ(b.codes, after ? added : TCodes{});
        }
        if (calls < nth) break;  // the fault was never reached: every step has been tried
      }
    }
  }
}

// Power loss: every write since a file's last flush is lost, and so is a file never flushed.
// A file removed after its flush may come back (its removal was never made durable).
class TDurableFolder {
 public:
  explicit TDurableFolder(const std::string& folder) : folder_(folder) {
    for (const auto& e : fs::directory_iterator(folder)) Keep(e.path().string());
  }
  void Keep(const std::string& path) {
    if (fs::is_regular_file(path)) durable_[fs::path(path).filename().string()] = Slurp(path);
  }
  void Crash() {
    for (const auto& e : fs::directory_iterator(folder_)) {
      if (!durable_.count(e.path().filename().string())) fs::remove(e.path());
    }
    for (const auto& [name, bytes] : durable_) Spill(folder_ + "/" + name, bytes);
  }

 private:
  std::string folder_;
  std::map<std::string, std::string> durable_;
};

TEST(TableJournal, PowerLossLosesNoReportedCommitAndTearsNone) {
  struct TStep {
    int64_t first;
    int64_t count;  // 1: one record in A; more: a transaction over both tables
  };
  const TStep steps[] = {{100, 1}, {200, 30}, {101, 1}, {300, 30}, {102, 1}};
  for (uint64_t crashAt = 1;; ++crashAt) {
    SCOPED_TRACE(crashAt);
    TLedgerBed bed;
    TDurableFolder disk(bed.folder.Path());
    size_t done = 0;
    bool crashed = false;
    {
      TLedgers l(bed.folder.Path(), true);
      platform::TFileFaultPlan plan;
      plan.path_filter = bed.folder.Path();
      plan.disk_full_from = crashAt;  // nothing written from here on reaches the disk
      // A flush after the crash point never happens: the machine is gone.
      plan.on_flush = [&](const std::string& path) {
        if (plan.writes.load() < crashAt) disk.Keep(path);
      };
      platform::TScopedFileFaults faults(plan);
      try {
        for (const TStep& s : steps) {
          s.count == 1 ? l.Single(s.first) : l.Multi(s.first, s.count);
          ++done;
        }
      } catch (const EVUZODEEngineError&) {
        crashed = true;
      }
    }
    disk.Crash();
    const TLedgerState a = StateOf(bed.folder.Path(), "A");
    const TLedgerState b = StateOf(bed.folder.Path(), "B");
    EXPECT_EQ(a.problems, std::vector<std::string>{});
    EXPECT_EQ(b.problems, std::vector<std::string>{});
    // The steps reported done, and the one under way whole or not at all.
    bool matched = false;
    for (size_t present : {done, std::min(done + 1, std::size(steps))}) {
      TCodes wantA = Range(1, 5);
      TCodes wantB;
      for (size_t i = 0; i < present; ++i) {
        wantA = Joined(wantA, Range(steps[i].first, steps[i].count));
        if (steps[i].count > 1) wantB = Joined(wantB, Range(steps[i].first, steps[i].count));
      }
      matched = matched || (a.codes == wantA && b.codes == wantB);
    }
    EXPECT_TRUE(matched) << "done " << done << ", A holds " << a.codes.size();
    if (!crashed) break;
  }
}

}  // namespace
}  // namespace engine_test
