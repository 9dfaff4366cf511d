// TBlock: header fields, data transfers and scrambling of one cached BLOB block (block.h).
#include "db/storage/blob/block.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "db/engine/errors/engine_error.h"
#include "db/storage/blob/blob_file.h"
#include "db/storage/files/cache_entry.h"
#include "db/storage/le_codec.h"
#include "db/storage/scramble.h"

namespace {

constexpr uint32_t kPreviousAt = 0;
constexpr uint32_t kNextAt = 4;
constexpr uint32_t kBytesUsedAt = 8;
constexpr uint32_t kRevisionAt = 10;
constexpr uint32_t kTotalAt = 14;

}  // namespace

void ScrambleBlockImage(uint8_t* image, uint32_t size) {
  Scramble(image, kBlockHeaderSize, kRecordKey);
  Scramble(image + kBlockHeaderSize, size - kBlockHeaderSize, kRecordKey);
}

TBlock::TBlock(TBlock&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)), entry_(std::exchange(other.entry_, nullptr)) {}

TBlock& TBlock::operator=(TBlock&& other) noexcept {
  if (this != &other) {
    Release();
    file_ = std::exchange(other.file_, nullptr);
    entry_ = std::exchange(other.entry_, nullptr);
  }
  return *this;
}

void TBlock::Release() {
  if (entry_ != nullptr && entry_->PinCount > 0) --entry_->PinCount;
  entry_ = nullptr;
  file_ = nullptr;
}

uint8_t* TBlock::Bytes() const {
  return entry_->Buffer.data();
}

uint32_t TBlock::Number() const {
  return entry_->Number;
}
bool TBlock::Dirty() const {
  return entry_->Dirty;
}
uint16_t TBlock::PinCount() const {
  return entry_->PinCount;
}
uint32_t TBlock::DataSize() const {
  return static_cast<uint32_t>(entry_->Buffer.size()) - kBlockHeaderSize;
}

int32_t TBlock::PreviousBlock() const {
  return GetI32(Bytes() + kPreviousAt);
}
int32_t TBlock::NextBlock() const {
  return GetI32(Bytes() + kNextAt);
}
uint16_t TBlock::BytesUsed() const {
  return GetU16(Bytes() + kBytesUsedAt);
}
int32_t TBlock::OwnerRevision() const {
  return GetI32(Bytes() + kRevisionAt);
}
int32_t TBlock::TotalLength() const {
  return GetI32(Bytes() + kTotalAt);
}

void TBlock::Put32(uint32_t at, int32_t value) {
  if (GetI32(Bytes() + at) == value) return;
  PutI32(Bytes() + at, value);
  entry_->Dirty = true;
}

void TBlock::SetPreviousBlock(int32_t value) {
  Put32(kPreviousAt, value);
}
void TBlock::SetNextBlock(int32_t value) {
  Put32(kNextAt, value);
}
void TBlock::SetOwnerRevision(int32_t value) {
  Put32(kRevisionAt, value);
}
void TBlock::SetTotalLength(int32_t value) {
  Put32(kTotalAt, value);
}
void TBlock::SetBytesUsed(uint16_t value) {
  if (BytesUsed() == value) return;
  PutU16(Bytes() + kBytesUsedAt, value);
  entry_->Dirty = true;
}

uint32_t TBlock::Read(uint32_t offset, uint32_t count, uint8_t* out) const {
  const uint32_t area = DataSize();
  // Both limits are compared apart so that offset + count cannot wrap.
  if (count > area || offset > area - count) {
    file_->RaiseBlobError(VUZODE_INVALIDBLOBLEN, "block read");
  }
  const uint32_t used = BytesUsed();
  if (used > area) file_->RaiseBlobError(VUZODE_MEMOCORRUPT, "bytes used");
  // Only the used bytes from offset on are value bytes.
  const uint32_t n = offset >= used ? 0 : std::min(count, used - offset);
  if (n != 0) std::memcpy(out, Bytes() + kBlockHeaderSize + offset, n);
  return n;
}

void TBlock::Write(uint32_t offset, uint32_t count, const uint8_t* bytes) {
  const uint32_t area = DataSize();
  if (count > area || offset > area - count) {
    file_->RaiseBlobError(VUZODE_INVALIDBLOBLEN, "block write");
  }
  if (count != 0) std::memcpy(Bytes() + kBlockHeaderSize + offset, bytes, count);
  PutU16(Bytes() + kBytesUsedAt, static_cast<uint16_t>(offset + count));
  entry_->Dirty = true;
}

void TBlock::Clear() {
  std::fill(entry_->Buffer.begin(), entry_->Buffer.end(), uint8_t{0});
  entry_->Dirty = true;
}
