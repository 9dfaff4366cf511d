// The OS services of system.h on POSIX. Each function saves errno on entry and restores it, so a
// successful call leaves the OS last-error value as it found it.
#include "platform/os/system.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/os/os_error.h"

namespace platform {
namespace {

// The leading decimal number of text from pos, advancing pos past it and one following '.'.
uint32_t ReadVersionNumber(const std::string& text, size_t& pos) {
  uint32_t value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    if (value < 100000000) value = value * 10 + static_cast<uint32_t>(text[pos] - '0');
    ++pos;
  }
  if (pos < text.size() && text[pos] == '.') ++pos;
  return value;
}

}  // namespace

void Sleep(uint32_t milliseconds) {
  TOsErrorKeeper keep;
  if (milliseconds == 0) {
    std::this_thread::yield();
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
}

uint32_t TickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  // Truncation to 32 bits is the wrap-around the contract promises.
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

uint32_t ProcessId() {
  return static_cast<uint32_t>(getpid());
}

uint32_t ThreadId() {
  return static_cast<uint32_t>(gettid());
}

std::string ComputerName() {
  TOsErrorKeeper keep;
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof(name) - 1) != 0) return {};
  return name;
}

std::string CurrentDirectory() {
  TOsErrorKeeper keep;
  std::vector<char> buffer(PATH_MAX);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    // ERANGE is the only failure a larger buffer mends; the directory may be deep.
    if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

std::string TempDirectory() {
  TOsErrorKeeper keep;
  const char* tmpdir = std::getenv("TMPDIR");
  std::string path = (tmpdir != nullptr && tmpdir[0] != '\0') ? tmpdir : "/tmp";
  if (path.back() != '/') path += '/';
  return path;
}

TOsVersion OsVersion() {
  TOsErrorKeeper keep;
  TOsVersion version;
  utsname info{};
  if (uname(&info) != 0) return version;
  version.name = info.sysname;
  version.release = info.release;
  size_t pos = 0;
  version.major = ReadVersionNumber(version.release, pos);
  version.minor = ReadVersionNumber(version.release, pos);
  return version;
}

}  // namespace platform
