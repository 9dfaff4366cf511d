// TRecord: the record header fields and whole-image operations (record_image.h).
#include "db/storage/data/record_image.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "db/storage/data/data_file.h"
#include "db/storage/le_codec.h"

void TRecord::SetStatus(uint8_t status) {
  entry_->Buffer[0] = status;
  entry_->Dirty = true;
}

int32_t TRecord::Link() const {
  return Deleted() ? GetI32(entry_->Buffer.data() + 1) : 0;
}

void TRecord::SetLink(int32_t link) {
  PutI32(entry_->Buffer.data() + 1, link);
  entry_->Dirty = true;
}

int32_t TRecord::RowId() const {
  return GetI32(entry_->Buffer.data() + kRowIdOffset);
}

void TRecord::SetRowId(int32_t rowId) {
  PutI32(entry_->Buffer.data() + kRowIdOffset, rowId);
  entry_->Dirty = true;
}

void TRecord::SetNumber(uint32_t number) {
  entry_->Number = number;
  if (!Deleted()) PutU32(entry_->Buffer.data() + 1, number);
  entry_->Dirty = true;
}

void TRecord::Initialize(bool assignRowId) {
  std::fill(entry_->Buffer.begin(), entry_->Buffer.end(), 0);
  PutU32(entry_->Buffer.data() + 1, entry_->Number);
  if (assignRowId) PutI32(entry_->Buffer.data() + kRowIdOffset, file_->NextRowId());
  entry_->Dirty = true;
}

void TRecord::CopyFields(std::span<const uint8_t> fields) {
  assert(fields.size() == entry_->Buffer.size() && "a field area comes from a whole image");
  const size_t n = std::min(fields.size(), entry_->Buffer.size());
  if (n > kRecordHeaderSize) {
    std::memcpy(entry_->Buffer.data() + kRecordHeaderSize, fields.data() + kRecordHeaderSize,
                n - kRecordHeaderSize);
  }
  entry_->Dirty = true;
}

void TRecord::CopyFrom(const TRecord& other) {
  assert(other.Size() == Size() && "records of one file share a size");
  const size_t n = std::min(other.entry_->Buffer.size(), entry_->Buffer.size());
  std::memcpy(entry_->Buffer.data(), other.entry_->Buffer.data(), n);
  entry_->Dirty = true;
}

bool TRecord::SameAs(std::span<const uint8_t> image) const {
  return image.size() == entry_->Buffer.size() &&
         std::equal(image.begin(), image.end(), entry_->Buffer.begin());
}

TRecordImage TRecord::MutableImage() {
  entry_->Dirty = true;
  return {entry_->Buffer.data(), entry_->Buffer.size()};
}
