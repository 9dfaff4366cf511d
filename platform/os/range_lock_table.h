// The byte ranges of files that holders in this process have locked.
//
// The OS's open-file-description locks keep other processes out, but they cannot keep two
// holders in this process apart when both lock through one descriptor (the OS merges such locks),
// and they let an unlock of part of a range split it. This table adds what the engine needs on
// top: a range that overlaps a range held by anyone in the process is refused, and only the
// exact range its holder locked can be released.
//
// Invariants (kept by Acquire and Release):
//   (1) The ranges held on one file (one device and inode) never overlap.
//   (2) Every range has first <= last.
// The table's lock is held while the caller's OS lock call runs (see WithLock), so the table and
// the OS locks change together for the other threads of the process.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

namespace platform {

struct TFileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  auto operator<=>(const TFileIdentity&) const = default;
};

class TRangeLockTable {
 public:
  // The one table of the process.
  static TRangeLockTable& Instance();

  // Records [first, last] of file for owner. False when it overlaps a range held by anyone.
  // REQUIRES: first <= last; the caller holds Mutex().
  bool Acquire(TFileIdentity file, int64_t first, int64_t last, const void* owner);

  // Removes the range of file that owner holds with exactly these bounds. False when there is
  // none. REQUIRES: the caller holds Mutex().
  bool Release(TFileIdentity file, int64_t first, int64_t last, const void* owner);

  // Removes every range owner holds (its descriptor is closing, which drops its OS locks).
  // REQUIRES: the caller holds Mutex().
  void ReleaseAll(const void* owner);

  // The number of ranges held on file, for tests.
  size_t HeldCount(TFileIdentity file);

  std::mutex& Mutex() { return mutex_; }

 private:
  struct TRange {
    int64_t last;
    const void* owner;
  };
  std::mutex mutex_;
  // By file, the held ranges by their first byte: a transaction may hold a lock on each of a
  // million records, so finding a neighbour costs a logarithm, not a walk.
  std::map<TFileIdentity, std::map<int64_t, TRange>> files_;
};

}  // namespace platform
