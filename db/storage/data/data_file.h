// TDataFile: the data file of a table (header, field descriptors, records) on the shared file
// of the file layer. Records move through a TBufferCache; the header and descriptors are cached
// here and written on request. The byte layout is documented in data_file_header.cpp (file and
// header), field_descriptor.cpp (descriptors) and record_image.h (records).
//
// Invariants:
//   (1) While opened, the cached header has passed CheckHeaderBounds and the descriptors
//       CheckDescriptorBounds (Open, RereadHeader), so every record number below
//       NextRecordNumber lies inside the file and every field inside a record.
//   (2) header_.NextRecordNumber == records_->NextNumber() (HeaderChanged, ReadHeader, EmptyFile).
//   (3) The deleted chain hands out only deleted records, each once: AllocateRecord checks the
//       popped record's status and link and makes it active before the next pop, so a link to a
//       record in use or a loop is reported as VUZODE_FILECORRUPT.
//   (4) Row ids only grow: NextRowId raises VUZODE_TABLEFULL rather than wrap to ids that live
//       records may hold.
// The object belongs to one table of one session and takes no lock of its own beyond
// BeginAccess/EndAccess around each header or descriptor transfer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/storage/data/data_file_header.h"
#include "db/storage/data/data_file_structure.h"
#include "db/storage/data/field_types.h"
#include "db/storage/data/record_image.h"
#include "db/storage/files/buffer_cache.h"
#include "db/storage/files/file_handler.h"

// What the owning table decides for its data file. The defaults suit a file used on its own
// (tests, tools): no transaction, no change detection, deleted records reused.
class TDataTableLink : public TCacheOwner {
 public:
  // The names for error contexts; an empty table name makes errors name the file.
  virtual std::string_view DatabaseName() const { return {}; }
  virtual std::string_view TableName() const { return {}; }
  // The session's ForceBufferFlush: flush after descriptor writes and truncation.
  virtual bool ForceBufferFlush() const { return false; }
  // The session's record cache figures (bytes, most records).
  virtual uint32_t DataCacheBytes() const { return kDefaultDataCacheBytes; }
  virtual uint32_t MaxCachedRecords() const { return kDefaultMaxCachedRecords; }
  // False while the index file forbids reusing deleted records.
  virtual bool ReuseDeleted() const { return true; }
  // The expression layer's literal check of minimum, maximum and default texts.
  virtual bool FieldTextValid(const FieldDescriptor& /*field*/, std::string_view /*text*/) const {
    return true;
  }
};

// The definition of a new table (InitializeHeader).
struct TDataFileDefinition {
  std::vector<FieldDescriptor> Fields;  // offsets assigned by the table layer
  int16_t LanguageId = 0;
  int16_t SortId = 0;
  uint32_t BlobBlockSize = 0;
  std::string Description;
  std::string Password;
  bool Encrypted = false;
  int16_t UserMajorVersion = 0;
  int16_t UserMinorVersion = 0;
};

class TDataFile : public TFileHandler, private TCacheOwner {
 public:
  // link may be null (the defaults above); otherwise it must outlive this object.
  explicit TDataFile(TDataTableLink* link = nullptr);
  ~TDataFile() override;

  // Opens FileName(), reads and checks the header and descriptors and sets up the record cache.
  // No effect when opened. Raises VUZODE_OLDVERSION, VUZODE_HEADERCORRUPT, VUZODE_READERR or the
  // file layer's errors; a failed open leaves the file closed.
  void Open() override;
  // Drops the descriptors and the record cache (dirty records are NOT written) and closes.
  void Close() override;
  // The record cache handed over before a close, to be given to the next open of the same
  // file while the file stays as it is (the table's warm caches); null when there is none or
  // it holds a changed or pinned unit.
  std::unique_ptr<TBufferCache> TakeRecordCache();
  // Takes such a cache in place of this open file's own. False (the cache dropped) when its
  // layout is not the one this file would set up.
  bool AdoptRecordCache(std::unique_ptr<TBufferCache> cache);

