// TBufferCache: fetching, eviction, flushing and trimming of cached units.
#include "db/storage/files/buffer_cache.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "db/engine/errors/engine_error.h"
#include "db/storage/files/file_handler.h"

namespace {

// Holds a file's guard for one seek and transfer, and releases it also when the transfer raises.
class TAccessScope {
 public:
  explicit TAccessScope(TFileHandler& file) : file_(file) { file_.BeginAccess(); }
  ~TAccessScope() { file_.EndAccess(); }
  TAccessScope(const TAccessScope&) = delete;
  TAccessScope& operator=(const TAccessScope&) = delete;

 private:
  TFileHandler& file_;
};

constexpr uint32_t kWholeReadBytes = 65536;
constexpr uint32_t kAroundReadBytes = 4096;
constexpr size_t kMaxWriteRun = size_t{1} << 20;

uint32_t AtLeastOne(uint32_t value) {
  return value == 0 ? 1 : value;
}

}  // namespace

TCacheLayout RecordCacheLayout(uint32_t recordSize, uint32_t fieldCount, uint32_t cacheBytes,
                               uint32_t maxRecords) {
  TCacheLayout layout;
  layout.unit_size = recordSize;
  layout.first_unit_offset = 127 + 768 * int64_t{fieldCount};
  layout.max_number = 200000000;
  layout.capacity = recordSize == 0 ? maxRecords : std::min(cacheBytes / recordSize, maxRecords);
  layout.capacity = AtLeastOne(layout.capacity);
  layout.growth = 64;
  layout.probe = 4;
  layout.read_ahead = recordSize == 0 ? 1 : AtLeastOne(8192 / recordSize);
  layout.whole_read = recordSize == 0 ? 1 : AtLeastOne(kWholeReadBytes / recordSize);
  layout.corrupt_code = VUZODE_FILECORRUPT;
  layout.pool_capacity = kRecordStackCapacity;
  layout.tracks_changes = true;
  return layout;
}

TCacheLayout PageCacheLayout(uint32_t cacheBytes) {
  TCacheLayout layout;
  layout.unit_size = kPageSize;
  layout.first_unit_offset = kPageSize;  // page n starts at n * 4096
  layout.max_number = 2000000000;
  layout.capacity = AtLeastOne(cacheBytes / kIndexCacheBytesPerIndex);
  layout.growth = 4;
  layout.probe = 2;
  layout.read_ahead = 1;
  layout.corrupt_code = VUZODE_INDEXCORRUPT;
  layout.pool_capacity = kPageStackCapacity;
  return layout;
}

TCacheLayout BlockCacheLayout(uint32_t blockSize, uint32_t cacheBytes, uint32_t maxBlocks) {
  TCacheLayout layout;
  layout.unit_size = blockSize;
  layout.first_unit_offset = 512;
  layout.max_number = 2000000000;
  layout.capacity = blockSize == 0 ? maxBlocks : std::min(cacheBytes / blockSize, maxBlocks);
  layout.capacity = AtLeastOne(layout.capacity);
  layout.growth = 32;
  layout.probe = 4;
  layout.read_ahead = blockSize == 0 ? 1 : AtLeastOne(16384 / blockSize);
  layout.whole_read = blockSize == 0 ? 1 : AtLeastOne(kWholeReadBytes / blockSize);
  layout.corrupt_code = VUZODE_MEMOCORRUPT;
  layout.pool_capacity = kBlockStackCapacity;
  return layout;
}

TBufferCache::TBufferCache(TFileHandler& file, TCacheOwner& owner, const TCacheLayout& layout)
    : file_(&file),
      owner_(&owner),
      layout_(layout),
      pool_(layout.pool_capacity, layout.unit_size),
      capacity_(AtLeastOne(layout.capacity)) {
  if (layout_.unit_size == 0) RaiseCorrupt();
  layout_.read_ahead = AtLeastOne(layout_.read_ahead);
  layout_.whole_read = AtLeastOne(layout_.whole_read);
  layout_.probe = AtLeastOne(layout_.probe);
  layout_.growth = AtLeastOne(layout_.growth);
}

