// POSIX disk files with engine sharing and locking semantics; see file.h.
#include "platform/os/file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <ctime>
#include <mutex>

#include "platform/os/fault_injection.h"
#include "platform/os/os_error.h"
#include "platform/os/path.h"

namespace platform {
namespace {

bool SetOfdLock(int fd, short type, int64_t start, int64_t length) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = start;
  lock.l_len = length;
  lock.l_pid = 0;  // required by OFD locks
  while (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// True when a descriptor other than fd holds a lock on the byte at offset (a read or a write
// lock; ours, fd's own, are not reported).
bool OthersHoldByte(int fd, int64_t offset) {
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = offset;
  probe.l_len = 1;
  probe.l_pid = 0;
  if (fcntl(fd, F_OFD_GETLK, &probe) != 0) return true;  // cannot tell: assume held
  return probe.l_type != F_UNLCK;
}

// The sharing protocol of file.h on fd. False with EBUSY when another holder conflicts.
bool ClaimSharingOf(int fd, bool exclusive) {
  if (!SetOfdLock(fd, F_RDLCK, kOpenSentinelOffset, 1)) return false;
  if (exclusive) {
    if (!SetOfdLock(fd, F_RDLCK, kExclusiveSentinelOffset, 1)) return false;
    if (OthersHoldByte(fd, kOpenSentinelOffset)) {
      errno = EBUSY;
      return false;
    }
  } else if (OthersHoldByte(fd, kExclusiveSentinelOffset)) {
    errno = EBUSY;
    return false;
  }
  return true;
}

int OpenDescriptor(const std::string& path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

void CloseDescriptor(int fd) {
  TOsErrorKeeper keep;
  close(fd);
}

// Opens path for a create, delete or rename and claims it exclusively: the returned descriptor
// keeps every other opener out until it is closed. -1 with the OS error on failure.
int ClaimForChange(const std::string& path) {
  const int fd = OpenDescriptor(path, O_RDONLY);
  if (fd < 0) return -1;
  struct stat info {};
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    if (S_ISDIR(info.st_mode)) errno = EISDIR;
    CloseDescriptor(fd);
    return -1;
  }
  if (!ClaimSharingOf(fd, true)) {
    CloseDescriptor(fd);
    return -1;
  }
  return fd;
}

bool ValidRange(int64_t offset, int64_t length, int64_t& last) {
  if (length < 1 || offset < 0 || offset > INT64_MAX - (length - 1)) return false;
  last = offset + length - 1;
  return last < kOpenSentinelOffset || offset > kExclusiveSentinelOffset;
}

}  // namespace

TOsFile::~TOsFile() {
  Close();
}

bool TOsFile::Open(std::string_view name, TFileAccess access, bool exclusive, bool deleteOnClose) {
  const std::string path = ResolveFileName(name);
  if (g_file_fault_plan != nullptr && !g_file_fault_plan->BeforeOpen(path)) [[unlikely]] {
    return false;
  }
  const int fd = OpenDescriptor(path, access == TFileAccess::Read ? O_RDONLY : O_RDWR);
  if (fd < 0) return false;
  struct stat info {};
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || !ClaimSharingOf(fd, exclusive)) {
    if (S_ISDIR(info.st_mode)) errno = EISDIR;
    CloseDescriptor(fd);
    return false;
  }
  fd_ = fd;
  access_ = access;
  delete_on_close_ = deleteOnClose;
  path_ = path;
  identity_ = {info.st_dev, info.st_ino};
  return true;
}

bool TOsFile::Create(std::string_view name) {
  const std::string path = ResolveFileName(name);
  if (g_file_fault_plan != nullptr && !g_file_fault_plan->BeforeOpen(path)) [[unlikely]] {
    return false;
  }
  const int fd = OpenDescriptor(path, O_RDWR | O_CREAT, 0666);
  if (fd < 0) return false;
  struct stat info {};
  // The claim comes before the truncation: a file someone holds must keep its content.
  if (fstat(fd, &info) != 0 || !ClaimSharingOf(fd, true) || ftruncate(fd, 0) != 0) {
    CloseDescriptor(fd);
    return false;
  }
  fd_ = fd;
  access_ = TFileAccess::ReadWrite;
  delete_on_close_ = false;
  path_ = path;
  identity_ = {info.st_dev, info.st_ino};
  return true;
}

void TOsFile::Close() {
  if (fd_ < 0) return;
  TOsErrorKeeper keep;
  TRangeLockTable& table = TRangeLockTable::Instance();
  // Under the table's lock: the table and the OS locks change together for other threads.
  std::lock_guard<std::mutex> hold(table.Mutex());
  table.ReleaseAll(this);
  if (delete_on_close_) unlink(path_.c_str());
  close(fd_);
  fd_ = -1;
  delete_on_close_ = false;
}

int64_t TOsFile::Read(int64_t offset, void* buffer, uint32_t count) {
  if (g_file_fault_plan != nullptr && !g_file_fault_plan->BeforeRead(path_)) [[unlikely]] {
    return -1;
  }
  if (offset < 0) {
    errno = EINVAL;
    return -1;
  }
  auto* bytes = static_cast<char*>(buffer);
  uint32_t total = 0;
  while (total < count) {
    const ssize_t got = pread(fd_, bytes + total, count - total, offset + total);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    total += static_cast<uint32_t>(got);
  }
  return total;
}

int64_t TOsFile::Write(int64_t offset, const void* buffer, uint32_t count) {
  uint32_t allowed = count;
  if (g_file_fault_plan != nullptr && !g_file_fault_plan->BeforeWrite(path_, allowed))
      [[unlikely]] {
    return -1;
  }
  if (offset < 0) {
    errno = EINVAL;
    return -1;
  }
  const auto* bytes = static_cast<const char*>(buffer);
  uint32_t total = 0;
  while (total < allowed) {
    const ssize_t put = pwrite(fd_, bytes + total, allowed - total, offset + total);
    if (put < 0) {
      if (errno == EINTR) continue;
      return total > 0 ? int64_t{total} : -1;
    }
    total += static_cast<uint32_t>(put);
  }
  if (allowed < count) errno = ENOSPC;  // an injected write that ran out of space half-way
  return total;
}

bool TOsFile::SetSize(int64_t size) {
  if (size < 0) {
    errno = EINVAL;
    return false;
  }
  while (ftruncate(fd_, size) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

int64_t TOsFile::Size() const {
  struct stat info {};
  if (fstat(fd_, &info) != 0) return -1;
  return info.st_size;
}

bool TOsFile::Stamp(TFileStamp& stamp) const {
  struct stat info {};
  if (fd_ < 0 || fstat(fd_, &info) != 0) return false;
  stamp.Identity = {info.st_dev, info.st_ino};
  stamp.Size = info.st_size;
  stamp.Modified = int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
  return true;
}

bool StampSettled(const TFileStamp& stamp) {
  // File times come from a clock that advances in ticks of a few milliseconds: a write in the
  // same tick as the last one leaves the time as it was. 50 ms covers any tick length.
  constexpr int64_t kMargin = 50'000'000;
  timespec now{};
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
  const int64_t nanos = int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
  return nanos - stamp.Modified >= kMargin;
}

bool TOsFile::Flush() {
  if (g_file_fault_plan != nullptr && !g_file_fault_plan->BeforeFlush(path_)) [[unlikely]] {
    return false;
  }
  return fdatasync(fd_) == 0;
}

bool TOsFile::LockRange(int64_t offset, int64_t length) {
  int64_t last = 0;
  if (fd_ < 0 || !ValidRange(offset, length, last)) {
    errno = fd_ < 0 ? EBADF : EINVAL;
    return false;
  }
  TRangeLockTable& table = TRangeLockTable::Instance();
  std::lock_guard<std::mutex> hold(table.Mutex());
  if (!table.Acquire(identity_, offset, last, this)) {
    errno = EAGAIN;
    return false;
  }
  if (!SetOfdLock(fd_, Writable() ? F_WRLCK : F_RDLCK, offset, length)) {
    TOsErrorKeeper keep;
    table.Release(identity_, offset, last, this);
    return false;
  }
  return true;
}

bool TOsFile::UnlockRange(int64_t offset, int64_t length) {
  int64_t last = 0;
  if (fd_ < 0 || !ValidRange(offset, length, last)) {
    errno = fd_ < 0 ? EBADF : EINVAL;
    return false;
  }
  TRangeLockTable& table = TRangeLockTable::Instance();
  std::lock_guard<std::mutex> hold(table.Mutex());
  if (!table.Release(identity_, offset, last, this)) {
    errno = ENOLCK;
    return false;
  }
  return SetOfdLock(fd_, F_UNLCK, offset, length);
}

bool OsFileAttributes(std::string_view name, bool& readOnly, bool& directory) {
  struct stat info {};
  if (stat(ResolveFileName(name).c_str(), &info) != 0) return false;
  readOnly = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  directory = S_ISDIR(info.st_mode);
  return true;
}

bool OsFileExists(std::string_view name) {
  TOsErrorKeeper keep;
  struct stat info {};
  return stat(ResolveFileName(name).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool DeleteOsFile(std::string_view name) {
  const std::string path = ResolveFileName(name);
  if (g_file_fault_plan != nullptr && !g_file_fault_plan->BeforeDelete(path)) return false;
  const int fd = ClaimForChange(path);
  if (fd < 0) return false;
  const bool deleted = unlink(path.c_str()) == 0;
  CloseDescriptor(fd);
  return deleted;
}

bool RenameOsFile(std::string_view oldName, std::string_view newName) {
  const std::string from = ResolveFileName(oldName);
  const std::string existing = ResolveFileName(newName);
  if (g_file_fault_plan != nullptr && !g_file_fault_plan->BeforeRename(from, existing)) {
    return false;
  }
  // The target keeps the spelling asked for in its last component; its directories are those
  // on disk.
  std::string to =
      IncludeTrailingSeparator(FileDirectory(existing)) + FileBaseName(NormalizeFileName(newName));
  if (FileDirectory(existing).empty()) to = FileBaseName(NormalizeFileName(newName));
  const int fd = ClaimForChange(from);
  if (fd < 0) return false;
  struct stat source {};
  struct stat target {};
  fstat(fd, &source);
  if (lstat(existing.c_str(), &target) == 0) {
    // A name that differs only in case denotes the same file; another file is never replaced.
    if (target.st_dev != source.st_dev || target.st_ino != source.st_ino) {
      CloseDescriptor(fd);
      errno = EEXIST;
      return false;
    }
    if (to == from) {
      CloseDescriptor(fd);
      return true;
    }
  }
  bool renamed = renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
  if (!renamed && (errno == EINVAL || errno == ENOSYS)) {
    // A file system without RENAME_NOREPLACE: link fails on an existing target just as well.
    renamed = link(from.c_str(), to.c_str()) == 0 && unlink(from.c_str()) == 0;
  }
  CloseDescriptor(fd);
  return renamed;
}

}  // namespace platform