  // Creates FileName() for a new, empty table of definition. Raises VUZODE_BLOBLIMIT for more
  // than 128 BLOB fields, VUZODE_RECTOOBIG for records over 65535 bytes, VUZODE_HEADERCORRUPT for
  // more than 1024 fields or a field that does not fit its record. The header and descriptors
  // are marked changed; WriteHeader and WriteDescriptors put them into the file.
  void InitializeHeader(const TDataFileDefinition& definition);

  // The full structure check (names, numbers, offsets, texts, record size, exact file size,
  // locale). Raises VUZODE_HEADERCORRUPT, VUZODE_OLDVERSION, VUZODE_CANNOTLOADLDDRV.
  void VerifyStructure();

  // Reads the 127 header bytes (VUZODE_READERR when short) and checks them.
  void ReadHeader();
  // True when another user changed the header: then the cached header is replaced (and the
  // record cache discarded). A changed record size or field count is VUZODE_HEADERCORRUPT.
  bool RereadHeader();
  // Writes the header when force or changed: ChangeCount + 1, writer version and update time
  // refreshed. True when written.
  bool WriteHeader(bool force);
  // Counts a change and marks the header changed without writing it.
  void MarkHeaderChanged();
  void ReadDescriptors();
  // Writes the descriptors when they changed; true when written.
  bool WriteDescriptors();
  // Cuts the file after the descriptors and resets the counters: an empty table.
  void EmptyFile();
  // Keeps records 1 ... count and cuts the file after them: NextRecordNumber becomes count + 1,
  // the deleted chain is emptied (the records it linked are gone or were rewritten) and the
  // header is marked changed. The record cache is discarded first. The record sort calls this
  // after rewriting the record area. REQUIRES: count <= RecordCount().
  void CutRecords(uint32_t count);

  // Accessors.
  uint16_t FieldCount() const { return header_.FieldCount; }
  int16_t BlobFieldCount() const { return header_.BlobFieldCount; }
  uint16_t RecordSize() const { return header_.RecordSize; }
  int16_t LanguageId() const { return header_.LanguageId; }
  int16_t SortId() const { return header_.SortId; }
  int16_t UserMajorVersion() const { return header_.UserMajorVersion; }
  int16_t UserMinorVersion() const { return header_.UserMinorVersion; }
  int32_t LastRowId() const { return header_.LastRowId; }
  int32_t LastBlobRevision() const { return header_.LastBlobRevision; }
  int32_t ChangeCount() const { return header_.ChangeCount; }
  int32_t FirstFreeRecord() const { return header_.FirstFreeRecord; }
  uint32_t RecordCount() const { return static_cast<uint32_t>(header_.NextRecordNumber - 1); }
  uint32_t BlobBlockSize() const {
    return header_.BlobBlockSize == 0 ? 512 : header_.BlobBlockSize;
  }
  bool Encrypted() const { return header_.Encrypted != 0; }
  bool HeaderDirty() const { return header_dirty_; }
  bool DescriptorsChanged() const { return descriptors_changed_; }
  const TDataFileHeader& Header() const { return header_; }
  std::string Description() const;
  std::string TablePassword() const;
  // Descriptor of field number (1-based). REQUIRES: 1 <= number <= FieldCount().
  const FieldDescriptor& Descriptor(uint16_t number) const { return descriptors_[number - 1]; }
  const std::vector<FieldDescriptor>& Descriptors() const { return descriptors_; }
  // The field number of name (without regard to case), 0 when absent.
  uint16_t FieldNumber(std::string_view name) const;