TBufferCache::~TBufferCache() {
  Discard();
}

int64_t TBufferCache::OffsetOf(uint32_t n) const {
  return layout_.first_unit_offset + int64_t{n - 1} * layout_.unit_size;
}

void TBufferCache::RaiseCorrupt() const {
  RaiseEngineError(layout_.corrupt_code, {}, {}, {}, file_->FileName());
}

TCacheEntry* TBufferCache::Find(uint32_t n) const {
  return entries_.Find(n);
}

void TBufferCache::Unlink(TCacheEntry* entry) {
  (entry->Newer != nullptr ? entry->Newer->Older : head_) = entry->Older;
  (entry->Older != nullptr ? entry->Older->Newer : tail_) = entry->Newer;
  entry->Newer = entry->Older = nullptr;
}

void TBufferCache::MoveToHead(TCacheEntry* entry) {
  if (head_ == entry) return;
  if (entry->Newer != nullptr || entry->Older != nullptr || tail_ == entry) Unlink(entry);
  entry->Older = head_;
  if (head_ != nullptr) head_->Newer = entry;
  head_ = entry;
  if (tail_ == nullptr) tail_ = entry;
}

std::unique_ptr<TCacheEntry> TBufferCache::Remove(TCacheEntry* entry) {
  if (entries_.Find(entry->Number) != entry) RaiseCorrupt();
  std::unique_ptr<TCacheEntry> owned = entries_.Erase(entry->Number);
  Unlink(entry);
  return owned;
}

void TBufferCache::MoveToTail(TCacheEntry* entry) {
  if (tail_ == entry) return;
  if (entry->Newer != nullptr || entry->Older != nullptr || head_ == entry) Unlink(entry);
  entry->Newer = tail_;
  if (tail_ != nullptr) tail_->Older = entry;
  tail_ = entry;
  if (head_ == nullptr) head_ = entry;
}

TCacheEntry* TBufferCache::Insert(std::unique_ptr<TCacheEntry> entry, uint32_t n, bool cold) {
  TCacheEntry* raw = entry.get();
  raw->Number = n;
  raw->Owner = this;
  if (!entries_.Insert(n, entry)) RaiseCorrupt();
  if (cold)
    MoveToTail(raw);
  else
    MoveToHead(raw);
  return raw;
}

bool TBufferCache::BeingRead(const TCacheEntry* entry) const {
  return reading_last_ != 0 && entry->Number >= reading_first_ && entry->Number <= reading_last_;
}

TCacheEntry* TBufferCache::EvictionCandidate() {
  // Second chance: a clean unpinned entry met from the tail that was used since it got there
  // loses its mark and goes to the head; the first one unmarked is the victim. A hit thus costs
  // setting a flag instead of relinking the list. The units of the read in progress are not
  // candidates: a cold read puts them at the tail, where they would evict each other.
  size_t budget = entries_.Size();
  for (TCacheEntry* entry = tail_; entry != nullptr && budget > 0; --budget) {
    TCacheEntry* newer = entry->Newer;
    if (!entry->Dirty && entry->PinCount == 0 && !BeingRead(entry)) {
      if (!entry->Referenced) return entry;
      entry->Referenced = false;
      MoveToHead(entry);
    }
    entry = newer;
  }
  // Every clean unpinned entry was marked: the oldest of them, unmarked now.
  for (TCacheEntry* entry = tail_; entry != nullptr; entry = entry->Newer) {
    if (!entry->Dirty && entry->PinCount == 0 && !BeingRead(entry)) return entry;
  }
  return nullptr;
}

