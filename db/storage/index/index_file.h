// TIndexFile: the index file of a table: the 4096-byte header with the 33 index descriptors and
// the pages of every index's B+-tree, through a page cache of decoded TPage objects.
//
// Invariants:
//   (1) While opened, the cached header has passed CheckIndexHeaderBounds (Open, ReadHeader,
//       RereadHeader): every page number it holds lies below NextPageNumber, every key length
//       in use is at most 522.
//   (2) A cached page belongs to one slot: fetching it for another slot is a corrupt file
//       (FetchPage), so one page can never serve two trees.
//   (3) AllocatePage hands out only free pages: a page taken from a free chain must be free
//       (entry count 0) and its successor link valid, so a chain that loops into a page in use,
//       or out of the file, is reported instead of handing a page out twice (free_pages.cpp).
//   (4) Pages are evicted only by TrimPages, between tree operations, so every TPage pointer a
//       tree operation holds stays valid until it returns (TBTree calls TrimPages last).
//   (5) Dirty pages reach the file only through FlushPages and TrimPages; DiscardPages drops
//       them (a rolled-back transaction).
// The object belongs to one table of one session; it takes no lock of its own beyond
// BeginAccess/EndAccess around each transfer.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/storage/data/field_types.h"
#include "db/storage/files/file_handler.h"
#include "db/storage/index/index_header.h"
#include "db/storage/index/index_key.h"
#include "db/storage/index/page.h"

// The keys inserted into and deleted from trees while it is set on an index file, in order,
// so that a change that fails half-way can take them back. The key bytes are packed in one
// buffer: recording a key copies only its own bytes, and a cleared journal keeps its capacity.
class TKeyJournal {
 public:
  struct TEntry {
    int Slot = 0;
    int32_t Record = 0;
    uint32_t Offset = 0;  // of the key in the packed bytes
    uint16_t Length = 0;
    bool Inserted = false;
  };
  void Add(int slot, const uint8_t* key, uint16_t length, int32_t record, bool inserted) {
    entries_.push_back({slot, record, static_cast<uint32_t>(bytes_.size()), length, inserted});
    bytes_.insert(bytes_.end(), key, key + length);
  }
  void Clear() {
    entries_.clear();
    bytes_.clear();
  }
  bool Empty() const { return entries_.empty(); }
  size_t Size() const { return entries_.size(); }
  const TEntry& operator[](size_t i) const { return entries_[i]; }
  // The key of entry e; valid until the next Add or Clear.
  const uint8_t* KeyOf(const TEntry& e) const { return bytes_.data() + e.Offset; }

 private:
  std::vector<TEntry> entries_;
  std::vector<uint8_t> bytes_;
};

// Raised by FetchPage when the check before a cache miss found the file changed by another
// session: the cached header was replaced and every cached page dropped, so the walk in
// progress holds pages of a tree that no longer is. Its caller starts again from the new header.
struct TIndexChanged {};

// The page cache of an index file, as handed from one opening of the file to the next.
struct TIndexPageSet {
  std::vector<std::unique_ptr<TPage>> Direct;
  std::unordered_map<uint32_t, std::unique_ptr<TPage>> Far;
  TPage* Newest = nullptr;
  TPage* Oldest = nullptr;
  size_t Resident = 0;
};

class TIndexFile : public TFileHandler {
 public:
  TIndexFile();
  ~TIndexFile() override;

  // Opens the file and reads the header. Raises VUZODE_OLDVERSION for a format other than 5,
  // VUZODE_HEADERCORRUPT for a header that fails CheckIndexHeaderBounds or a file shorter than
  // its header. A failed open leaves the file closed.
  void Open() override;
  // Drops the page cache unwritten and closes.
  void Close() override;
  // Creates the file with the header of a new index file (written at once).
  void CreateFile() override;

