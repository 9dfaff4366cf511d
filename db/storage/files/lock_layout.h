// The byte-range locks by which processes and sessions coordinate on table files, and the
// storage layer's retry loops around them.
//
// All lock bytes lie at 4 GB and just below, beyond any data (files stay below 4000000000
// bytes), so they never block a read or write of data:
//
//   | File                  | Offset              | Length  | Meaning                           |
//   |-----------------------|---------------------|---------|-----------------------------------|
//   | data file             | 0xFFFFFFFE - n      | 1       | lock of record n (n >= 1)         |
//   | data file             | 0xFFFFFFFF          | 1       | table write byte: held by a       |
//   |                       |                     |         | writer while it changes the table |
//   |                       |                     |         | and for a whole transaction       |
//   | index and BLOB files  | 0xFFFEFFFF          | 0x10000 | write lock: covers every slot     |
//   | index and BLOB files  | 0xFFFFFFFF - s      | 1       | read lock in slot s, 1..65535     |
//
// Readers take one random slot each, so readers never block each other, any reader blocks a
// writer and a writer blocks every reader. (The platform's sharing bytes lie above, at 4 GB.)
#pragma once

#include <cstdint>

class TFileHandler;

inline constexpr int64_t kTableWriteByte = 0xFFFFFFFFLL;
inline constexpr int64_t kWriteLockOffset = 0xFFFEFFFFLL;
inline constexpr int64_t kWriteLockLength = 0x10000;
// Record numbers run up to this; their lock bytes stay above 0xF0000000.
inline constexpr uint32_t kMaxLockableRecord = 200000000;

// The attempts of a retry loop and the pause between two of them.
inline constexpr uint32_t kLockAttempts = 32767;
inline constexpr uint32_t kLockRetryMilliseconds = 3;

// REQUIRES: 1 <= record <= kMaxLockableRecord.
constexpr int64_t RecordLockOffset(uint32_t record) {
  return 0xFFFFFFFELL - record;
}

// REQUIRES: 1 <= slot <= 65535.
constexpr int64_t ReadSlotOffset(uint16_t slot) {
  return 0xFFFFFFFFLL - slot;
}

// One attempt each; false when another holder has the byte (or record is out of range).
bool LockRecord(TFileHandler& dataFile, uint32_t record);
bool UnlockRecord(TFileHandler& dataFile, uint32_t record);
// The lock bytes of records first..last as one range (a record lock escalation takes the runs
// between the records it holds already). One attempt each; only the exact run locked can be
// unlocked. REQUIRES: 1 <= first <= last <= kMaxLockableRecord.
bool LockRecordRun(TFileHandler& dataFile, uint32_t first, uint32_t last);
bool UnlockRecordRun(TFileHandler& dataFile, uint32_t first, uint32_t last);

// Up to attempts tries, kLockRetryMilliseconds apart; false when all fail.
bool LockTableWriteByte(TFileHandler& dataFile, uint32_t attempts = kLockAttempts);
bool UnlockTableWriteByte(TFileHandler& dataFile);

bool LockWriteSlots(TFileHandler& file, uint32_t attempts = kLockAttempts);
bool UnlockWriteSlots(TFileHandler& file);

// Takes a read lock in a random slot (a new one after each failure), up to attempts tries. On
// success slot is the slot taken, which UnlockReadSlot needs back.
bool LockReadSlot(TFileHandler& file, uint16_t& slot, uint32_t attempts = kLockAttempts);
bool UnlockReadSlot(TFileHandler& file, uint16_t slot);
