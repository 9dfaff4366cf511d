// Operating-system services the engine needs beyond files: re-entrant critical sections,
// sleeping, a millisecond tick count, process and thread ids, the computer name, the current and
// temporary directories and the OS version.
//
// Every function here is thread-safe. None of them changes the OS last-error value
// (LastOsError) when it succeeds, so calling one between a failing file call and raising does not
// hide that call's error.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace platform {

// A re-entrant lock: the thread that holds it may enter it again and must leave it as often.
// It is also BasicLockable, so std::lock_guard and std::unique_lock work with it.
class TCriticalSection {
 public:
  TCriticalSection() = default;
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;

  void Enter() { mutex_.lock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  // REQUIRES: the calling thread holds the lock.
  void Leave() { mutex_.unlock(); }

  void lock() { Enter(); }
  bool try_lock() { return TryEnter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex mutex_;
};

// Suspends the calling thread for at least milliseconds ms; 0 only yields.
void Sleep(uint32_t milliseconds);

// Milliseconds since an arbitrary fixed point, from a monotonic clock. It wraps around after
// about 49.7 days, so callers measure intervals by unsigned subtraction and treat an end below
// the start as a wrap.
uint32_t TickCount();

uint32_t ProcessId();
// The kernel's id of the calling thread (unique among live threads of the whole system).
uint32_t ThreadId();

// The host name, or the empty text if it cannot be read.
std::string ComputerName();

// The process's current directory, without a trailing separator (except for "/"); the empty
// text if it cannot be read.
std::string CurrentDirectory();

// The directory for temporary files: $TMPDIR when set and not empty, else "/tmp"; always with
// one trailing '/', as engine code appends file names to it directly.
std::string TempDirectory();

struct TOsVersion {
  std::string name;     // "Linux"
  std::string release;  // the kernel release text, "6.1.0-13-amd64"
  uint32_t major = 0;   // leading numbers of the release; 0 where absent
  uint32_t minor = 0;
};

TOsVersion OsVersion();

}  // namespace platform
