// What the SQLite comparison benchmarks share: a steady clock and seconds since a start, the
// run's scratch folder (made fresh, removed when the run ends or fails), failing with a
// message, and checking SQLite's result codes.
#pragma once

#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

// The scratch folder of this run; empty until MakeScratchFolder.
inline std::filesystem::path& ScratchFolder() {
  static std::filesystem::path folder;
  return folder;
}

// A fresh, empty folder prefix_PID under the temporary directory, remembered as the run's.
inline std::filesystem::path MakeScratchFolder(const std::string& prefix) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / (prefix + "_" + std::to_string(getpid()));
  ScratchFolder() = folder;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

// Prints what, removes the scratch folder and ends the run with status 1.
[[noreturn]] inline void Fail(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  std::error_code ignored;
  if (!ScratchFolder().empty()) std::filesystem::remove_all(ScratchFolder(), ignored);
  std::exit(1);
}

// Fails unless rc is one of SQLite's success codes.
inline void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    Fail(std::string("sqlite ") + what + ": " + sqlite3_errmsg(db));
  }
}

}  // namespace bench
