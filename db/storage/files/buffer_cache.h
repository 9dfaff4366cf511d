// TBufferCache: the cache of one structure of a table file (its records, one index's pages, or
// its BLOB blocks): entries found by number (TUnitMap), a most-recently-used list and a pool of
// free entries. A hit marks its entry used; eviction gives a marked entry a second chance
// (clears the mark and moves it to the head) before taking the least recent unmarked one.
// Walks in file order (read-ahead fetches) resist flooding the cache: their hits set no mark,
// and while the cache is full their misses insert at the tail, so a walk larger than the cache
// evicts its own earlier units rather than the working set.
//
//   | Cache   | Unit size  | Unit n starts at          | Capacity         | Grow | Probe | Ahead  |
//   |---------|------------|---------------------------|------------------|------|-------|--------|
//   | records | rs         | 127 + 768 * f + (n-1)*rs  | min(16384/rs,    | 64   | 4     | 8192/rs|
//   |         |            |                           |   8192)          |      |       |        |
//   | pages   | 4096       | n * 4096                  | 16384/8192 = 2   | 4    | 2     | 1      |
//   | blocks  | bs (512)   | 512 + (n-1) * bs          | min(32768/bs,    | 32   | 4     | 16384/ |
//   |         |            |                           |   8192)          |      |       | bs     |
//
// rs = record size, f = field count, bs = block size, all from the file's header; capacities
// and read-ahead counts are at least 1. While a record or block cache can hold the whole file,
// any miss reads the 64 KiB-aligned stretch of units around the unit asked for: a walk in
// index order then reads the file in large pieces instead of one unit per call.
// (16384, 8192; 16384, 8192; 32768, 8192 are the session's cache figures, the defaults below.)
//
// Invariants:
//   (1) entries_ maps each cached entry's Number to it and holds exactly the entries of the MRU
//       list (TakeEntry, Insert, Remove, Trim, Discard).
//   (2) Every cached entry has 1 <= Number < NextNumber().
//   (3) An entry with PinCount > 0 or Dirty is never evicted, refreshed from the file or
//       returned to the pool, except by Discard.
//   (4) Outside a transaction the cache flushes before it grows; inside one it grows instead, so
//       changed units stay in memory until the commit writes them or the rollback discards them.
//   (5) With tracks_changes, every Dirty entry is Listed (on changed_) once it is unpinned,
//       and pinned_ counts the entries whose PinCount is above 0.
// The cache takes no lock of its own: it belongs to one table object of one session.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "db/storage/files/cache_entry.h"
#include "db/storage/files/unit_map.h"

class TFileHandler;

// The parameters of one cache.
struct TCacheLayout {
  uint32_t unit_size = 0;
  int64_t first_unit_offset = 0;  // where unit 1 starts
  uint32_t max_number = 0;        // the last unit number the file may hold
  int64_t max_file_size = 4000000000LL;
  uint32_t capacity = 1;      // entries, initially and after trimming
  uint32_t growth = 1;        // entries added when nothing can be evicted
  uint32_t probe = 1;         // most-recent entries compared before the binary search
  uint32_t read_ahead = 1;    // most units one miss reads
  uint32_t whole_read = 1;    // units a miss reads, aligned around the unit, while the cache
                              // can hold every unit of the file
  uint16_t corrupt_code = 0;  // raised for an inconsistent number
  // Whether the cache keeps a list of its changed entries and a count of its pinned ones, so a
  // flush or a check for changes costs what is changed rather than the cache's size. Every
  // user of such a cache marks units changed only while it holds them pinned, and unpins
  // through Unpin (the records); the BLOB blocks release their pins themselves.
  bool tracks_changes = false;
  size_t pool_capacity = 0;
  bool operator==(const TCacheLayout&) const = default;
};

inline constexpr uint32_t kDefaultDataCacheBytes = 16384;
inline constexpr uint32_t kDefaultMaxCachedRecords = 8192;
inline constexpr uint32_t kDefaultIndexCacheBytes = 16384;
inline constexpr uint32_t kIndexCacheBytesPerIndex = 8192;
inline constexpr uint32_t kDefaultBlobCacheBytes = 32768;
inline constexpr uint32_t kDefaultMaxCachedBlocks = 8192;
inline constexpr uint32_t kPageSize = 4096;

