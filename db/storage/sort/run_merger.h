// TRunMerger: merges sorted runs into one sorted stream. Each run is read through a buffer of
// its share of the merge's budget; a binary heap of the runs' head entries yields the smallest
// head in O(log runs). Byte-comparable heads are compared on their first 8 key bytes as a
// number first.
//
// Invariants:
//   (1) Every run in the heap has an unread head entry in its buffer (Refill), and its Prefix is
//       that head's (NewHead).
//   (2) heap_ is ordered by (full key, run number): equal keys come from the earlier run first,
//       and runs hold consecutive stretches of the data file in order, so the merge keeps the
//       records' old order between equal keys.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "db/storage/sort/run_file.h"
#include "db/storage/sort/sort_key.h"

class TRunMerger {
 public:
  // Merges runs first ... last - 1 of file (consecutive runs, in file order) of entries of
  // recordSize + layout.Length() bytes; bufferEntries is the number of entries buffered for all
  // runs together (each run gets at least one). file and layout must outlive this object.
  TRunMerger(TRunFile& file, size_t first, size_t last, const TSortKeyLayout& layout,
             uint32_t recordSize, uint32_t bufferEntries);

  // Passes each entry, plain (its image, then its key at image + recordSize), to take in sorted
  // order, until take returns false or the runs are exhausted. Raises the file's read errors.
  void Merge(const std::function<bool(const uint8_t* entry)>& take);

 private:
  struct TCursor {
    size_t Run = 0;     // in file order
    uint32_t Read = 0;  // entries of the run read so far
    std::vector<uint8_t> Entries;
    uint32_t Count = 0;   // entries in the buffer
    uint32_t Next = 0;    // the head's index in the buffer
    uint64_t Prefix = 0;  // the head key's first 8 bytes, big-endian (byte-comparable keys)
  };

  // Reads the cursor's next buffer; false when the run is exhausted.
  bool Refill(TCursor& cursor);
  const uint8_t* Head(const TCursor& c) const {
    return c.Entries.data() + static_cast<size_t>(c.Next) * entry_size_;
  }
  // The head moved to c.Next: refresh its prefix.
  void NewHead(TCursor& c) const;
  bool Less(const TCursor* a, const TCursor* b) const;
  // Restores the heap order below index after its cursor's head grew.
  void SiftDown(size_t index);

  TRunFile& file_;
  const TSortKeyLayout& layout_;
  uint32_t record_size_;
  uint32_t entry_size_;
  uint32_t buffer_entries_;
  bool bytewise_;
  std::vector<TCursor> cursors_;
  std::vector<TCursor*> heap_;
};
