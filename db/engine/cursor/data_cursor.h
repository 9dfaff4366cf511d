// TDataCursor: one view of one table. This file holds the cursor's options, its opening and
// closing, and the operations on the whole table (create, delete, rename, empty, index backup
// and restore, reading a closed table's header). Positioning and reading records, filters,
// BLOB access and record changes build on the open state kept here.
//
// Invariants:
//   (1) Options change only while the cursor is closed (VUZODE_TABLEOPEN otherwise).
//   (2) An open cursor counts once in its table's open count (OpenCursor, CloseCursor); a
//       failed open leaves the table as it was and the cursor closed.
//   (3) The field descriptors of an open cursor are its table's (computed fields after them).
//   (4) While rows are pending, nothing reads or changes the table before they are appended
//       (MaterializePendingRows; see cursor_pending_rows.cpp for the entry points).
// A cursor is used by one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/engine/errors/engine_error.h"
#include "db/engine/filter/filter.h"
#include "db/engine/table/data_table.h"
#include "db/engine/table/table_definition.h"
#include "db/sql/bitmaps/records_bitmap.h"
#include "db/storage/blob/blob_buffer.h"
#include "db/storage/data/data_file_header.h"
#include "db/storage/index/index_key.h"

class TExpToken;
class TExpEvaluator;
class TCursorEnvironment;

// Index numbers of a cursor: 0 primary, 1..30 secondary, 31 row id, 32 text, 255 record order.
inline constexpr int kRowIdIndex = 31;
inline constexpr int kTextIndex = 32;
inline constexpr int kRecordOrder = 255;

class TDataDirectory;

class TDataCursor {
 public:
  // Called when the table is encrypted and the session does not know its password: answers
  // whether to try again (after adding the password to the session).
  using TPasswordCallback = std::function<bool(TDataCursor&)>;

  explicit TDataCursor(TDataDirectory& directory);
  ~TDataCursor();  // Closes first.
  TDataCursor(const TDataCursor&) = delete;
  TDataCursor& operator=(const TDataCursor&) = delete;

  TDataDirectory& Directory() const { return directory_; }
  bool Opened() const { return table_ != nullptr; }
  // The open table, holding every record of the cursor (pending rows are appended first).
  TDataTable* Table() {
    if (pending_) MaterializePendingRows();
    return table_;
  }