// REQUIRES: recordSize >= 1 (the data file checks its header first).
TCacheLayout RecordCacheLayout(uint32_t recordSize, uint32_t fieldCount,
                               uint32_t cacheBytes = kDefaultDataCacheBytes,
                               uint32_t maxRecords = kDefaultMaxCachedRecords);
TCacheLayout PageCacheLayout(uint32_t cacheBytes = kDefaultIndexCacheBytes);
// REQUIRES: blockSize >= 1.
TCacheLayout BlockCacheLayout(uint32_t blockSize, uint32_t cacheBytes = kDefaultBlobCacheBytes,
                              uint32_t maxBlocks = kDefaultMaxCachedBlocks);

// What the table file that owns a cache decides for it.
class TCacheOwner {
 public:
  virtual ~TCacheOwner() = default;
  // True while the table's transaction lock is held (then no flush makes room).
  virtual bool TransactionLockHeld() const { return false; }
  // Runs before a miss reads from the file (the table's read lock and change check). False when
  // another session's change was found and the table's caches were discarded; Fetch then returns
  // null and the caller starts over.
  virtual bool BeforeMissRead() { return true; }
  // Whether a miss may read fewer bytes than asked (exclusive or transaction access after this
  // session wrote the files; units past the end then read as zeros).
  virtual bool AllowShortRead() const { return false; }
  // Turns the file's bytes of a unit into the cached form (descrambling) and back.
  virtual void DecodeUnit(uint8_t* /*unit*/, uint32_t /*size*/) {}
  virtual void EncodeUnit(uint8_t* /*unit*/, uint32_t /*size*/) {}
  // A new unit was added: the header's unit count changed.
  virtual void HeaderChanged() {}
  // The cache wrote to the file.
  virtual void Written() {}
  // Makes room by writing every changed unit of the table through its write path (so the
  // writes go through its commit journal). False when the cache is to write its own dirty
  // units instead.
  virtual bool FlushForRoom() { return false; }
};

class TBufferCache {
 public:
  // Raises layout.corrupt_code when layout.unit_size is 0 (a corrupt header).
  TBufferCache(TFileHandler& file, TCacheOwner& owner, const TCacheLayout& layout);
  ~TBufferCache();
  TBufferCache(const TBufferCache&) = delete;
  TBufferCache& operator=(const TBufferCache&) = delete;

  // Hands the cache to another file object of the same file (one closed and opened again
  // while its units stayed valid: see the table's warm caches).
  void Rebind(TFileHandler& file, TCacheOwner& owner) {
    file_ = &file;
    owner_ = &owner;
  }
  const TCacheLayout& Layout() const { return layout_; }

  // One past the last unit of the file.
  uint32_t NextNumber() const { return next_number_; }
  void SetNextNumber(uint32_t value) { next_number_ = value; }

  // The entry of unit n, pinned (release it with Unpin). n == NextNumber() adds a new, zeroed
  // unit (raising VUZODE_TABLEFULL past the limits). A miss reads 1 unit, or with readAhead up to
  // the layout's read-ahead (or count, when given) units from n forward, or ending at n when not
  // forward; without readAhead, the layout's whole_read units around n while the cache can hold
  // the whole file. Returns null when BeforeMissRead reported a change (the caches were discarded).
  // Raises the corrupt code for n == 0 or n > NextNumber(), READERR/WRITEERR from the file.
  TCacheEntry* Fetch(uint32_t n, bool readAhead = false, bool forward = true, uint32_t count = 0);
  // Hints for a walk that knows its next units: bring unit n's map slot, or (its slot fetched
  // earlier) its entry, into the processor's cache. Nothing else changes.
  void PrefetchSlot(uint32_t n) const { entries_.Prefetch(n); }
  void PrefetchUnit(uint32_t n) const;
  // Releases one pin (never below 0).
  void Unpin(TCacheEntry* entry);
  void MarkDirty(TCacheEntry* entry) {
    entry->Dirty = true;
    List(entry);
  }

