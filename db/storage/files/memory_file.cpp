// TMemoryFile: reads, writes and truncation of the in-memory byte array.
#include "db/storage/files/memory_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "platform/os/os_error.h"

int64_t TMemoryFile::CreateFile() {
  TFileAccessGuard hold(*this);
  data_.reset();
  capacity_ = 0;
  return TAbstractFile::CreateFile();
}

bool TMemoryFile::Reserve(int64_t end) {
  if (end <= capacity_) return true;
  if (end > kMaxMemoryFileCapacity) {
    platform::SetLastOsError(ENOMEM);
    return false;
  }
  // Grow by half again, so that a file written page after page is copied a logarithmic number
  // of times rather than once per page; but never reserve more than 64 MiB beyond the end.
  constexpr int64_t kMaxSlack = int64_t{64} << 20;
  const int64_t wanted = std::max<int64_t>(
      end, std::min<int64_t>(int64_t{capacity_} + capacity_ / 2, end + kMaxSlack));
  const uint32_t capacity = static_cast<uint32_t>(
      std::min<int64_t>(kMaxMemoryFileCapacity,
                        (wanted + kMemoryFileGrain - 1) / kMemoryFileGrain * kMemoryFileGrain));
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[capacity]);
  if (data == nullptr) {
    platform::SetLastOsError(ENOMEM);
    return false;
  }
  if (capacity_ > 0) std::memcpy(data.get(), data_.get(), capacity_);
  std::memset(data.get() + capacity_, 0, capacity - capacity_);
  data_ = std::move(data);
  capacity_ = capacity;
  return true;
}

int64_t TMemoryFile::Read(uint32_t id, void* buffer, uint32_t count) {
  TFileAccessGuard hold(*this);
  TFileHandle* handle = HandleOf(id);
  if (handle == nullptr || handle->Position < 0 || handle->Position > size_) return 0;
  const int64_t available = size_ - handle->Position;
  const uint32_t transfer = available < count ? static_cast<uint32_t>(available) : count;
  if (transfer > 0) std::memcpy(buffer, data_.get() + handle->Position, transfer);
  handle->Position += transfer;
  return transfer;
}

int64_t TMemoryFile::Write(uint32_t id, const void* buffer, uint32_t count) {
  TFileAccessGuard hold(*this);
  TFileHandle* handle = HandleOf(id);
  if (handle == nullptr || handle->Position < 0) return 0;
  const int64_t position = handle->Position;
  if (count == 0) {
    if (position == 0) {
      data_.reset();
      capacity_ = 0;
    } else if (!Reserve(position)) {
      return 0;
    } else if (position < size_) {
      // Invariant (2): the cut-off tail must read back as zeros if the file grows again.
      std::memset(data_.get() + position, 0, size_ - position);
    }
    size_ = position;
    return 0;
  }
  const int64_t end = position + count;
  if (!Reserve(end)) return 0;
  std::memcpy(data_.get() + position, buffer, count);
  if (end > size_) size_ = end;
  handle->Position = end;
  return count;
}
