// The header bookkeeping the three table files (data, index, BLOB) share: every change to a
// header advances its change counter and marks it dirty; writing it advances the counter once
// more, puts the encoded header at offset 0 under the file's access guard, and clears the
// mark. Other sessions compare the counters on disk to see that a file changed.
#pragma once

#include <cstdint>
#include <span>

#include "db/storage/change_counter.h"
#include "db/storage/files/file_handler.h"

// Counts a change and marks the header dirty without writing it.
inline void MarkTableHeaderChanged(int32_t& changeCount, bool& dirty) {
  changeCount = WrappingIncrement(changeCount);
  dirty = true;
}

// Writes the header when force or dirty: the counter advances, encode() returns the header's
// bytes (as they go to the file), they are written at offset 0, and the mark is cleared.
// Returns whether it wrote.
template <typename TEncode>
bool WriteTableHeader(TFileHandler& file, bool force, bool& dirty, int32_t& changeCount,
                      TEncode&& encode) {
  if (!force && !dirty) return false;
  changeCount = WrappingIncrement(changeCount);
  const std::span<const uint8_t> bytes = encode();
  {
    TFileAccess access(file);
    file.Seek(0);
    file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
  }
  dirty = false;
  return true;
}