std::unique_ptr<TCacheEntry> TBufferCache::TakeEntry() {
  if (entries_.Size() < capacity_) return pool_.Take();
  TCacheEntry* victim = EvictionCandidate();
  if (victim == nullptr && !owner_->TransactionLockHeld()) {
    if (!owner_->FlushForRoom()) Flush();
    victim = EvictionCandidate();
  }
  if (victim == nullptr) {
    // Nothing can go: grow. Inside a transaction every change stays until the commit, so the
    // cache grows by half again, and looking for a victim (a walk over the dirty entries)
    // happens a logarithmic number of times rather than once per few units.
    const uint32_t step =
        owner_->TransactionLockHeld() ? std::max(layout_.growth, capacity_ / 2) : layout_.growth;
    capacity_ += step;
    return pool_.Take();
  }
  std::unique_ptr<TCacheEntry> entry = Remove(victim);
  std::fill(entry->Buffer.begin(), entry->Buffer.end(), 0);
  entry->Number = 0;
  entry->Referenced = false;
  return entry;
}

void TBufferCache::Grow(std::vector<uint8_t>& buffer, size_t size) {
  if (buffer.size() < size) buffer.resize((size + 4095) / 4096 * 4096);
}

TCacheEntry* TBufferCache::Fetch(uint32_t n, bool readAhead, bool forward, uint32_t count) {
  if (n == 0 || n > next_number_) RaiseCorrupt();
  if (n == next_number_) {
    if (n > layout_.max_number || OffsetOf(n) + layout_.unit_size > layout_.max_file_size) {
      RaiseEngineError(VUZODE_TABLEFULL, {}, {}, {}, file_->FileName());
    }
    TCacheEntry* entry = Insert(TakeEntry(), n);
    Pin(entry);
    ++next_number_;
    owner_->HeaderChanged();
    return entry;
  }

  // Walks go forward in unit order: the slots a block ahead are fetched from memory meanwhile.
  entries_.Prefetch(n + TUnitMap::kRun);
  uint32_t probed = 0;
  for (TCacheEntry* entry = head_; entry != nullptr && probed < layout_.probe;
       entry = entry->Older, ++probed) {
    if (entry->Number == n) {
      if (!readAhead) entry->Referenced = true;
      Pin(entry);
      ++hits_;
      return entry;
    }
  }
  if (TCacheEntry* entry = Find(n)) {
    // A walk in file order (read-ahead) leaves the mark alone: passing over a unit once says
    // nothing about its use again, and marking every unit of a walk larger than the cache
    // would send the walk's units round the list instead of out of it.
    if (!readAhead) entry->Referenced = true;
    Pin(entry);
    ++hits_;
    return entry;
  }

  ++misses_;
  if (!owner_->BeforeMissRead()) return nullptr;
  uint32_t units = 1;
  uint32_t first = n;
  bool coldAround = false;
  if (readAhead) {
    units = count != 0 ? count : layout_.read_ahead;
    // More units than the cache holds would only evict each other.
    units = std::min({units, capacity_, forward ? next_number_ - n : n});
    units = std::min<uint32_t>(AtLeastOne(units), 0xFFFFFFFFu / layout_.unit_size);
    first = forward ? n : n - units + 1;
  } else if (layout_.whole_read > 1 && capacity_ >= next_number_ - 1) {
    // The whole file fits: what is read around n stays until it is used.
    first = (n - 1) / layout_.whole_read * layout_.whole_read + 1;
    units = std::min(layout_.whole_read, next_number_ - first);
  } else if (layout_.whole_read > 1 && entries_.Size() >= capacity_) {
    // A file larger than the cache: the units sharing n's 4 KiB of the file come with it (one
    // read instead of one per unit when their neighbours are wanted soon, as a change of many
    // scattered records does), and go in at the tail, so that unused they are the first to go;
    // n itself is in use and goes to the head.
    const uint32_t around =
        std::min(layout_.whole_read, AtLeastOne(kAroundReadBytes / layout_.unit_size));
    if (around > 1) {
      first = (n - 1) / around * around + 1;
      units = std::min(around, next_number_ - first);
      coldAround = true;
    }
  }
  // A walk in file order while the cache is full reads cold: its units go in at the tail and
  // the next such read takes them back first, so a walk larger than the cache recycles a few
  // entries instead of pushing out everything else (and, walked again, finds all but its
  // overflow still cached).
  const bool cold = coldAround || (readAhead && entries_.Size() >= capacity_);
  TCacheEntry* entry = ReadUnits(n, first, units, units > 1, cold);
  if (entry == nullptr || entry->Number != n) RaiseCorrupt();
  if (coldAround) MoveToHead(entry);
  return entry;
}

