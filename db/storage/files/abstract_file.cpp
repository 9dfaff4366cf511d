// The parts of TAbstractFile common to both kinds: handles, per-handle positions and the lock
// list that the memory kind uses.
#include "db/storage/files/abstract_file.h"

#include <cerrno>
#include <cstdint>
#include <limits>

#include "db/engine/errors/engine_error_codes.h"
#include "platform/os/os_error.h"

int TAbstractFile::FindHandle(uint32_t id) const {
  for (size_t i = 0; i < handles_.size(); ++i) {
    if (handles_[i].Id == id) return static_cast<int>(i);
  }
  return -1;
}

TFileHandle* TAbstractFile::HandleOf(uint32_t id) {
  const int index = FindHandle(id);
  return index < 0 ? nullptr : &handles_[index];
}

int64_t TAbstractFile::GetSize() {
  TFileAccessGuard hold(*this);
  return size_;
}

int64_t TAbstractFile::AddHandle() {
  if (last_handle_id_ == std::numeric_limits<uint32_t>::max() ||
      handles_.size() == std::numeric_limits<uint16_t>::max()) {
    platform::SetLastOsError(EMFILE);
    return -VUZODE_OSEMFILE;
  }
  handles_.push_back({++last_handle_id_, 0});
  return handles_.back().Id;
}

int64_t TAbstractFile::CreateFile() {
  TFileAccessGuard hold(*this);
  size_ = 0;
  return AddHandle();
}

int64_t TAbstractFile::OpenFile() {
  TFileAccessGuard hold(*this);
  return AddHandle();
}

void TAbstractFile::CloseHandle(uint32_t id) {
  TFileAccessGuard hold(*this);
  const int index = FindHandle(id);
  if (index >= 0) handles_.erase(handles_.begin() + index);
}

int TAbstractFile::Rename(const std::string& newName) {
  TFileAccessGuard hold(*this);
  file_name_ = newName;
  return 0;
}

int TAbstractFile::Delete() {
  return 0;
}

int64_t TAbstractFile::Read(uint32_t, void*, uint32_t) {
  platform::SetLastOsError(EBADF);
  return -1;
}

int64_t TAbstractFile::Write(uint32_t, const void*, uint32_t) {
  platform::SetLastOsError(EBADF);
  return -1;
}

bool TAbstractFile::Flush(uint32_t) {
  return true;
}

int64_t TAbstractFile::Seek(uint32_t id, int origin, int64_t offset) {
  TFileAccessGuard hold(*this);
  TFileHandle* handle = HandleOf(id);
  int64_t base = 0;
  switch (origin) {
    case kSeekFromStart:
      break;
    case kSeekFromCurrent:
      base = handle != nullptr ? handle->Position : 0;
      break;
    case kSeekFromEnd:
      base = size_;
      break;
    default:
      handle = nullptr;
  }
  int64_t position = 0;
  if (handle == nullptr) {
    platform::SetLastOsError(origin >= kSeekFromStart && origin <= kSeekFromEnd ? EBADF : EINVAL);
    return -1;
  }
  if (__builtin_add_overflow(base, offset, &position) || position < 0) {
    platform::SetLastOsError(EINVAL);
    return -1;
  }
  handle->Position = position;
  return position;
}

bool TAbstractFile::LockRegion(int64_t length, int64_t offset) {
  TFileAccessGuard hold(*this);
  if (length < 1 || offset < 0 || offset > std::numeric_limits<int64_t>::max() - (length - 1)) {
    return false;
  }
  const int64_t first = offset;
  const int64_t last = offset + length - 1;
  for (const TLockRange& held : locks_) {
    if ((held.First <= first && first <= held.Last) ||
        (first <= held.First && held.First <= last)) {
      return false;
    }
  }
  locks_.push_back({first, last, length});
  return true;
}

bool TAbstractFile::UnlockRegion(int64_t length, int64_t offset) {
  TFileAccessGuard hold(*this);
  for (auto range = locks_.begin(); range != locks_.end(); ++range) {
    if (range->First == offset && range->Length == length) {
      locks_.erase(range);
      return true;
    }
  }
  return false;
}