  // Table properties; each marks the header changed. Password and description are cut to 15 and
  // 50 characters and scrambled when encrypted; a plain table keeps no password.
  void SetTablePassword(std::string_view password);
  void SetDescription(std::string_view description);
  void SetUserVersions(int16_t major, int16_t minor);
  // Marks the header changed only when the value changes.
  void SetLastRowId(int32_t rowId);
  // An auto-increment value supplied by the inserter: LastRowId becomes the larger of the two.
  void NoteSuppliedRowId(int32_t rowId);
  // Replaces the texts and flags of descriptor number (name cut to 30, texts to 50); the
  // type, size and offset stay. Marks the descriptors changed.
  void SetDescriptorTexts(uint16_t number, const FieldDescriptor& texts);

  // LastRowId + 1, stored. Raises VUZODE_TABLEFULL after 2147483647.
  int32_t NextRowId();
  // The same for BLOB revisions.
  int32_t NextBlobRevision();

  // Record n, pinned. n == RecordCount() + 1 appends a zeroed record. With readAhead a miss
  // reads up to count records (0: the cache's read-ahead). Returns the empty handle when the
  // change check before a miss discarded the caches (start over). Raises VUZODE_FILECORRUPT for
  // n == 0 or beyond the end, VUZODE_TABLEFULL past the file's limits.
  TRecord FetchRecord(uint32_t n, bool forward = true, bool readAhead = false, uint32_t count = 0);
  // FetchRecord, tried again while others' changes discard the caches (at most a few times;
  // then VUZODE_RECNOTFOUND, so a table that keeps changing never holds a reader forever).
  TRecord FetchRecordSettled(uint32_t n, bool readAhead = false);
  void Unpin(TRecord& record);
  // A record for an insertion, pinned, active and zeroed: the head of the deleted chain when
  // reuse is allowed, else a new one. Raises VUZODE_FILECORRUPT for a chain that links to a
  // record in use, to itself or outside the file. Empty handle as for FetchRecord.
  TRecord AllocateRecord();
  // Marks record deleted and pushes it onto the deleted chain. Raises VUZODE_KEYORRECDELETED when
  // it is deleted already (a second push would make the chain loop).
  void FreeRecord(TRecord& record);
  // Writes every dirty record; false when none was dirty.
  bool FlushRecords();
  void DiscardRecords();
  void TrimRecords();
  TBufferCache* RecordCache() const { return records_.get(); }

  // Record and table locks of the file layer; each answers whether it succeeded.
  bool LockRecord(uint32_t n);
  bool UnlockRecord(uint32_t n);
  bool LockTableByte();
  bool UnlockTableByte();

  // The table name for error contexts (the link's, else the file name).
  std::string_view ContextTable() const;

 private:
  // Reads and decodes the header bytes (the text lengths checked), and the file's size then
  // when fileSize is given.
  TDataFileHeader LoadHeader(int64_t* fileSize);
  // TCacheOwner, forwarded to the link.
  bool TransactionLockHeld() const override { return link_->TransactionLockHeld(); }
  bool BeforeMissRead() override { return link_->BeforeMissRead(); }
  bool AllowShortRead() const override { return link_->AllowShortRead(); }
  bool FlushForRoom() override { return link_->FlushForRoom(); }
  void DecodeUnit(uint8_t* unit, uint32_t size) override;
  void EncodeUnit(uint8_t* unit, uint32_t size) override;
  void HeaderChanged() override;
  void Written() override { link_->Written(); }

  [[noreturn]] void RaiseCorrupt(uint16_t code, std::string_view why) const;
  void OpenChecked();
  void SetUpRecordCache();
  // The record cache's layout under the link's figures.
  TCacheLayout RecordLayout() const;
  // Stores text in its header form (scrambled when encrypted).
  std::string StoredText(std::string_view text, size_t room) const;
  std::string PlainText(const std::string& stored) const;

  TDataTableLink default_link_;
  TDataTableLink* link_;
  TDataFileHeader header_;
  bool header_dirty_ = false;
  std::vector<FieldDescriptor> descriptors_;
  bool descriptors_changed_ = false;
  std::unique_ptr<TBufferCache> records_;
};
