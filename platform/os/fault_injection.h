// Fault injection into the OS file layer, for tests.
//
// Production code never installs a plan: the file layer then pays one predictable branch on a
// null pointer per call (see TOsFile in file.h). A test installs a TFileFaultPlan with
// TScopedFileFaults; from then on the file layer counts its opens, reads, writes and flushes
// (and renames and deletes; 1-based, over all files whose path contains the plan's path filter) and
// fails the ones the plan names, setting the OS last-error value as the real failure would.
//
// Invariant: at most one plan is installed at a time (TScopedFileFaults asserts it), and it is
// installed and removed while no other thread uses the file layer; the counters themselves are
// atomic, so the threads of one test may share a plan.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

class TFileFaultPlan {
 public:
  // Only files whose on-disk path contains filter are counted and failed ("" = every file).
  std::string path_filter;

  // fail_open_count opens (Open or Create) from the nth on fail with error.
  uint64_t fail_open_at = 0;
  uint64_t fail_open_count = 1;
  int open_error = 0;
  // The nth read fails with error (nothing is read).
  uint64_t fail_read_at = 0;
  int read_error = 0;
  // The nth write fails with error (nothing is written).
  uint64_t fail_write_at = 0;
  int write_error = 0;
  // Every write from the nth on finds the disk full: nothing is written, ENOSPC.
  uint64_t disk_full_from = 0;
  // The nth write stores only its first short_write_bytes bytes and reports ENOSPC for the rest,
  // as a write that runs out of space half-way does.
  uint64_t short_write_at = 0;
  uint32_t short_write_bytes = 0;
  // The nth flush fails with error.
  uint64_t fail_flush_at = 0;
  int flush_error = 0;
  // Called with the path of every flush that goes ahead (a file's data, or a directory's
  // entries, about to be made durable): a test of power loss keeps what survives it.
  std::function<void(const std::string& path)> on_flush;

  // The nth rename (or delete) fails with error; the file stays where it was.
  uint64_t fail_rename_at = 0;
  int rename_error = 0;
  uint64_t fail_delete_at = 0;
  int delete_error = 0;

  // Counts of calls seen so far.
  std::atomic<uint64_t> opens{0};
  std::atomic<uint64_t> reads{0};
  std::atomic<uint64_t> writes{0};
  std::atomic<uint64_t> flushes{0};
  std::atomic<uint64_t> renames{0};
  std::atomic<uint64_t> deletes{0};

  // Hooks of the file layer. Each counts the call when path matches and returns false after
  // setting errno when the call must fail. BeforeWrite may instead lower count for a short write.
  bool BeforeOpen(const std::string& path);
  bool BeforeRead(const std::string& path);
  bool BeforeWrite(const std::string& path, uint32_t& count);
  bool BeforeFlush(const std::string& path);
  // A rename counts when either name matches.
  bool BeforeRename(const std::string& from, const std::string& to);
  bool BeforeDelete(const std::string& path);

 private:
  bool Matches(const std::string& path) const;
};

// The installed plan; null in production.
extern TFileFaultPlan* g_file_fault_plan;

// Installs plan for its lifetime.
class TScopedFileFaults {
 public:
  explicit TScopedFileFaults(TFileFaultPlan& plan);
  ~TScopedFileFaults();
  TScopedFileFaults(const TScopedFileFaults&) = delete;
  TScopedFileFaults& operator=(const TScopedFileFaults&) = delete;
};

}  // namespace platform
