// The operating system's last-error value of the calling thread.
//
// On this platform the value is errno itself, not a copy: a failing POSIX call sets it, it is
// per thread, and it stays until the next failing call, which is what the engine's error context
// needs. The cost is that a successful C library call may legally change errno too, so the file
// layer, which must report the number of its failing call, restores it with SetLastOsError
// after any clean-up it does between the failure and returning. RaiseEngineError reads it
// before doing anything else.
#pragma once

namespace platform {

// The calling thread's last OS error number (an errno value; 0 when none was recorded).
int LastOsError();

// Sets the calling thread's last OS error number.
void SetLastOsError(int error);

// Keeps the last OS error number of its creation and restores it when it goes out of scope, so
// that clean-up between a failing call and the report of its error cannot change the number.
class TOsErrorKeeper {
 public:
  TOsErrorKeeper() : saved_(LastOsError()) {}
  ~TOsErrorKeeper() { SetLastOsError(saved_); }
  TOsErrorKeeper(const TOsErrorKeeper&) = delete;
  TOsErrorKeeper& operator=(const TOsErrorKeeper&) = delete;

 private:
  int saved_;
};

}  // namespace platform
