// TSortOutput: writes the output rows of a sort over the record area of its data file, from
// record 1 on, as file images (scrambled when the table is encrypted), one write per full
// buffer.
//
// Invariant: rows are written in the order appended, row k (1-based) at record k's offset;
// Rows() = the rows written (written_) + the rows buffered (buffered_).
#pragma once

#include <cstdint>
#include <vector>

#include "db/storage/data/data_file.h"

class TSortOutput {
 public:
  // Buffers up to bufferRecords rows (at least 1).
  TSortOutput(TDataFile& file, uint32_t bufferRecords);

  // Appends a copy of image (RecordSize() bytes), writing the buffer first when it is full.
  void Append(const uint8_t* image);
  // Writes the buffered rows. Raises VUZODE_WRITEERR.
  void Flush();
  uint32_t Rows() const { return written_ + buffered_; }

 private:
  TDataFile& file_;
  uint32_t record_size_;
  uint32_t capacity_;
  std::vector<uint8_t> buffer_;
  uint32_t buffered_ = 0;
  uint32_t written_ = 0;
};
