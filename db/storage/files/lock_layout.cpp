// The retry loops of the lock layout; the layout itself is in lock_layout.h.
#include "db/storage/files/lock_layout.h"

#include <random>

#include "db/storage/files/file_handler.h"
#include "platform/os/system.h"

namespace {

bool LockWithRetries(TFileHandler& file, int64_t length, int64_t offset, uint32_t attempts) {
  for (uint32_t attempt = 0; attempt < attempts; ++attempt) {
    if (attempt > 0) platform::Sleep(kLockRetryMilliseconds);
    if (file.LockRegion(length, offset)) return true;
  }
  return false;
}

// A slot in 1..65535: each thread draws from its own generator, seeded apart from the others so
// that readers of different threads and processes spread over the slots.
uint16_t RandomSlot() {
  thread_local std::minstd_rand generator(std::random_device{}() ^ platform::ThreadId());
  const auto slot = static_cast<uint16_t>(generator() & 0xFFFF);
  return slot == 0 ? 1 : slot;
}

}  // namespace

bool LockRecord(TFileHandler& dataFile, uint32_t record) {
  if (record < 1 || record > kMaxLockableRecord) return false;
  return dataFile.LockRegion(1, RecordLockOffset(record));
}

bool UnlockRecord(TFileHandler& dataFile, uint32_t record) {
  if (record < 1 || record > kMaxLockableRecord) return false;
  return dataFile.UnlockRegion(1, RecordLockOffset(record));
}

bool LockRecordRun(TFileHandler& dataFile, uint32_t first, uint32_t last) {
  if (first < 1 || first > last || last > kMaxLockableRecord) return false;
  return dataFile.LockRegion(int64_t{last} - first + 1, RecordLockOffset(last));
}

bool UnlockRecordRun(TFileHandler& dataFile, uint32_t first, uint32_t last) {
  if (first < 1 || first > last || last > kMaxLockableRecord) return false;
  return dataFile.UnlockRegion(int64_t{last} - first + 1, RecordLockOffset(last));
}

bool LockTableWriteByte(TFileHandler& dataFile, uint32_t attempts) {
  return LockWithRetries(dataFile, 1, kTableWriteByte, attempts);
}

bool UnlockTableWriteByte(TFileHandler& dataFile) {
  return dataFile.UnlockRegion(1, kTableWriteByte);
}

bool LockWriteSlots(TFileHandler& file, uint32_t attempts) {
  return LockWithRetries(file, kWriteLockLength, kWriteLockOffset, attempts);
}

bool UnlockWriteSlots(TFileHandler& file) {
  return file.UnlockRegion(kWriteLockLength, kWriteLockOffset);
}

bool LockReadSlot(TFileHandler& file, uint16_t& slot, uint32_t attempts) {
  for (uint32_t attempt = 0; attempt < attempts; ++attempt) {
    if (attempt > 0) platform::Sleep(kLockRetryMilliseconds);
    const uint16_t candidate = RandomSlot();
    if (file.LockRegion(1, ReadSlotOffset(candidate))) {
      slot = candidate;
      return true;
    }
  }
  return false;
}

bool UnlockReadSlot(TFileHandler& file, uint16_t slot) {
  if (slot == 0) return false;
  return file.UnlockRegion(1, ReadSlotOffset(slot));
}