  // Options (closed cursor only).
  const std::string& TableName() const { return table_name_; }
  void SetTableName(std::string_view name);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool value);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);
  bool InMemory() const { return in_memory_; }
  void SetInMemory(bool value);
  bool SharesExclusiveTable() const { return shares_exclusive_; }
  void SetSharesExclusiveTable(bool value);
  bool ResultCursor() const { return result_cursor_; }
  void SetResultCursor(bool value);
  bool LiveResult() const { return live_result_; }
  void SetLiveResult(bool value);
  bool Temporary() const { return temporary_; }
  void SetTemporary(bool value);
  void SetPasswordCallback(TPasswordCallback callback) { password_callback_ = std::move(callback); }

  // Opens the table through the directory's registry. Raises VUZODE_OSEACCES when the table is
  // held in a conflicting way, VUZODE_NOTSUFFTABLERIGHTS when its password is not known and the
  // callback gives up, and the errors of the files. Rebuilds the indexes when the index file
  // had to be recreated.
  void OpenCursor();
  // Closes; with discard a temporary exclusive table drops its buffers unwritten.
  void CloseCursor(bool discard = false);
  // A new open cursor on the same table with the same options (sharing an exclusive table).
  std::unique_ptr<TDataCursor> CloneCursor();

  // The table's fields as this cursor sees them.
  const std::vector<FieldDescriptor>& FieldDescriptors() const { return fields_; }
  uint32_t RecordSize() const { return record_size_; }
  bool HasValidityChecks() const { return has_validity_checks_; }
  bool HasAutoIncrement() const { return has_auto_increment_; }

  // Pending rows (cursor_pending_rows.cpp). Hands the rows of a new result to its cursor
  // instead of appending them: rows holds count record images of RecordSize() bytes in result
  // order. They stand for the records 1 .. count of the table in record order and are read from
  // memory by SetToBegin, SetToEnd, SetToRecNo, GetNextRecord, GetPriorRecord, ReadRecordBlock,
  // GetCurRecord without lock and RecordCount, with the answers the table would give; every
  // other operation appends them first. When the cursor is not an exclusive temporary one
  // alone on an empty table in record order (no range, filter, computed field, index, text
  // index, BLOB file or validity check, outside a transaction), the rows are appended at once.
  // Either way the cursor is then before the first row. Raises VUZODE_OUTOFRANGE when rows is not
  // count records.
  void SetPendingRows(std::vector<uint8_t> rows, size_t count);
  bool HasPendingRows() const { return pending_; }
  // Appends the pending rows to the table, as separate appends without repositioning and a
  // refresh would, and puts the cursor back on the same record (or before the first, after
  // the last). Nothing when no rows are pending.
  void MaterializePendingRows();

  // Whole-table operations.
  // Creates the table of definition (the cursor closed, exclusive, not read-only). Raises
  // VUZODE_NEEDEXCLACCESS, VUZODE_OSEACCES, the definition check's codes, VUZODE_TABLEEXISTS
  // when the table exists and overwrite is false.
  void CreateTable(TTableDefinition definition, bool overwrite);
  // The cursor closed; checks the password; removes or renames the files.
  void DeleteTable();
  void RenameTable(std::string_view newName);
  // An exclusive cursor: empties the three files, keeping definitions and text index
  // parameters.
  void EmptyTable();
  // An exclusive cursor: copies the index file to the table's ".IBK" file, and back.
  void BackupIndex();
  void RestoreIndex(bool keepCurrent, bool deleteBackup);
  // The data file's header: the open table's, else read from the closed file (its password
  // checked for an encrypted table).
  TDataFileHeader ReadDataHeader();
  // Writes the table's buffers (the write path of the table).
  void FlushBuffers();

  // Computed fields: descriptors with the Computed flag and a checked expression each (trees
  // given in descriptor order, null for stored fields). They take no room in the table's
  // record; the cursor places them after it, size + 1 bytes each, and computes them whenever
  // it puts a record into a buffer. The stored fields must be the table's.
  void SetFieldDescriptors(std::vector<FieldDescriptor> fields, std::vector<TExpToken*> trees);

  // Index choice. The empty name is the primary index; an unknown name raises
  // VUZODE_INVALIDINDEXNAME. A number is 0..SecondaryIndexCount, 31, 32 or 255.
  void SetIndexName(std::string_view name);
  void SetIndexNumber(int number);
  int IndexNumber() const { return index_no_; }
  const std::string& IndexName() const { return index_name_; }
  bool InRecordOrder() const { return record_order_; }
  uint16_t KeyLength() const { return key_length_; }
  const TKeyLayout* KeyLayout() const { return layout_; }

  // Positioning; each keeps the current record in step.
  void SetToBegin();
  void SetToEnd();
  // The n-th record of the view (1-based); whether the cursor is now on it.
  bool SetToRecNo(uint32_t n);
  // Whether the cursor is now on the bookmark's record (nearest position otherwise).
  bool SetToBookmark(const uint8_t* bookmark, bool exact);
  // On other's current record (another cursor on the same table); VUZODE_RECNOTFOUND when
  // this cursor's view does not hold it.
  uint16_t SetToCursor(TDataCursor& other);
  // Record order: the 4-byte record number; index order: the key of the current record.
  uint16_t BookmarkSize() const { return record_order_ ? 4 : key_length_; }
  // Writes BookmarkSize() bytes; false when there is no current record.
  bool GetBookmark(uint8_t* bookmark) const;
  int CompareBookmarks(const uint8_t* a, const uint8_t* b) const;
  uint32_t RecordCount();
  // The logical position of the current record within the view; 0 when none.
  uint32_t RecordNumber() const;
  bool AtBof() const { return bof_; }
  bool AtEof() const { return eof_; }
  uint32_t CurrentRecordNumber() const { return current_record_; }

  // Key ranges on the current index (not in record order). start and end are keys (keysGiven)
  // or record buffers whose keys are built; a count of key fields below the index's (or any
  // count on a non-unique index, 0 meaning all) cuts the key after them and fills the rest so
  // that every key with that prefix is inside. No start key: from the lowest key; no end key:
  // to the highest. The cursor then stands on its record's key, nearest.
  void SetRange(bool keysGiven, const uint8_t* start, uint16_t startFields, const uint8_t* end,
                uint16_t endFields);
  void ResetRange();
  bool RangeActive() const { return range_active_; }

  // Reading: 0, or VUZODE_BOF, VUZODE_EOF, VUZODE_NOCURRREC with buffer blanked. A buffer is
  // RecordSize() bytes; null buffers only move.
  uint16_t GetCurRecord(uint8_t* buffer, bool lock = false);
  uint16_t GetNextRecord(uint8_t* buffer);
  uint16_t GetPriorRecord(uint8_t* buffer);
  // Reads up to count records forward into buffer; count becomes the number read.
  uint16_t ReadRecordBlock(uint32_t& count, uint8_t* buffer);
  // Searches the current index: keyOrRecord is a key (keyGiven) or a record buffer whose key
  // is built; fieldCount whole key fields (0: all, or none when partialLength is given) and
  // then partialLength characters of the next field are compared. Exact, or with nearest the
  // first key at or after. Whether the key was found; output, when given, receives the record
  // reached.
  bool FindKey(const uint8_t* keyOrRecord, bool keyGiven, uint8_t* output, uint16_t partialLength,
               bool nearest, uint16_t fieldCount);
  // Rereads the view and returns to the current record (nearest when it is gone).
  void Refresh();
  // The query read bracket of a SELECT WITH LOCKS.
  void BeginQueryRead();
  void EndQueryRead();

  // Record changes (cursor_changes.cpp). Each runs under the table's write lock (none for an
  // exclusive cursor), checks everything that can fail on the caller's record before the
  // first key changes, keeps every index, the row-id and text indexes and the BLOB values in
  // step, and records the change: written through unless the cursor is exclusive or the
  // table is in a transaction. A change that fails takes back what it did.
  // Raises VUZODE_OSEACCES (read-only), VUZODE_KEYVIOL, VUZODE_REQDERR, VUZODE_MINVALERR,
  // VUZODE_MAXVALERR, VUZODE_KEYORRECDELETED, VUZODE_RECLOCKFAILED, VUZODE_LOCKTIMEOUT.
  void AppendRecord(const uint8_t* record, bool reposition = true);
  void ModifyRecord(const uint8_t* record, bool unlock = true, bool reposition = true);
  void DeleteRecord(const uint8_t* record, bool reposition = true);
  // Changes by record number, for a caller that changes many records it found before (an SQL
  // UPDATE or DELETE), without a position: each is ModifyRecord or DeleteRecord of record n
  // without repositioning (the cursor stays where it was), and the optimistic protocol takes
  // the record's lock without comparing. ReadRecordAt answers whether record n is active with
  // row id rowId, with its image (computed fields computed) in buffer: the record FindKey on
  // the row-id index would reach. It reads only while no other session can change the table
  // (an exclusive cursor, or the table's transaction lock held) and answers false otherwise,
  // so the caller finds the record by its key instead.
  bool ReadRecordAt(uint32_t n, int32_t rowId, uint8_t* buffer);
  void ModifyRecordAt(uint32_t n, const uint8_t* record);
  void DeleteRecordAt(uint32_t n);
  // DeleteRecordAt of each of numbers (distinct), as one change: every record is deleted or,
  // when anything fails, none. Each index loses the batch's keys in key order, a leaf's keys
  // at once.
  void DeleteRecordsAt(std::span<const uint32_t> numbers);
  // Asks the processor for the cache memory of record n, soon to be read by number.
  void PrefetchRecordAt(uint32_t n) const;
  // Ends an edit: pessimistic, unlocks the current record; optimistic, clears the mark.
  void CancelRecord();
  // Locks record n (0: the current record) for this cursor; VUZODE_RECLOCKFAILED when another
  // cursor of the session or another session holds it. A failure leaves the record unlocked.
  void LockRecord(uint32_t n = 0);
  void UnlockCurrentRecord(uint32_t n = 0);
  uint32_t LockedRecord() const { return locked_record_; }
  void SetSuppressAutoInc(bool value) { suppress_auto_inc_ = value; }
  bool SuppressAutoInc() const { return suppress_auto_inc_ && has_auto_increment_; }

  // BLOB values (cursor_blobs.cpp). field is a number of the cursor's descriptors, or with
  // tableDefinitions of the table's; record is a record buffer of this cursor whose slot of
  // the field holds a block number, or while the value is open the buffer's handle (negative).
  // Each answers 0 or a code: VUZODE_NOTABLOB, VUZODE_OPENBLOBLIMIT (a 129th value),
  // VUZODE_INVALIDBLOBOFFSET (a handle the cursor does not know, to OpenBlob; offsets beyond
  // 2 GiB), VUZODE_INVALIDBLOBLEN (counts or lengths beyond 2 GiB), VUZODE_INVALIDBLOBHANDLE
  // (a value not open), VUZODE_ENDOFBLOB (a read past the end, with the bytes up to it). A
  // field number outside the descriptors raises VUZODE_OUTOFRANGE.
  uint16_t OpenBlob(uint16_t field, uint8_t* record, uint32_t& size, bool releaseAfterPost,
                    bool tableDefinitions, uint8_t mode);
  uint16_t FreeBlob(uint16_t field, uint8_t* record, bool tableDefinitions = false);
  uint16_t GetBlob(uint16_t field, const uint8_t* record, bool tableDefinitions, int64_t offset,
                   int64_t count, uint8_t* destination, uint32_t& read);
  uint16_t PutBlob(uint16_t field, uint8_t* record, bool tableDefinitions, int64_t offset,
                   int64_t count, const uint8_t* source);
  uint16_t TruncateBlob(uint16_t field, uint8_t* record, bool tableDefinitions, int64_t length);
  uint16_t GetBlobSize(uint16_t field, const uint8_t* record, bool tableDefinitions,
                       uint32_t& size);
  // Releases every value open in record (raises a failure).
  void FreeRecordBlobs(uint8_t* record);
  // Frees the open values without writing them: all, or those opened with release-after-post.
  void FreeAllBlobs(bool all);
  size_t OpenBlobCount() const { return open_blobs_.size(); }
  // The BLOB part of a record change: the changed values (all of one record, else
  // VUZODE_MEMOCORRUPT) are saved with new revisions, and each slot of image that holds a
  // handle takes its buffer's first block and revision; no other slot changes. Answers whether
  // any value was changed. REQUIRES: the table's write lock.
  bool SaveRecordBlobs(uint8_t* image, bool tableDefinitions);
  // Opens every BLOB value of the stored image of a record being deleted and empties it.
  void ClearRecordBlobs(uint8_t* image);
  // Text index upkeep of a change, and the per-record text search.
  void AddTextWords(const uint8_t* record);
  bool ReplaceTextWords(const uint8_t* oldRecord, const uint8_t* newRecord);
  void RemoveTextWords(const uint8_t* record);
  bool TextMatches(std::string_view search, std::string_view text);
  int32_t TextOccurrences(std::string_view search, std::string_view text);

  // View upkeep after a change through this cursor, for the one record changed: after record
  // (number) was added or changed, with its new image; after it was deleted.
  // REQUIRES: inside the cursor's read bracket or the table's write lock.
  // image is the record as stored (the table's record image); computed fields are computed
  // here. Keep the range, active-records and filter bitmaps for that record alone, then
  // recombine the view (view_upkeep.cpp).
  void NoteRecordChanged(uint32_t record, const uint8_t* image);
  void NoteRecordDeleted(uint32_t record);

  // Filters (db/engine/filter/). An expression filter is made from text (parsed, checked
  // against the fields, normalised and prepared) or from a prebuilt prepared tree; with
  // neither, options.Callback makes a callback filter. A new filter is inactive. At most 64:
  // the 65th raises VUZODE_INTERNALLIMIT; texts that fail raise VUZODE_INVALIDFILTER with the
  // parser's message or "filter expression is empty", "filter expression must be a boolean
  // expression", "filter expression is invalid" (nothing and no callback). A failed add leaves
  // the list as it was and a prebuilt tree with the caller.
  TFilter* AddFilter(std::string_view text, const TFilterOptions& options);
  TFilter* AddFilter(const TFilterOptions& options, TExpToken* tree = nullptr);
  // Each takes a filter of this cursor, or null for all of them; a filter not in the list
  // raises VUZODE_NOSUCHFILTER. The cursor stays on its record when the view still holds it.
  void DropFilter(TFilter* filter);
  void ActivateFilter(TFilter* filter);
  void DeactivateFilter(TFilter* filter);
  // Gives the active filter a new prepared tree (owned as the old one was).
  void ReplaceFilterExpression(TExpToken* tree, TFilter* filter);
  size_t FilterCount() const { return filters_.size(); }
  // Whether the view is held as a bitmap: some filter is active, or the cursor is in record
  // order.
  bool ViewFiltered() const { return view_flag_; }
  static constexpr size_t kMaxFilters = 64;

  // Raises code (not 0) with this cursor's table and database and text as detail (field).
  void CheckCode(uint16_t code, std::string_view text = {}) const;
  void CheckFieldCode(uint16_t code, std::string_view field) const;

 private:
  void RequireClosed() const;
  // An open cursor whose table holds every record (pending rows taken in); VUZODE_NOCURRREC
  // when closed.
  void RequireTable();
  void RequireExclusiveWritable() const;
  [[noreturn]] void Raise(uint16_t code, std::string_view field = {},
                          std::string_view detail = {}) const;
  // Asks the password callback until the session knows password; raises
  // VUZODE_NOTSUFFTABLERIGHTS when it gives up.
  void RequirePassword(const std::string& password);
  void LoadFields();
  uint8_t Kind() const { return in_memory_ ? kMemoryTable : kDiskTable; }

  // Record change machinery (cursor_changes.cpp).
  class TChange;
  void CheckValidity(const uint8_t* record);
  // The slots of the primary (when the table has one) and secondary indexes, in that order.
  struct TKeySlots {
    std::array<int, 32> Slots{};
    size_t Count = 0;
    const int* begin() const { return Slots.data(); }
    const int* end() const { return Slots.data() + Count; }
  };
  TKeySlots KeySlots() const;
  void CheckUniqueKeys(const uint8_t* record, const uint8_t* old, bool rowIdToo);
  void RecordChange();
  // Whether a delete of record n must lock it: false for an exclusive or read-only cursor and
  // when this cursor holds the lock for its edit; VUZODE_RECLOCKFAILED when another cursor of
  // the session holds it.
  bool NeedsRecordLock(uint32_t n) const;
  // ModifyRecord and DeleteRecord of record given, or of the current record when given is 0.
  void ModifyRecordNumber(uint32_t given, const uint8_t* record, bool unlock, bool reposition);
  void DeleteRecordNumber(uint32_t given, const uint8_t* record, bool reposition);
  void PositionAfterChange(uint32_t record, const uint8_t* image, bool reposition);
  void PlaceAfterChange(uint32_t record, const uint8_t* image);
  // The positioning part of PlaceAfterChange, over a view that holds the change already.
  void PlaceOnChangedRecord(uint32_t record, const uint8_t* image);

  // BLOB machinery (cursor_blobs.cpp).
  struct TOpenBlob {
    int32_t Id = 0;
    bool ReleaseAfterPost = false;
    std::unique_ptr<TBlobBuffer> Buffer;
  };
  const FieldDescriptor& BlobField(uint16_t field, bool tableDefinitions) const;
  // Whether the caller's record is the stored one from byte from on: every byte alike, except
  // BLOB slots, which compare by first block and revision, a handle standing for those of its
  // open value (whose unposted edits do not count).
  bool SameRecord(const uint8_t* caller, const uint8_t* stored, size_t from);
  TOpenBlob* FindBlob(int32_t handle);
  const TTextIndexParameters& TextParameters();
  std::string FieldText(const uint8_t* record, const FieldDescriptor& field) const;

  // Serving pending rows (cursor_pending_rows.cpp): the record-order moves over the rows.
  void DropPendingRows();
  void PendingGoFirst();
  void PendingGoLast();
  bool PendingStep(bool forward);
  void PendingCopyOut(uint8_t* buffer) const;
  void PendingSetToBegin();
  void PendingSetToEnd();
  bool PendingSetToRecNo(uint32_t n);
  uint16_t PendingCurRecord(uint8_t* buffer);
  uint16_t PendingMoveAndRead(bool forward, uint8_t* buffer);
  uint16_t PendingReadBlock(uint32_t& count, uint8_t* buffer);

  // Reading machinery (cursor_reading.cpp, cursor_position.cpp).
  // locked: the bracket takes the table's read lock whatever the strict setting, for
  // operations that change the cursor's view before reading (ranges, filters), which a change
  // of the table met half-way could not simply run again.
  void BeginCursorRead(bool locked = false);
  void EndCursorRead();
  // Runs end, the leaving of a scope entered with raising uncaught exceptions: when the scope is
  // left by an exception, an error of end gives way to it.
  template <typename F>
  static void Leave(int raising, F&& end) {
    if (std::uncaught_exceptions() == raising) {
      end();
      return;
    }
    try {
      end();
    } catch (const EVUZODEEngineError&) {
      // The operation's error is the one reported; the scope is left either way.
    }
  }
  // Holds the read bracket for one operation and leaves it also when the operation raises; an
  // error while leaving then gives way to the operation's own.
  class TCursorReadScope {
   public:
    explicit TCursorReadScope(TDataCursor& cursor, bool locked = false)
        : cursor_(cursor), raising_(std::uncaught_exceptions()) {
      cursor_.BeginCursorRead(locked);
    }
    ~TCursorReadScope() noexcept(false) {
      Leave(raising_, [&] { cursor_.EndCursorRead(); });
    }
    TCursorReadScope(const TCursorReadScope&) = delete;
    TCursorReadScope& operator=(const TCursorReadScope&) = delete;

   private:
    TDataCursor& cursor_;
    int raising_;
  };
  // Gives back, when it ends, a read lock that a cache miss took while it lasted, unless a read
  // bracket is open (whose end gives it back): reads outside brackets (opening, positioning
  // after a change, following changes after a failed one) must not keep other sessions'
  // writers waiting until the cursor's next read.
  class TMissLockScope {
   public:
    explicit TMissLockScope(TDataCursor& cursor)
        : cursor_(cursor),
          held_(cursor.table_->ReadLockHeld()),
          raising_(std::uncaught_exceptions()) {}
    ~TMissLockScope() noexcept(false) {
      const TDataCursor& c = cursor_;
      if (held_ || c.read_depth_ > 0 || c.exclusive_ || c.files_read_only_ || c.table_ == nullptr ||
          !c.table_->ReadLockHeld()) {
        return;
      }
      Leave(raising_, [&] { c.table_->EndRead(); });
    }
    TMissLockScope(const TMissLockScope&) = delete;
    TMissLockScope& operator=(const TMissLockScope&) = delete;

   private:
    TDataCursor& cursor_;
    bool held_;
    int raising_;
  };
  // Runs a moving or reading operation in a read bracket. Without a lock a cache miss may find
  // the table changed by another session (TIndexChanged): the miss took the read lock, which
  // keeps the table as it is until the bracket ends, so the outermost bracket follows the
  // change and runs the operation once more. Only operations that position and read may run
  // here: running them twice ends where running them once would have.
  template <typename F>
  decltype(auto) Reading(F&& operation) {
    TCursorReadScope bracket(*this);
    if (read_depth_ > 1) return operation();
    return Restartable(operation, [&] {
      Resynchronise();
      return operation();
    });
  }
  // Runs reads. When a cache miss meets another session's change (TIndexChanged: the caches
  // are dropped), takes the read lock (when the cursor locks at all) and runs again instead;
  // nothing changes under that lock, so a change met then is a damaged tree.
  template <typename F, typename G>
  decltype(auto) Restartable(F&& reads, G&& again) {
    TDataTable::TRestartableReads restartable(*table_);
    try {
      return reads();
    } catch (const TIndexChanged&) {
      if (!exclusive_ && !files_read_only_) table_->BeginRead();
    }
    try {
      return again();
    } catch (const TIndexChanged&) {
      RaiseTreeUnsettled();
    }
  }
  // A tree that still changes under the read lock is damaged: VUZODE_INDEXCORRUPT.
  [[noreturn]] void RaiseTreeUnsettled() const;
  bool SnapshotDiffers() const;
  void TakeSnapshot();
  // Follows the table's changes and puts the cursor back on its record (or the nearest after
  // it). A change met by a cache miss meanwhile is followed again under the read lock.
  void Resynchronise();
  void ResynchroniseTo(bool had, const uint8_t* bookmark, bool wasBof);
  void LoadIndex(int number);
  void RebuildView();
  void ClearPosition();
  // Index order: goes to the first entry at or after key (nearest) and sets the position;
  // false when there is none (after-last).
  bool SeekKey(const uint8_t* key);
  // The entry of the position: true with its key and record number.
  bool PositionEntry(const uint8_t*& key, int32_t& record);
  bool StepIndex(bool forward);
  bool StepRecordOrder(bool forward);
  bool Step(bool forward);
  // GetNextRecord (forward) and GetPriorRecord.
  uint16_t MoveAndRead(bool forward, uint8_t* buffer);
  void GoFirst();
  void GoLast();
  // After GoFirst (GoLast): before the first (after the last) record, whose logical position is
  // last, unless the view is empty.
  void StandBeforeFirst();
  void StandAfterLast(int64_t last);
  // The code a read answers at the position: VUZODE_NOCURRREC, VUZODE_BOF, VUZODE_EOF or 0.
  uint16_t EdgeCode() const;
  uint32_t ViewCount();
  // Copies the current record into the cursor's buffer (and computes its computed fields).
  void LoadCurrentRecord();
  // A forward walk in index order: asks the processor for the cache memory of the records the
  // leaf names next (MoveAndRead; a lone look-up has no use for them).
  void PrefetchFollowingRecords();
  void CopyOut(uint8_t* buffer) const;
  void ComputeFields(uint8_t* buffer);
  void BuildKey(const uint8_t* record, IndexKey& key) const;
  // The range key from a key or record, cut after fields and filled (low or high in index
  // order).
  void RangeKey(bool keysGiven, const uint8_t* source, uint16_t fields, bool high,
                IndexKey& key) const;
  void ComputeRangeBounds();
  // After a change of range: back on the key the cursor stood on (nearest), or before the
  // first record of the view.
  void StayOnCurrentKey(const IndexKey& here, bool onRecord);
  // The first and last logical positions of the view in index order (0, 0 when empty).
  int64_t FirstPosition() const { return range_active_ ? range_first_ : 1; }
  int64_t LastPosition();

  // Index order under a filter (cursor_position.cpp): the raw moves over every key of the
  // range, and the view's moves that skip keys whose records are not in the view.
  bool SeekKeyRaw(const uint8_t* key);
  bool PlaceAtRank(int64_t rank);
  bool StepIndexRaw(bool forward);
  bool IndexFiltered() const { return view_flag_ && !record_order_; }
  // The 1-based place of the current record among the view's records in index order.
  int64_t ViewPlace() const;

  // The view (db/engine/filter/view_build.cpp, filter_bitmap.cpp, filter_list.cpp).
  void BuildUntilStable();
  void BuildViewOnce();
  void BuildRangeBitmap(uint32_t highest);
  void BuildActiveBitmap(uint32_t highest);
  void Recombine();
  void ComputeFilter(TFilter& filter, const TRecordsBitmap& candidates);
  void ComputeNode(TFilter& filter, const TExpToken& node, const TRecordsBitmap& candidates,
                   TRecordsBitmap& out);
  bool CollectLeaf(const TExpToken& node, TRecordsBitmap& out);
  void EvaluateCandidates(TFilter& filter, const TExpToken* node, const TRecordsBitmap& candidates,
                          TRecordsBitmap& out);
  bool FilterHolds(TFilter& filter, const TExpToken* node, const uint8_t* stored, uint32_t record);
  TFilter* FindFilter(TFilter* filter) const;
  // Inside the read bracket: the view made anew (or only recombined), then back on the
  // current record.
  void ChangeView(bool rebuild);
  TFilter* InsertFilter(std::unique_ptr<TFilter> filter, const TFilterOptions& options);

  TDataDirectory& directory_;
  std::string table_name_;
  bool exclusive_ = false;
  bool read_only_ = false;
  bool in_memory_ = false;
  bool shares_exclusive_ = false;
  bool result_cursor_ = false;
  bool live_result_ = false;
  bool temporary_ = false;
  TPasswordCallback password_callback_;

  TDataTable* table_ = nullptr;
  std::vector<FieldDescriptor> fields_;
  uint32_t record_size_ = 0;
  bool has_validity_checks_ = false;
  bool has_defaults_ = false;
  bool has_auto_increment_ = false;
  bool files_read_only_ = false;
  // Current index and position.
  int index_no_ = 0;
  std::string index_name_;
  bool record_order_ = false;
  int slot_ = 0;
  uint16_t key_length_ = 0;
  const TKeyLayout* layout_ = nullptr;
  int32_t leaf_page_ = 0;
  int leaf_pos_ = 0;
  uint32_t current_record_ = 0;
  int64_t logical_ = 0;
  bool bof_ = true;
  bool eof_ = true;
  IndexKey current_key_;
  IndexKey scratch_key_;
  std::vector<uint8_t> record_buffer_;
  // The record last read into the buffer: read-ahead follows it in file order.
  uint32_t last_loaded_ = 0;
  // The key range: bounds are logical positions in the whole index, 0 when empty.
  bool range_active_ = false;
  IndexKey range_start_;
  IndexKey range_end_;
  int64_t range_first_ = 1;
  int64_t range_last_ = 0;
  // The view as a bitmap (view_flag_): range AND active records AND every active filter.
  TRecordsBitmap visible_;
  bool view_built_ = false;
  bool view_flag_ = false;
  std::vector<std::unique_ptr<TFilter>> filters_;
  std::unique_ptr<TRecordsBitmap> range_bitmap_;
  std::unique_ptr<TRecordsBitmap> active_bitmap_;
  uint32_t filtered_count_ = 0;
  // ViewPlace's answer, -1 until known (index order under a filter).
  mutable int64_t view_place_ = -1;
  // How filters read records, and a record buffer for tables with computed fields.
  std::unique_ptr<TCursorEnvironment> filter_environment_;
  std::vector<uint8_t> filter_record_;
  // The table's change counters when this cursor last synchronised.
  int32_t snapshot_[3] = {0, 0, 0};
  bool snapshot_taken_ = false;
  // A change of this cursor made without repositioning is not in the view yet: the next read
  // (or repositioning change) rebuilds it.
  bool view_stale_ = false;
  int read_depth_ = 0;
  bool read_lock_taken_ = false;
  // Set by a resynchronisation whose record was gone, for the rest of the read bracket: 1
  // when it moved onto the next record, -1 onto the previous one (no record after it); a
  // move in that direction is then already made.
  int moved_past_gone_ = 0;
  // Computed fields.
  std::vector<TExpToken*> computed_trees_;
  std::unique_ptr<TCursorEnvironment> environment_;
  std::unique_ptr<TExpEvaluator> evaluator_;
  bool computing_ = false;
  uint32_t stored_size_ = 0;
  // Record changes: this cursor's locked record, the optimistic record-changed mark.
  uint32_t locked_record_ = 0;
  bool record_changed_mark_ = false;
  bool suppress_auto_inc_ = false;
  // Open BLOB values, at most 128.
  std::vector<TOpenBlob> open_blobs_;
  // The keys the current change wrote or removed (TChange), reused from change to change.
  TKeyJournal key_journal_;
  std::vector<uint8_t> append_image_;
  // Scratch images of a modify or delete: the new record, the stored one, the one read.
  std::vector<uint8_t> change_image_, old_image_, kept_image_;
  int32_t next_blob_id_ = 1;
  bool text_parameters_loaded_ = false;
  // Text index parameters given by CreateTable or kept by EmptyTable, stored at close.
  bool text_parameters_set_ = false;
  TTextIndexParameters text_parameters_;
  // Pending rows: record images the table has not taken yet (cursor_pending_rows.cpp).
  bool pending_ = false;
  std::vector<uint8_t> pending_rows_;
  uint32_t pending_count_ = 0;
};
