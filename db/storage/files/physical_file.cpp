// TPhysicalFile on the platform's disk files.
#include "db/storage/files/physical_file.h"

#include <cerrno>
#include <cstdint>
#include <limits>

#include "db/engine/errors/engine_error_codes.h"
#include "db/storage/files/os_error_map.h"
#include "platform/os/os_error.h"

namespace {

int64_t NegatedOsCode() {
  return -static_cast<int64_t>(EngineCodeOfOsError(platform::LastOsError()));
}

}  // namespace

int64_t TPhysicalFile::GetSize() {
  TFileAccessGuard hold(*this);
  if (os_file_.IsOpen()) return os_file_.Size();
  platform::TOsFile probe;
  if (!probe.Open(file_name_, platform::TFileAccess::Read, false, false)) return -1;
  return probe.Size();
}

bool TPhysicalFile::Stamp(platform::TFileStamp& stamp) {
  TFileAccessGuard hold(*this);
  return os_file_.IsOpen() && os_file_.Stamp(stamp);
}

int64_t TPhysicalFile::CreateFile() {
  TFileAccessGuard hold(*this);
  if (!os_file_.IsOpen()) {
    if (!os_file_.Create(file_name_)) return NegatedOsCode();
    read_only_ = false;
    read_only_attribute_ = false;
  } else if (!os_file_.SetSize(0)) {
    return NegatedOsCode();
  }
  position_ = 0;
  size_ = 0;
  const int64_t id = AddHandle();
  if (id < 0 && handles_.empty()) os_file_.Close();
  return id;
}

int64_t TPhysicalFile::OpenFile() {
  TFileAccessGuard hold(*this);
  if (handles_.empty()) {
    read_only_ = false;
    read_only_attribute_ = false;
    bool read_only = false;
    bool directory = false;
    if (!platform::OsFileAttributes(file_name_, read_only, directory)) return NegatedOsCode();
    if (read_only) {
      read_only_ = true;
      read_only_attribute_ = true;
    }
    const auto access = read_only_ ? platform::TFileAccess::Read : platform::TFileAccess::ReadWrite;
    if (!os_file_.Open(file_name_, access, exclusive_, temporary_)) {
      if (read_only_) return NegatedOsCode();
      if (!os_file_.Open(file_name_, platform::TFileAccess::Read, exclusive_, temporary_)) {
        return NegatedOsCode();
      }
      read_only_ = true;
    }
    position_ = 0;
  }
  const int64_t id = AddHandle();
  if (id < 0 && handles_.empty()) {
    TOsErrorKeeper keep;
    os_file_.Close();
  }
  return id;
}

void TPhysicalFile::CloseHandle(uint32_t id) {
  TFileAccessGuard hold(*this);
  TAbstractFile::CloseHandle(id);
  if (handles_.empty() && os_file_.IsOpen()) {
    os_file_.Close();
    position_ = 0;
  }
}

int TPhysicalFile::Rename(const std::string& newName) {
  TFileAccessGuard hold(*this);
  if (!platform::RenameOsFile(file_name_, newName)) {
    return static_cast<int>(NegatedOsCode());
  }
  file_name_ = newName;
  return 0;
}

int TPhysicalFile::Delete() {
  TFileAccessGuard hold(*this);
  if (!platform::DeleteOsFile(file_name_)) return static_cast<int>(NegatedOsCode());
  return 0;
}

int64_t TPhysicalFile::Read(uint32_t id, void* buffer, uint32_t count) {
  TFileAccessGuard hold(*this);
  if (FindHandle(id) < 0) {
    platform::SetLastOsError(EBADF);
    return -1;
  }
  const int64_t got = os_file_.Read(position_, buffer, count);
  if (got > 0) position_ += got;
  return got;
}

int64_t TPhysicalFile::Write(uint32_t id, const void* buffer, uint32_t count) {
  TFileAccessGuard hold(*this);
  if (FindHandle(id) < 0) {
    platform::SetLastOsError(EBADF);
    return -1;
  }
  if (count == 0) return os_file_.SetSize(position_) ? 0 : -1;
  const int64_t put = os_file_.Write(position_, buffer, count);
  if (put > 0) position_ += put;
  return put;
}

bool TPhysicalFile::Flush(uint32_t id) {
  TFileAccessGuard hold(*this);
  if (FindHandle(id) < 0) {
    platform::SetLastOsError(EBADF);
    return false;
  }
  return os_file_.Flush();
}

int64_t TPhysicalFile::Seek(uint32_t id, int origin, int64_t offset) {
  TFileAccessGuard hold(*this);
  if (FindHandle(id) < 0) {
    platform::SetLastOsError(EBADF);
    return -1;
  }
  int64_t base = 0;
  if (origin == kSeekFromCurrent) {
    base = position_;
  } else if (origin == kSeekFromEnd) {
    base = os_file_.Size();
    if (base < 0) return -1;
  } else if (origin != kSeekFromStart) {
    platform::SetLastOsError(EINVAL);
    return -1;
  }
  int64_t position = 0;
  if (__builtin_add_overflow(base, offset, &position) || position < 0) {
    platform::SetLastOsError(EINVAL);
    return -1;
  }
  position_ = position;
  return position;
}

bool TPhysicalFile::LockRegion(int64_t length, int64_t offset) {
  TFileAccessGuard hold(*this);
  return os_file_.IsOpen() && os_file_.LockRange(offset, length);
}

bool TPhysicalFile::UnlockRegion(int64_t length, int64_t offset) {
  TFileAccessGuard hold(*this);
  return os_file_.IsOpen() && os_file_.UnlockRange(offset, length);
}
