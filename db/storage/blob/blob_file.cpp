// TBlobFile: opening, creating and checking a BLOB file and its header, and the block
// operations on its block cache (blob_file.h).
#include "db/storage/blob/blob_file.h"

#include <algorithm>
#include <cassert>

#include "db/engine/errors/engine_error.h"
#include "db/storage/change_counter.h"
#include "db/storage/files/lock_layout.h"
#include "db/storage/files/table_file_header.h"
#include "db/storage/scramble.h"

TBlobFile::TBlobFile(TBlobTableLink* link) : link_(link != nullptr ? link : &default_link_) {}

TBlobFile::~TBlobFile() {
  blocks_.reset();
  TFileHandler::Close();
}

void TBlobFile::RaiseBlobError(uint16_t code, std::string_view why) const {
  const std::string_view table = link_->TableName();
  RaiseEngineError(code, {}, {}, link_->DatabaseName(), table.empty() ? FileName() : table, {}, {},
                   why);
}

void TBlobFile::SetUpBlocks() {
  const uint32_t size =
      configured_block_size_ == 0 ? kDefaultBlobBlockSize : configured_block_size_;
  // Invariant (1): a smaller block has no data area to divide by, a larger one a data area that
  // BytesUsed cannot count.
  if (size < kMinBlobBlockSize || size > kMaxBlobBlockSize) {
    RaiseBlobError(VUZODE_MEMOCORRUPT, "block size");
  }
  block_size_ = size;
  const TCacheLayout layout =
      BlockCacheLayout(size, link_->BlobCacheBytes(), link_->MaxCachedBlocks());
  read_ahead_ = layout.read_ahead;
  blocks_ = std::make_unique<TBufferCache>(*this, static_cast<TCacheOwner&>(*this), layout);
  blocks_->SetNextNumber(static_cast<uint32_t>(header_.NextBlockNumber));
}

void TBlobFile::Open() {
  if (Opened()) return;
  header_dirty_ = false;
  ForgetUse();
  TFileHandler::Open();
  try {
    // The block size first: the header check and the file size need it.
    header_ = TBlobFileHeader{};
    SetUpBlocks();
    ReadHeader();
  } catch (...) {
    Close();
    throw;
  }
}

void TBlobFile::Close() {
  blocks_.reset();
  ForgetUse();
  file_blocks_ = 0;
  TFileHandler::Close();
}

void TBlobFile::CreateFile() {
  header_ = TBlobFileHeader{};
  header_dirty_ = true;
  ForgetUse();
  file_blocks_ = 0;
  // Check the block size before the file is touched, so a bad size leaves nothing behind.
  const uint32_t size =
      configured_block_size_ == 0 ? kDefaultBlobBlockSize : configured_block_size_;
  if (size < kMinBlobBlockSize || size > kMaxBlobBlockSize) {
    RaiseBlobError(VUZODE_MEMOCORRUPT, "block size");
  }
  TFileHandler::CreateFile();
  SetUpBlocks();
}

void TBlobFile::CheckHeader(const TBlobFileHeader& header) const {
  if (header.FormatVersion != kBlobFormatVersion) {
    RaiseBlobError(VUZODE_OLDVERSION, "format version");
  }
  if (const char* fault = BlobHeaderFault(header)) RaiseBlobError(VUZODE_HEADERCORRUPT, fault);
}

TBlobFileHeader TBlobFile::LoadHeader() {
  uint8_t bytes[kBlobFileHeaderSize];
  {
    TFileAccess access(*this);
    Seek(0);
    Read(bytes, sizeof bytes, false);
  }
  if (encrypted_) Scramble(bytes, sizeof bytes, kRecordKey);
  const TBlobFileHeader header = DecodeBlobFileHeader(bytes);
  CheckHeader(header);
  return header;
}

void TBlobFile::NoteFileSize() {
  const int64_t size = GetFileSize();
  const int64_t blocks = size <= int64_t{kBlobFileHeaderSize}
                             ? 0
                             : (size - int64_t{kBlobFileHeaderSize}) / block_size_;
  file_blocks_ = static_cast<uint32_t>(std::min<int64_t>(blocks, kMaxBlobBlocks));
}

void TBlobFile::ReadHeader() {
  header_ = LoadHeader();
  header_dirty_ = false;
  ForgetUse();
  NoteFileSize();
  if (blocks_) blocks_->SetNextNumber(static_cast<uint32_t>(header_.NextBlockNumber));
}

bool TBlobFile::RereadHeader() {
  uint8_t bytes[kBlobFileHeaderSize];
  {
    TFileAccess access(*this);
    Seek(0);
    Read(bytes, sizeof bytes, false);
  }
  if (encrypted_) Scramble(bytes, sizeof bytes, kRecordKey);
  const TBlobFileHeader header = DecodeBlobFileHeader(bytes);
  if (header.ChangeCount == header_.ChangeCount) return false;
  CheckHeader(header);
  header_ = header;
  header_dirty_ = false;
  // Another user wrote: cached blocks may be stale or past the new end, and what this object
  // knew to be in use may have been freed.
  ForgetUse();
  NoteFileSize();
  if (blocks_) {
    blocks_->Discard();
    blocks_->SetNextNumber(static_cast<uint32_t>(header_.NextBlockNumber));
  }
  return true;
}

bool TBlobFile::WriteHeader(bool force) {
  uint8_t bytes[kBlobFileHeaderSize];
  const bool wrote = WriteTableHeader(*this, force, header_dirty_, header_.ChangeCount, [&] {
    header_.HeaderDirty = header_dirty_ ? 1 : 0;
    EncodeBlobFileHeader(header_, bytes);
    if (encrypted_) Scramble(bytes, sizeof bytes, kRecordKey);
    return std::span<const uint8_t>(bytes, sizeof bytes);
  });
  if (wrote) link_->Written();
  return wrote;
}

