// Whole small files on exact paths; see whole_file.h.
#include "platform/os/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/os/fault_injection.h"

namespace platform {
namespace {

// Closes fd keeping the errno of the failure that made the caller give up.
void CloseKeepingError(int fd) {
  const int error = errno;
  close(fd);
  errno = error;
}

// Writes bytes at position (advanced by them) with the fault hooks; false (fd closed) on failure.
bool WritePart(int fd, const std::string& path, std::span<const uint8_t> bytes, off_t& position);

}  // namespace

bool WriteWholeFile(const std::string& path, const std::vector<std::span<const uint8_t>>& parts,
                    bool sync) {
  if (g_file_fault_plan != nullptr && !g_file_fault_plan->BeforeOpen(path)) return false;
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  off_t position = 0;
  for (const std::span<const uint8_t> bytes : parts) {
    if (!WritePart(fd, path, bytes, position)) return false;
  }
  if (sync) {
    if ((g_file_fault_plan != nullptr && !g_file_fault_plan->BeforeFlush(path)) ||
        fdatasync(fd) != 0) {
      CloseKeepingError(fd);
      return false;
    }
  }
  return close(fd) == 0;
}

namespace {

bool WritePart(int fd, const std::string& path, std::span<const uint8_t> bytes, off_t& position) {
  size_t done = 0;
  while (done < bytes.size()) {
    const size_t left = bytes.size() - done;
    uint32_t count = static_cast<uint32_t>(left > (1u << 30) ? (1u << 30) : left);
    const uint32_t asked = count;
    if (g_file_fault_plan != nullptr && !g_file_fault_plan->BeforeWrite(path, count)) {
      CloseKeepingError(fd);
      return false;
    }
    const ssize_t put = pwrite(fd, bytes.data() + done, count, position);
    if (put < 0) {
      if (errno == EINTR) continue;
      CloseKeepingError(fd);
      return false;
    }
    done += static_cast<size_t>(put);
    position += put;
    if (count < asked) {
      // An injected short write: the rest found no space.
      close(fd);
      errno = ENOSPC;
      return false;
    }
  }
  return true;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
  bytes.clear();
  if (g_file_fault_plan != nullptr && !g_file_fault_plan->BeforeRead(path)) return false;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    CloseKeepingError(fd);
    return false;
  }
  bytes.resize(static_cast<size_t>(info.st_size));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got =
        pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  bytes.resize(done);
  close(fd);
  return true;
}

bool WholeFileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool RemoveWholeFile(const std::string& path) {
  if (g_file_fault_plan != nullptr && !g_file_fault_plan->BeforeDelete(path)) return false;
  return unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool SyncDirectory(const std::string& directory) {
  if (g_file_fault_plan != nullptr && !g_file_fault_plan->BeforeFlush(directory)) return false;
  const int fd =
      open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  if (fsync(fd) != 0) {
    CloseKeepingError(fd);
    return false;
  }
  return close(fd) == 0;
}

}  // namespace platform
