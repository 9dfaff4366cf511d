// TExternalSort: the sort of a table whose records are not all cached, through a run file.
//
// With m the run length (records of one run) and F = MaxMergeRuns:
//   1. Flush and discard the record cache.
//   2. Read the records m at a time with one read each, sort each batch by key (position breaks
//      ties) and append it, each image with its key, as one run to the run file. A table of at
//      most m records is one batch, which is emitted directly without a run file.
//   3. While more than F runs remain, a pass merges each F consecutive runs into one run of a new
//      run file, and the old file is deleted.
//   4. The runs are merged into the row emitter, which writes the output over the record area;
//      then the run file is deleted.
//
// Invariants:
//   (1) Runs lie in the run file in file order of their records, and a pass keeps that order,
//       so breaking ties by run keeps the records' old order between equal keys.
//   (2) Every run file is owned by a unique_ptr while it exists: whatever fails, its destructor
//       deletes the file. At most two exist at once (during a pass).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "db/storage/data/data_file.h"
#include "db/storage/sort/record_sort.h"
#include "db/storage/sort/row_emitter.h"
#include "db/storage/sort/run_file.h"
#include "db/storage/sort/sort_key.h"

class TExternalSort {
 public:
  // file, layout and options must outlive this object. runLength >= 1.
  TExternalSort(TDataFile& file, const TSortKeyLayout& layout, const TSortOptions& options,
                uint32_t runLength);

  // Sorts file's active records into emitter (steps 1 to 4).
  void Run(TRowEmitter& emitter);

 private:
  // Reads records first ... first + n - 1 with one read, plain, into buffer_.
  void ReadRecords(uint32_t first, uint32_t n);
  std::unique_ptr<TRunFile> NewRunFile();
  // Step 3: one pass over runs; returns the new file, having deleted runs'.
  std::unique_ptr<TRunFile> MergePass(TRunFile& runs);
  // Merges runs first ... last - 1 of file into take.
  void Merge(TRunFile& file, size_t first, size_t last,
             const std::function<bool(const uint8_t* entry)>& take);
  size_t FanIn() const;

  TDataFile& file_;
  const TSortKeyLayout& layout_;
  const TSortOptions& options_;
  uint32_t record_size_;
  uint32_t run_length_;
  uint32_t entry_size_;          // of a run: image and key
  std::vector<uint8_t> buffer_;  // records as read from the data file
  std::vector<uint8_t> staged_;  // entries on their way into a run
};