  // The table the indexes belong to: locale and field descriptors (for key layouts and
  // VerifyStructure), whether pages are scrambled, and the name used in error contexts.
  void SetTableInfo(uint16_t languageId, uint16_t sortId, std::vector<FieldDescriptor> fields);
  void SetEncrypted(bool value) { encrypted_ = value; }
  bool Encrypted() const { return encrypted_; }
  void SetTableName(std::string name) { table_name_ = std::move(name); }
  void SetForceBufferFlush(bool value) { force_flush_ = value; }

  // Header.
  void ReadHeader();
  // True when ChangeCount differs from the cached one; the header is then replaced (the caller
  // discards the page cache).
  bool RereadHeader();
  // Writes the header when force or changed (ChangeCount + 1). True when written.
  // REQUIRES: the pages the header counts are written (FlushPages) first; a header that counts
  // pages the file does not hold is refused as damaged when it is read.
  bool WriteHeader(bool force);
  void MarkHeaderChanged();
  const IndexFileHeader& Header() const { return header_; }
  // Truncates after page 0 and resets every tree. Drops the page cache.
  void EmptyFile();
  // The structure check of an opened table (see index_file.cpp); VUZODE_HEADERCORRUPT or
  // VUZODE_OLDVERSION. REQUIRES: SetTableInfo was called with the table's fields.
  void VerifyStructure() const;

  // Definitions.
  void DefinePrimaryIndex(const IndexDescriptor& definition);
  void AddSecondaryIndex(const IndexDescriptor& definition);
  void RemoveIndex(int slot, bool remove);
  // Replaces a slot's definition (the text index at creation; rebuilt indexes); the root
  // becomes 0.
  void SetIndexDefinition(int slot, const IndexDescriptor& definition);
  // REQUIRES: 0 <= slot < 33.
  const IndexDescriptor& Descriptor(int slot) const { return header_.Slots[slot]; }
  bool FindIndexName(std::string_view name) const;
  const TKeyLayout& Layout(int slot) const { return layouts_[slot]; }
  TPageFormat PageFormat(int slot) const;
  // The tree roots and free chains, kept in the header (marked changed on every change).
  void SetRootPage(int slot, int32_t page);
  void SetParameterPage(int32_t page);

  int32_t ActiveRecordCount() const { return header_.ActiveRecordCount; }
  void IncrementActiveRecordCount();
  void DecrementActiveRecordCount();
  void SetActiveRecordCount(int32_t value);
  bool NoPrimaryIndex() const { return header_.NoPrimaryIndex; }
  void SetNoPrimaryIndex(bool value);

  // Pages. FetchPage returns page n of slot from the cache or the file. Raises
  // VUZODE_INDEXCORRUPT for n outside 1 .. NextPageNumber - 1, a page that fails its bounds, a
  // neighbour link outside the file, or a page cached for another slot (2).
  // The pointer stays valid until the next TrimPages, DiscardPages or Close (4).
  // A miss first asks the miss check (when set); its false answer means the header was reread
  // and the cache dropped, and FetchPage raises TIndexChanged instead of reading.
  TPage* FetchPage(int slot, int32_t n);
  // Asked before a page is read from the file: the table takes its read lock there when no
  // lock covers the read, so a page read never mixes with an older cached header or pages.
  void SetMissCheck(std::function<bool()> check) { miss_check_ = std::move(check); }
  // A cleared page stamped with slot's format: the head of slot's free chain, or a new page at
  // the end. Raises VUZODE_INDEXCORRUPT for a free chain head that is not free (3),
  // VUZODE_TABLEFULL past the file limits.
  TPage* AllocatePage(int slot);
  // Puts page at the head of slot's free chain.
  void FreePage(int slot, TPage* page);
  // Moves every page of from's free chain to to's, so that the pages of an index whose slot is
  // about to go stay usable. REQUIRES: both slots defined.
  void MoveFreePages(int from, int to);
  void MarkDirty(TPage* page) { page->Dirty = true; }

