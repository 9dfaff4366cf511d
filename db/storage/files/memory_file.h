// TMemoryFile: a file kept in a growable byte array for the life of the process (in-memory
// tables, temporary results). Each logical handle has its own position.
//
// Invariants (kept by Write):
//   (1) Capacity() is a multiple of 4096, at least Size(), and at most kMaxMemoryFileCapacity
//       (it is a 32-bit quantity); it never shrinks except to 0 when the file is emptied.
//   (2) Every byte from Size() to Capacity() is zero, so a write past the end, or a truncation
//       that extends the file, exposes zeros and never bytes of an earlier, longer content.
#pragma once

#include <cstdint>
#include <memory>

#include "db/storage/files/abstract_file.h"

inline constexpr uint32_t kMemoryFileGrain = 4096;
inline constexpr uint32_t kMaxMemoryFileCapacity = 0xFFFFF000u;

class TMemoryFile : public TAbstractFile {
 public:
  TMemoryFile() = default;

  // Releases the content, then adds a handle.
  int64_t CreateFile() override;
  // Reads from the handle's position; 0 bytes at or beyond the end.
  int64_t Read(uint32_t id, void* buffer, uint32_t count) override;
  // Writes at the handle's position, growing the file (zero-filling any gap). Returns count,
  // or 0 with ENOMEM when the file would pass kMaxMemoryFileCapacity or memory runs out. A count
  // of 0 sets the size to the position.
  int64_t Write(uint32_t id, const void* buffer, uint32_t count) override;

  uint32_t Capacity() const { return capacity_; }

 private:
  // Makes the capacity at least end (rounded up to kMemoryFileGrain). False (ENOMEM) when that
  // is not possible.
  bool Reserve(int64_t end);

  std::unique_ptr<uint8_t[]> data_;
  uint32_t capacity_ = 0;
};
