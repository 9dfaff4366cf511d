// Shells as separate processes on one folder. Four at once, each inserting its own keys one
// statement at a time: the engine's locks keep them apart, so afterwards every key is there
// exactly once and the table checks sound (PEBRIO_VUZODE_INSERTS sets the inserts per shell:
// 2,000, a quarter under the sanitizers). And a shell killed right after a report.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "tests/app/vuzode_support.h"

namespace vuzode_test {
namespace {

constexpr int kShells = 4;

TEST(VuzodeConcurrency, FourShellsInsertingAtOnceLoseNothing) {
  const int64_t inserts = engine_test::HeavyTestSize("PEBRIO_VUZODE_INSERTS", 2000);
  engine_test::TScratchFolder scratch;
  const std::string db = scratch.Path() + "/db";
  const TRun made = RunShell(
      scratch.Path(),
      {db,
       "CREATE TABLE t (id INTEGER, shell INTEGER, PRIMARY KEY (id)); CREATE INDEX byshell "
       "ON t (shell)"});
  ASSERT_EQ(made.Status, 0) << made.Err;

  std::vector<pid_t> pids;
  for (int s = 0; s < kShells; ++s) {
    std::string script;
    for (int64_t i = 0; i < inserts; ++i)
      script += "INSERT INTO t VALUES (" + std::to_string(i * kShells + s) + ", " +
                std::to_string(s) + ");\n";
    const std::string base = scratch.Path() + "/shell" + std::to_string(s);
    WriteWhole(base + ".in", script);
    pids.push_back(
        StartShell({"-locktimeout", "60000", db}, base + ".in", base + ".out", base + ".err"));
  }
  for (int s = 0; s < kShells; ++s) {
    const std::string base = scratch.Path() + "/shell" + std::to_string(s);
    EXPECT_EQ(WaitShell(pids[s]), 0) << ReadWhole(base + ".err");
    EXPECT_EQ(ReadWhole(base + ".out"), "");
  }

  const TRun keys = RunShell(scratch.Path(), {db, "SELECT id, shell FROM t"});
  ASSERT_EQ(keys.Status, 0) << keys.Err;
  std::vector<int64_t> seen;
  for (size_t at = 0; at < keys.Out.size();) {
    const size_t end = keys.Out.find('\n', at);
    const std::string line = keys.Out.substr(at, end - at);
    const int64_t id = std::stoll(line.substr(0, line.find('|')));
    EXPECT_EQ(std::stoll(line.substr(line.find('|') + 1)), id % kShells) << line;
    seen.push_back(id);
    at = end + 1;
  }
  std::sort(seen.begin(), seen.end());
  ASSERT_EQ(seen.size(), static_cast<size_t>(inserts * kShells));
  for (size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], static_cast<int64_t>(i));
  const TRun check = RunShell(scratch.Path(), {db, ".check t"});
  EXPECT_EQ(check.Out, "ok\n") << check.Err;
}

// A shell killed right after it reported a statement done loses nothing: each INSERT is
// followed by a SELECT whose printed count is the report, and the shell is killed the moment
// the last count appears.
TEST(VuzodeConcurrency, KilledShellKeepsWhatItReported) {
  constexpr int kInserts = 50;
  engine_test::TScratchFolder scratch;
  const std::string db = scratch.Path() + "/db";
  ASSERT_EQ(RunShell(scratch.Path(), {db, "CREATE TABLE t (id INTEGER, PRIMARY KEY (id))"}).Status,
            0);
  const std::string fifo = scratch.Path() + "/input", out = scratch.Path() + "/out";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // The test holds the pipe open for writing before the shell starts: the spawn suspends this
  // process until the shell runs, so the shell's open of the pipe must not wait for a writer.
  const int writer = open(fifo.c_str(), O_RDWR);
  ASSERT_GE(writer, 0);
  const pid_t pid = StartShell({db}, fifo, out, scratch.Path() + "/err");
  ASSERT_GT(pid, 0);
  std::string script;
  for (int i = 1; i <= kInserts; ++i)
    script += "INSERT INTO t VALUES (" + std::to_string(i) + "); SELECT COUNT(*) FROM t;\n";
  ASSERT_EQ(write(writer, script.data(), script.size()), static_cast<ssize_t>(script.size()));
  const std::string last = std::to_string(kInserts) + "\n";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::string printed;
  while (!printed.ends_with("\n" + last) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    printed = ReadWhole(out);
  }
  kill(pid, SIGKILL);
  WaitShell(pid);
  close(writer);
  ASSERT_TRUE(printed.ends_with("\n" + last)) << printed;
  EXPECT_EQ(
      RunShell(scratch.Path(), {db, "SELECT COUNT(*), SUM(id) FROM t"}).Out,
      last.substr(0, last.size() - 1) + "|" + std::to_string(kInserts * (kInserts + 1) / 2) + "\n");
  EXPECT_EQ(RunShell(scratch.Path(), {db, ".check t"}).Out, "ok\n");
}

}  // namespace
}  // namespace vuzode_test
