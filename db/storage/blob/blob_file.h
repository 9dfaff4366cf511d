// TBlobFile: the BLOB file of a table (header and blocks) on the shared file of the file layer.
// Blocks move through a TBufferCache; the header is cached here and written on request. The
// byte layout is documented in blob_header.cpp (file and header) and block.h (blocks); values
// are chains of blocks (blob_chain.h).
//
// Invariants:
//   (1) While opened, the block size lies in [kMinBlobBlockSize, kMaxBlobBlockSize] and the
//       cached header has passed BlobHeaderFault (Open, ReadHeader, RereadHeader), so every
//       block number below NextBlockNumber lies inside the 4 GB file limit and every data area
//       is at least one byte (chain arithmetic divides by it).
//   (2) header_.NextBlockNumber == cache NextNumber() (HeaderChanged, ReadHeader, EmptyFile).
//   (3) FetchBlock hands out only blocks 1 .. BlockCount(); a block past the end of the file
//       that the cache does not hold is VUZODE_MEMOCORRUPT, not a read error.
//   (4) The free chain never hands out a block this object knows to be in use: AllocateBlock
//       refuses a free-chain head marked in in_use_ (allocated, or seen in a checked chain,
//       since the header was read) and a link out of range; FreeBlock clears the mark and
//       refuses to push the head again. So a free chain that loops or runs into a value
//       written or read in this session is VUZODE_MEMOCORRUPT, never a block with two owners.
// The object belongs to one table of one session and takes no lock of its own beyond
// BeginAccess/EndAccess around each header transfer.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "db/storage/blob/blob_header.h"
#include "db/storage/blob/block.h"
#include "db/storage/files/buffer_cache.h"
#include "db/storage/files/file_handler.h"

// What the owning table decides for its BLOB file. The defaults suit a file used on its own
// (tests, tools): no transaction, no change detection.
class TBlobTableLink : public TCacheOwner {
 public:
  // The names for error contexts; an empty table name makes errors name the file.
  virtual std::string_view DatabaseName() const { return {}; }
  virtual std::string_view TableName() const { return {}; }
  // The session's ForceBufferFlush: flush after truncation.
  virtual bool ForceBufferFlush() const { return false; }
  // The session's BLOB cache figures.
  virtual uint32_t BlobCacheBytes() const { return kDefaultBlobCacheBytes; }
  virtual uint32_t MaxCachedBlocks() const { return kDefaultMaxCachedBlocks; }
};

class TBlobFile : public TFileHandler, private TCacheOwner {
 public:
  // link may be null (the defaults above); otherwise it must outlive this object.
  explicit TBlobFile(TBlobTableLink* link = nullptr);
  ~TBlobFile() override;

  // The data file's BlobBlockSize (0 means 512) and Encrypted flag.
  // REQUIRES: the file is closed (they take effect at Open and CreateFile).
  void SetBlockSize(uint32_t size) { configured_block_size_ = size; }
  void SetEncrypted(bool value) { encrypted_ = value; }

  // Opens FileName(), reads and checks the header and sets up the block cache with fresh
  // statistics. No effect when opened. Raises VUZODE_MEMOCORRUPT for a block size outside
  // [19, 65553], VUZODE_OLDVERSION unless FormatVersion is 5, VUZODE_HEADERCORRUPT for counters
  // out of range, VUZODE_READERR for a file shorter than its header; a failed open leaves the
  // file closed.
  void Open() override;
  // Drops the block cache (dirty blocks are NOT written) and closes.
  void Close() override;
  // Creates FileName() empty: version 5, no blocks, header marked changed (WriteHeader puts it
  // into the file). Raises VUZODE_MEMOCORRUPT for a bad block size.
  void CreateFile() override;

  // Reads the header (descrambled when encrypted) and checks it as Open does.
  void ReadHeader();
  // True when another user changed the header (ChangeCount differs): then the header is
  // replaced, checked, and the block cache discarded.
  bool RereadHeader();
  // Writes the header when force or changed: ChangeCount + 1. True when written.
  bool WriteHeader(bool force);
  // Counts a change and marks the header changed without writing it.
  void MarkHeaderChanged();
  // Cuts the file after the header: no blocks, an empty free chain.
  void EmptyFile();
  // The full check: version (VUZODE_OLDVERSION), counters and a file long enough for its
  // block count (VUZODE_HEADERCORRUPT).
  void VerifyStructure();