  // Writes every dirty unpinned entry, each run of consecutive numbers with one seek and one
  // write, and clears their Dirty. False when nothing was dirty.
  bool Flush();
  // Whether no entry is changed or pinned: the cache then says nothing the file does not.
  bool Clean() const;
  // Returns least-recent clean unpinned entries to the pool until at most capacity remain
  // (flushing once when none is clean); the capacity becomes max(count, capacity).
  void Trim(uint32_t capacity);
  // Returns every entry to the pool, dirty or pinned alike, and empties both lists.
  void Discard();

  size_t Count() const { return entries_.Size(); }
  uint32_t Capacity() const { return capacity_; }
  const TEntryStack& Pool() const { return pool_; }
  // Counters for tests and statistics.
  uint64_t Hits() const { return hits_; }
  uint64_t Misses() const { return misses_; }
  uint64_t Writes() const { return writes_; }
  // The most recent entry, or null.
  const TCacheEntry* MostRecent() const { return head_; }

 private:
  int64_t OffsetOf(uint32_t n) const;
  [[noreturn]] void RaiseCorrupt() const;
  // The cached entry of unit n, or null.
  TCacheEntry* Find(uint32_t n) const;
  void MoveToHead(TCacheEntry* entry);
  void MoveToTail(TCacheEntry* entry);
  // Whether entry is one of the units the miss in progress is reading.
  bool BeingRead(const TCacheEntry* entry) const;
  void Unlink(TCacheEntry* entry);
  // An entry for a new unit: from the pool while below capacity, else an evicted one; see
  // invariant (4).
  std::unique_ptr<TCacheEntry> TakeEntry();
  TCacheEntry* EvictionCandidate();
  // Pins entry once more, counting it among the pinned when it was not.
  void Pin(TCacheEntry* entry) {
    if (entry->PinCount++ == 0) ++pinned_;
  }
  void List(TCacheEntry* entry) {
    if (!layout_.tracks_changes || entry->Listed) return;
    entry->Listed = true;
    changed_.push_back(entry);
  }
  // Flush's writes of the changed, unpinned entries in number order.
  void WriteRuns(std::vector<TCacheEntry*>& dirty);
  // Removes entry from the map and the MRU list and hands it back.
  std::unique_ptr<TCacheEntry> Remove(TCacheEntry* entry);
  // Maps entry under n and links it at the head, or at the tail when cold.
  TCacheEntry* Insert(std::unique_ptr<TCacheEntry> entry, uint32_t n, bool cold = false);
  // Reads count units from first into the cache and returns unit n pinned. stretch: more than
  // n is read (read-ahead, or the units around n), and those past the file's end are left out.
  // cold: the new units, n too, go in at the tail (a walk in file order through a full cache).
  TCacheEntry* ReadUnits(uint32_t n, uint32_t first, uint32_t count, bool stretch, bool cold);
  static void Grow(std::vector<uint8_t>& buffer, size_t size);

  TFileHandler* file_;
  TCacheOwner* owner_;
  TCacheLayout layout_;
  TEntryStack pool_;
  // By unit number: a fetch costs the same whatever the cache's size.
  TUnitMap entries_;
  TCacheEntry* head_ = nullptr;
  TCacheEntry* tail_ = nullptr;
  uint32_t capacity_;
  uint32_t next_number_ = 1;
  // The units a miss is reading; a flush leaves them alone.
  uint32_t reading_first_ = 0;
  uint32_t reading_last_ = 0;
  std::vector<uint8_t> read_buffer_;
  std::vector<uint8_t> write_buffer_;
  // With tracks_changes: every entry changed since it was last written (each once, Listed),
  // and the number of entries pinned.
  std::vector<TCacheEntry*> changed_;
  size_t pinned_ = 0;
  uint64_t hits_ = 0;
  uint64_t misses_ = 0;
  uint64_t writes_ = 0;
};
