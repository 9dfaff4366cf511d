// TSortOutput (sort_output.h).
#include "db/storage/sort/sort_output.h"

#include <algorithm>
#include <cstring>

#include "db/storage/data/data_file_structure.h"
#include "db/storage/scramble.h"

TSortOutput::TSortOutput(TDataFile& file, uint32_t bufferRecords)
    : file_(file),
      record_size_(file.RecordSize()),
      capacity_(std::max<uint32_t>(bufferRecords, 1)),
      buffer_(static_cast<size_t>(capacity_) * record_size_) {}

void TSortOutput::Append(const uint8_t* image) {
  if (buffered_ == capacity_) Flush();
  std::memcpy(buffer_.data() + static_cast<size_t>(buffered_) * record_size_, image, record_size_);
  ++buffered_;
}

void TSortOutput::Flush() {
  if (buffered_ == 0) return;
  if (file_.Encrypted()) {
    for (uint32_t i = 0; i < buffered_; ++i) {
      Scramble(buffer_.data() + static_cast<size_t>(i) * record_size_, record_size_, kRecordKey);
    }
  }
  {
    TFileAccess access(file_);
    file_.Seek(FirstRecordOffset(file_.FieldCount()) +
               static_cast<int64_t>(written_) * record_size_);
    file_.Write(buffer_.data(), buffered_ * record_size_);
  }
  written_ += buffered_;
  buffered_ = 0;
}