  // Block n, pinned in the returned handle. A miss reads ahead up to min(ReadAheadBlocks(),
  // count, blocks from n to the end of the file). Returns the empty handle when the change
  // check before a miss discarded the caches (start over). Raises VUZODE_MEMOCORRUPT for n
  // outside 1 .. BlockCount() or past the end of the file.
  TBlock FetchBlock(uint32_t n, uint32_t count = 1);
  // A cleared, dirty block: the head of the free chain, else a new one at the end. Raises
  // VUZODE_MEMOCORRUPT for a free chain that links out of range or to a block in use (invariant
  // 4), VUZODE_TABLEFULL past the file limits. Empty handle as for FetchBlock.
  TBlock AllocateBlock();
  // Pushes block onto the free chain. Raises VUZODE_MEMOCORRUPT when it is the head already.
  void FreeBlock(TBlock& block);
  // Marks blocks as in use by a value (a checked chain), so the free chain cannot hand them out.
  void NoteInUse(const std::vector<uint32_t>& blocks);

  // Writes every dirty block; false when none was dirty.
  bool FlushBlocks();
  void DiscardBlocks();
  void TrimBlocks();
  TBufferCache* BlockCache() const { return blocks_.get(); }

  // The write lock and read-lock slots of the file layer; each answers whether it succeeded.
  bool LockWrite();
  bool UnlockWrite();
  bool LockRead(uint16_t& slot);
  bool UnlockRead(uint16_t slot);

  // Accessors (meaningful while opened).
  uint32_t BlockCount() const { return static_cast<uint32_t>(header_.NextBlockNumber - 1); }
  uint32_t BlockSize() const { return block_size_; }
  uint32_t DataSize() const { return block_size_ - kBlockHeaderSize; }
  uint32_t ReadAheadBlocks() const { return read_ahead_; }
  bool Encrypted() const { return encrypted_; }
  bool HeaderDirty() const { return header_dirty_; }
  const TBlobFileHeader& Header() const { return header_; }
  int32_t FirstFreeBlock() const { return header_.FirstFreeBlock; }
  int32_t ChangeCount() const { return header_.ChangeCount; }

  // Raises code with the table (or file) name as context and why as the detail.
  [[noreturn]] void RaiseBlobError(uint16_t code, std::string_view why) const;

 private:
  // TCacheOwner, forwarded to the link.
  bool TransactionLockHeld() const override { return link_->TransactionLockHeld(); }
  bool BeforeMissRead() override { return link_->BeforeMissRead(); }
  bool AllowShortRead() const override { return link_->AllowShortRead(); }
  bool FlushForRoom() override { return link_->FlushForRoom(); }
  void DecodeUnit(uint8_t* unit, uint32_t size) override;
  void EncodeUnit(uint8_t* unit, uint32_t size) override;
  void HeaderChanged() override;
  void Written() override;

  void SetUpBlocks();
  // The header as stored, checked; raises as ReadHeader.
  TBlobFileHeader LoadHeader();
  void CheckHeader(const TBlobFileHeader& header) const;
  void NoteFileSize();
  void ForgetUse() { in_use_.clear(); }
  bool InUse(uint32_t n) const { return n < in_use_.size() && in_use_[n]; }
  void SetInUse(uint32_t n, bool value);

  TBlobTableLink default_link_;
  TBlobTableLink* link_;
  uint32_t configured_block_size_ = 0;
  bool encrypted_ = false;
  uint32_t block_size_ = kDefaultBlobBlockSize;
  uint32_t read_ahead_ = 1;
  TBlobFileHeader header_;
  bool header_dirty_ = false;
  // Blocks wholly inside the file as it stood at the last header read or block write.
  uint32_t file_blocks_ = 0;
  std::vector<bool> in_use_;
  std::unique_ptr<TBufferCache> blocks_;
};
