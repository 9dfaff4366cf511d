// TBlobBuffer: one open BLOB value and its transfers (blob_buffer.h).
#include "db/storage/blob/blob_buffer.h"

#include <cstring>

#include "db/storage/blob/blob_chain.h"

TBlobBuffer::TBlobBuffer(TBlobFile& file, uint32_t recordNumber, uint16_t fieldNumber,
                         TBlobReference reference)
    : file_(file),
      revision_(reference.Revision),
      record_number_(recordNumber),
      field_number_(fieldNumber),
      first_block_(reference.FirstBlock) {}

void TBlobBuffer::LoadValue() {
  bytes_ = LoadChain(file_, first_block_, revision_);
  modified_ = false;
}

void TBlobBuffer::SaveValue(int32_t newRevision) {
  first_block_ =
      SaveChain(file_, first_block_, revision_, newRevision, bytes_.data(), bytes_.size());
  revision_ = newRevision;
  modified_ = false;
}

void TBlobBuffer::FreeValue(bool repair) {
  FreeChain(file_, first_block_, revision_, repair);
  first_block_ = 0;
}

void TBlobBuffer::SetBytes(const uint8_t* bytes, size_t length) {
  bytes_.assign(bytes, bytes + length);
  modified_ = true;
}

void TBlobBuffer::SetLength(size_t length) {
  bytes_.resize(length);
  modified_ = true;
}

void TBlobBuffer::WriteAt(size_t offset, const uint8_t* data, size_t count) {
  if (offset + count > bytes_.size()) bytes_.resize(offset + count, 0);
  if (count > 0) std::memcpy(bytes_.data() + offset, data, count);
  modified_ = true;
}