  // Writes every dirty page, sorted by number. True when anything was written.
  bool FlushPages();
  // Drops every cached page unwritten.
  void DiscardPages();
  // Hands the cached pages over before a close, for the next open of the same file while the
  // file stays as it is (the table's warm caches); an empty set when a page is changed. The
  // cache is then empty.
  TIndexPageSet TakePages();
  // Takes such pages in place of the cache's (dropped), trimmed to this file's capacity.
  void AdoptPages(TIndexPageSet pages);
  // Evicts least recently used pages (writing dirty ones) down to the cache capacity; nothing
  // while dirty pages are held.
  void TrimPages();
  // While set, dirty pages stay in the cache until FlushPages or DiscardPages: the cache grows
  // instead of writing them (a transaction, whose rollback must be able to drop every change).
  void SetHoldDirtyPages(bool value) { hold_dirty_ = value; }
  bool HoldDirtyPages() const { return hold_dirty_; }
  // While set, every key inserted or deleted through TBTree is appended to journal, so a
  // change that fails half-way can take its keys back in reverse order (the table's record
  // changes). Null: no journal.
  void SetKeyJournal(TKeyJournal* journal) { key_journal_ = journal; }
  TKeyJournal* KeyJournal() const { return key_journal_; }
  // The cache capacity in pages (at least 8: one tree operation holds a few pages).
  void SetPageCacheCapacity(uint32_t pages);
  uint32_t PageCacheCapacity() const { return capacity_; }
  size_t CachedPageCount() const { return resident_; }

  // Statistics.
  uint64_t PageReads() const { return page_reads_; }
  uint64_t PageWrites() const { return page_writes_; }

  [[noreturn]] void RaiseIndexCorrupt(int slot, std::string_view detail = {}) const;
  [[noreturn]] void RaiseHeaderCorrupt(std::string_view detail = {}) const;
  [[noreturn]] void RaiseIndexError(uint16_t code, int slot) const;
  std::string_view ErrorTableName() const;

 private:
  void RebuildLayouts();
  // Reads page 0 into image_, unscrambled (VUZODE_HEADERCORRUPT when short).
  void ReadHeaderImage();
  // Decodes and checks the header in image_ and makes it the cached one.
  void TakeHeaderImage();
  void CheckDefinition(const IndexDescriptor& definition, std::string_view name) const;
  TPage* Lookup(uint32_t n) const;
  void Attach(std::unique_ptr<TPage> page);
  std::unique_ptr<TPage> Detach(TPage* page);
  // A hit: marks the page used. Eviction gives a marked page a second chance at the newest end
  // (MoveToNewest) instead of relinking it on every hit, which touched two more pages.
  void Touch(TPage* page) { page->Referenced = true; }
  void MoveToNewest(TPage* page);
  // Writes page; fileSize is the file's size as known (-1: ask the file) and grows with it.
  void WritePage(TPage* page, int64_t& fileSize);
  void WritePage(TPage* page) {
    int64_t unknown = -1;
    WritePage(page, unknown);
  }
  void ReadPageImage(uint32_t n, uint8_t* image);

  IndexFileHeader header_;
  std::array<TKeyLayout, kIndexSlotCount> layouts_;
  uint16_t language_id_ = 0;
  uint16_t sort_id_ = 0;
  std::vector<FieldDescriptor> fields_;
  bool encrypted_ = false;
  bool force_flush_ = false;
  bool hold_dirty_ = false;
  TKeyJournal* key_journal_ = nullptr;
  std::function<bool()> miss_check_;
  std::string table_name_;

  // The page cache: pages below kDirectPages in a vector by number, the rest in a map; an LRU
  // list through TPage::Newer/Older; a small pool of spare pages.
  static constexpr uint32_t kDirectPages = 1u << 20;
  std::vector<std::unique_ptr<TPage>> direct_;
  std::unordered_map<uint32_t, std::unique_ptr<TPage>> far_;
  TPage* newest_ = nullptr;
  TPage* oldest_ = nullptr;
  size_t resident_ = 0;
  uint32_t capacity_ = 64;
  std::vector<std::unique_ptr<TPage>> pool_;
  std::vector<uint8_t> image_;
  uint64_t page_reads_ = 0;
  uint64_t page_writes_ = 0;
};