TCacheEntry* TBufferCache::ReadUnits(uint32_t n, uint32_t first, uint32_t count, bool stretch,
                                     bool cold) {
  const uint32_t unit = layout_.unit_size;
  const uint32_t bytes = count * unit;
  Grow(read_buffer_, bytes);
  // A stretch read around n may run past the end of the file: units this session added are
  // counted but not yet written. Only the units the file holds are taken, and n must be one
  // of them unless short reads are allowed.
  const bool shortAllowed = owner_->AllowShortRead();
  uint32_t held = count;
  {
    TAccessScope access(*file_);
    file_->Seek(OffsetOf(first));
    const uint32_t got = file_->Read(read_buffer_.data(), bytes, shortAllowed || stretch);
    // Units past the end of a file that is still being extended read as zeros.
    std::memset(read_buffer_.data() + got, 0, bytes - got);
    if (!shortAllowed) held = got / unit;
  }
  if (n - first >= held) return ReadUnits(n, n, 1, false, cold);
  reading_first_ = first;
  reading_last_ = first + count - 1;
  TCacheEntry* target = nullptr;
  try {
    for (uint32_t i = 0; i < count; ++i) {
      if (i >= held) break;
      const uint32_t number = first + i;
      const uint8_t* source = read_buffer_.data() + size_t{i} * unit;
      TCacheEntry* entry = Find(number);
      if (entry != nullptr) {
        // Invariant (3): a changed or used unit is newer than the file.
        if (entry->Dirty || entry->PinCount > 0) {
          if (number == n) {
            target = entry;
            Pin(target);
          }
          continue;
        }
      } else {
        entry = Insert(TakeEntry(), number, cold);
      }
      std::memcpy(entry->Buffer.data(), source, unit);
      owner_->DecodeUnit(entry->Buffer.data(), unit);
      // The wanted unit is pinned at once, so the units read after it cannot evict it.
      if (number == n) {
        target = entry;
        Pin(target);
      }
    }
  } catch (...) {
    reading_first_ = reading_last_ = 0;
    if (target != nullptr) Unpin(target);
    throw;
  }
  reading_first_ = reading_last_ = 0;
  if (target == nullptr) return nullptr;
  if (!cold) MoveToHead(target);
  return target;
}

void TBufferCache::PrefetchUnit(uint32_t n) const {
  if (n == 0 || n >= next_number_) return;
  if (const TCacheEntry* entry = entries_.Find(n)) {
    platform::PrefetchForRead(entry);
    platform::PrefetchForRead(reinterpret_cast<const char*>(entry) + 64);
  }
}

void TBufferCache::Unpin(TCacheEntry* entry) {
  if (entry->PinCount == 0) return;
  if (--entry->PinCount == 0) {
    // An entry pinned across a Discard is no longer counted.
    if (pinned_ > 0) --pinned_;
    if (entry->Dirty) List(entry);
  }
}

bool TBufferCache::Clean() const {
  if (layout_.tracks_changes) {
    if (pinned_ > 0) return false;
    return std::none_of(changed_.begin(), changed_.end(),
                        [](const TCacheEntry* entry) { return entry->Dirty; });
  }
  for (const TCacheEntry* entry = tail_; entry != nullptr; entry = entry->Newer)
    if (entry->Dirty || entry->PinCount > 0) return false;
  return true;
}

