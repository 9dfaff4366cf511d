// Tests of the OS services and the OS last-error value.
#include "platform/os/system.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/os/os_error.h"

namespace {

TEST(CriticalSection, IsReentrantAndExcludesOtherThreadsUntilFullyLeft) {
  platform::TCriticalSection section;
  section.Enter();
  section.Enter();
  auto other_thread_gets_it = [&] {
    bool got = false;
    std::thread other([&] {
      got = section.TryEnter();
      if (got) section.Leave();
    });
    other.join();
    return got;
  };
  EXPECT_FALSE(other_thread_gets_it());
  section.Leave();
  EXPECT_FALSE(other_thread_gets_it()) << "still held once";
  section.Leave();
  EXPECT_TRUE(other_thread_gets_it());
}

TEST(CriticalSection, SerialisesIncrementsFromManyThreads) {
  platform::TCriticalSection section;
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        std::lock_guard<platform::TCriticalSection> guard(section);
        ++counter;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 80000);
}

TEST(System, SleepLastsAtLeastItsTimeOnTheTickCount) {
  const uint32_t start = platform::TickCount();
  platform::Sleep(30);
  const uint32_t elapsed = platform::TickCount() - start;  // unsigned: survives a wrap
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, 5000u);
}

TEST(System, ProcessAndThreadIds) {
  EXPECT_EQ(platform::ProcessId(), static_cast<uint32_t>(getpid()));
  const uint32_t main_thread = platform::ThreadId();
  uint32_t other = main_thread;
  std::thread([&] { other = platform::ThreadId(); }).join();
  EXPECT_NE(other, main_thread);
  EXPECT_EQ(platform::ThreadId(), main_thread);
}

TEST(System, DirectoriesAndNames) {
  EXPECT_EQ(platform::CurrentDirectory(), std::filesystem::current_path().string());
  EXPECT_FALSE(platform::ComputerName().empty());
  const platform::TOsVersion version = platform::OsVersion();
  EXPECT_EQ(version.name, "Linux");
  EXPECT_GE(version.major, 3u);
  EXPECT_EQ(version.release.substr(0, std::to_string(version.major).size()),
            std::to_string(version.major));
}

TEST(System, TempDirectoryFollowsTmpdirAndEndsInOneSlash) {
  const char* saved = std::getenv("TMPDIR");
  const std::string saved_value = saved ? saved : "";
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(platform::TempDirectory(), "/var/tmp/");
  setenv("TMPDIR", "/var/tmp/", 1);
  EXPECT_EQ(platform::TempDirectory(), "/var/tmp/");
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(platform::TempDirectory(), "/tmp/");
  unsetenv("TMPDIR");
  EXPECT_EQ(platform::TempDirectory(), "/tmp/");
  if (saved) setenv("TMPDIR", saved_value.c_str(), 1);
}

// The engine reads the OS last-error value when it raises; a service called in between must not
// replace the number of the failed call.
TEST(System, ServicesLeaveTheLastOsErrorAlone) {
  platform::SetLastOsError(EACCES);
  platform::Sleep(0);
  platform::Sleep(1);
  platform::ComputerName();
  platform::CurrentDirectory();
  platform::TempDirectory();
  platform::OsVersion();
  platform::TickCount();
  platform::ThreadId();
  EXPECT_EQ(platform::LastOsError(), EACCES);
}

TEST(OsError, IsTheFailedCallsErrnoAndPerThread) {
  ASSERT_EQ(access("/nonexistent-of-system-test", F_OK), -1);
  EXPECT_EQ(platform::LastOsError(), ENOENT);
  int seen_by_other = -1;
  std::thread([&] {
    platform::SetLastOsError(EBADF);
    seen_by_other = platform::LastOsError();
  }).join();
  EXPECT_EQ(seen_by_other, EBADF);
  EXPECT_EQ(platform::LastOsError(), ENOENT);
}

}  // namespace