void TBlobFile::MarkHeaderChanged() {
  MarkTableHeaderChanged(header_.ChangeCount, header_dirty_);
  link_->Written();
}

void TBlobFile::EmptyFile() {
  if (blocks_) blocks_->Discard();
  {
    TFileAccess access(*this);
    Seek(static_cast<int64_t>(kBlobFileHeaderSize));
    Write(nullptr, 0);
  }
  if (link_->ForceBufferFlush()) Flush();
  header_.FormatVersion = kBlobFormatVersion;
  header_.NextBlockNumber = 1;
  header_.FirstFreeBlock = 0;
  header_dirty_ = true;
  ForgetUse();
  file_blocks_ = 0;
  if (blocks_) blocks_->SetNextNumber(1);
  link_->Written();
}

void TBlobFile::VerifyStructure() {
  CheckHeader(header_);
  const int64_t needed = int64_t{kBlobFileHeaderSize} + int64_t{BlockCount()} * block_size_;
  if (GetFileSize() < needed) RaiseBlobError(VUZODE_HEADERCORRUPT, "file shorter than blocks");
}

void TBlobFile::DecodeUnit(uint8_t* unit, uint32_t size) {
  if (encrypted_) ScrambleBlockImage(unit, size);
}

void TBlobFile::EncodeUnit(uint8_t* unit, uint32_t size) {
  if (encrypted_) ScrambleBlockImage(unit, size);
}

void TBlobFile::HeaderChanged() {
  header_.NextBlockNumber = static_cast<int32_t>(blocks_->NextNumber());
  header_dirty_ = true;
}

void TBlobFile::Written() {
  NoteFileSize();
  link_->Written();
}

TBlock TBlobFile::FetchBlock(uint32_t n, uint32_t count) {
  assert(blocks_ && "FetchBlock on a closed BLOB file");
  if (n == 0 || n > BlockCount()) RaiseBlobError(VUZODE_MEMOCORRUPT, "block number");
  TCacheEntry* entry = nullptr;
  if (n > file_blocks_) {
    // Invariant (3): only a block appended in this session and not yet written lies past the
    // end; the cache holds those (they are dirty). Any other such block is missing from the
    // file, and the cache's short read is that.
    try {
      entry = blocks_->Fetch(n);
    } catch (const EVUZODEEngineError& error) {
      if (error.EngineCode() != VUZODE_READERR) throw;
      RaiseBlobError(VUZODE_MEMOCORRUPT, "block past the end of the file");
    }
  } else {
    // Read ahead only over blocks that are in the file, so a read-ahead never comes up short.
    const uint32_t ahead = std::min({read_ahead_, std::max(count, 1u), file_blocks_ - n + 1});
    entry = blocks_->Fetch(n, ahead > 1, true, ahead);
  }
  if (entry == nullptr) return TBlock();
  return TBlock(this, entry);
}

void TBlobFile::SetInUse(uint32_t n, bool value) {
  if (n >= in_use_.size()) {
    if (!value) return;
    in_use_.resize(std::max<size_t>(size_t{n} + 1, in_use_.size() * 2));
  }
  in_use_[n] = value;
}

void TBlobFile::NoteInUse(const std::vector<uint32_t>& blocks) {
  for (uint32_t n : blocks) SetInUse(n, true);
}

TBlock TBlobFile::AllocateBlock() {
  assert(blocks_ && "AllocateBlock on a closed BLOB file");
  const int32_t head = header_.FirstFreeBlock;
  TBlock block;
  if (head != 0) {
    const uint32_t n = static_cast<uint32_t>(head);
    // Invariant (4).
    if (InUse(n)) RaiseBlobError(VUZODE_MEMOCORRUPT, "free chain reaches a block in use");
    block = FetchBlock(n);
    if (!block) return block;
    const int32_t next = block.NextBlock();
    if (next < 0 || static_cast<uint32_t>(next) > BlockCount() || next == head) {
      RaiseBlobError(VUZODE_MEMOCORRUPT, "free chain link");
    }
    header_.FirstFreeBlock = next;
    header_dirty_ = true;
  } else {
    TCacheEntry* entry = blocks_->Fetch(blocks_->NextNumber());
    block = TBlock(this, entry);
  }
  SetInUse(block.Number(), true);
  block.Clear();
  return block;
}

void TBlobFile::FreeBlock(TBlock& block) {
  const int32_t n = static_cast<int32_t>(block.Number());
  // Pushing the head again would make it link to itself.
  if (n == header_.FirstFreeBlock) RaiseBlobError(VUZODE_MEMOCORRUPT, "block freed twice");
  block.SetNextBlock(header_.FirstFreeBlock);
  header_.FirstFreeBlock = n;
  header_dirty_ = true;
  SetInUse(block.Number(), false);
}

bool TBlobFile::FlushBlocks() {
  return blocks_ ? blocks_->Flush() : false;
}

void TBlobFile::DiscardBlocks() {
  if (blocks_) blocks_->Discard();
}

void TBlobFile::TrimBlocks() {
  if (!blocks_) return;
  blocks_->Trim(
      BlockCacheLayout(block_size_, link_->BlobCacheBytes(), link_->MaxCachedBlocks()).capacity);
}

bool TBlobFile::LockWrite() {
  return LockWriteSlots(*this);
}
bool TBlobFile::UnlockWrite() {
  return UnlockWriteSlots(*this);
}
bool TBlobFile::LockRead(uint16_t& slot) {
  return LockReadSlot(*this, slot);
}
bool TBlobFile::UnlockRead(uint16_t slot) {
  return UnlockReadSlot(*this, slot);
}