bool TBufferCache::Flush() {
  std::vector<TCacheEntry*> dirty;
  auto wanted = [&](const TCacheEntry* entry) {
    return entry->Dirty && entry->PinCount == 0 && !BeingRead(entry);
  };
  if (!layout_.tracks_changes) {
    for (TCacheEntry* entry = tail_; entry != nullptr; entry = entry->Newer)
      if (wanted(entry)) dirty.push_back(entry);
    if (dirty.empty()) return false;
    WriteRuns(dirty);
    return true;
  }
  // The list is taken whole; whatever is still changed afterwards (pinned, being read, or not
  // written because a write failed) goes back on it.
  std::vector<TCacheEntry*> listed;
  listed.swap(changed_);
  for (TCacheEntry* entry : listed)
    if (wanted(entry)) dirty.push_back(entry);
  auto relist = [&] {
    for (TCacheEntry* entry : listed) {
      entry->Listed = false;
      if (entry->Dirty) List(entry);
    }
  };
  try {
    if (!dirty.empty()) WriteRuns(dirty);
  } catch (...) {
    relist();
    throw;
  }
  relist();
  return !dirty.empty();
}

void TBufferCache::WriteRuns(std::vector<TCacheEntry*>& dirty) {
  std::sort(dirty.begin(), dirty.end(),
            [](const TCacheEntry* a, const TCacheEntry* b) { return a->Number < b->Number; });
  const uint32_t unit = layout_.unit_size;
  size_t run_start = 0;
  while (run_start < dirty.size()) {
    size_t run_end = run_start + 1;
    // Runs are cut at kMaxWriteRun bytes: one buffer of that size serves every write, where a
    // run as long as a large commit would allocate and fault in a buffer as large as the file.
    while (run_end < dirty.size() && dirty[run_end]->Number == dirty[run_end - 1]->Number + 1 &&
           (run_end - run_start + 1) * size_t{unit} <= std::max<size_t>(kMaxWriteRun, unit)) {
      ++run_end;
    }
    const size_t bytes = (run_end - run_start) * size_t{unit};
    Grow(write_buffer_, bytes);
    for (size_t i = run_start; i < run_end; ++i) {
      uint8_t* slot = write_buffer_.data() + (i - run_start) * unit;
      std::memcpy(slot, dirty[i]->Buffer.data(), unit);
      owner_->EncodeUnit(slot, unit);
    }
    {
      TAccessScope access(*file_);
      file_->Seek(OffsetOf(dirty[run_start]->Number));
      file_->Write(write_buffer_.data(), static_cast<uint32_t>(bytes));
    }
    ++writes_;
    for (size_t i = run_start; i < run_end; ++i) dirty[i]->Dirty = false;
    owner_->Written();
    run_start = run_end;
  }
}

void TBufferCache::Trim(uint32_t capacity) {
  capacity = AtLeastOne(capacity);
  if (entries_.Size() > capacity) {
    // The least recently used entries that may go, taken in one pass (after a flush when too
    // few are clean).
    const size_t excess = entries_.Size() - capacity;
    std::vector<TCacheEntry*> victims;
    auto collect = [&] {
      victims.clear();
      for (TCacheEntry* e = tail_; e != nullptr && victims.size() < excess; e = e->Newer) {
        if (!e->Dirty && e->PinCount == 0) victims.push_back(e);
      }
    };
    collect();
    if (victims.size() < excess) {
      if (!owner_->FlushForRoom()) Flush();
      collect();
    }
    for (TCacheEntry* victim : victims) pool_.Return(Remove(victim));
  }
  capacity_ = std::max<uint32_t>(static_cast<uint32_t>(entries_.Size()), capacity);
}

void TBufferCache::Discard() {
  head_ = tail_ = nullptr;
  entries_.ForEach([&](std::unique_ptr<TCacheEntry>& entry) {
    entry->Newer = entry->Older = nullptr;
    pool_.Return(std::move(entry));
  });
  entries_.Clear();
  changed_.clear();
  pinned_ = 0;
}
