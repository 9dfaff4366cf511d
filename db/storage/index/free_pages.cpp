// Page allocation and the per-index free page chains.
//
// A free page has entry count 0 and its right link to the next free page of the same index
// (0 at the end of the chain); FirstFreePage of the index's descriptor is the head.
//
// Invariants:
//   (1) A page is handed out only when it is free: AllocatePage refuses a chain head that holds
//       entries, whose link points at itself or outside the file, or that is cached for another
//       index, so a damaged or looping chain ends in VUZODE_INDEXCORRUPT, never in one page
//       serving two places.
//   (2) NextPageNumber grows only by AllocatePage, and stays within 2000000000 pages and
//       4000000000 bytes (VUZODE_TABLEFULL).
#include "db/engine/errors/engine_error.h"
#include "db/storage/index/index_file.h"

TPage* TIndexFile::AllocatePage(int slot) {
  IndexDescriptor& d = header_.Slots[slot];
  const TPageFormat format = PageFormat(slot);
  if (format.KeyLength == 0 || format.KeyLength > kMaxKeyLength) {
    RaiseIndexCorrupt(slot, "index without key length");
  }
  TPage* page = nullptr;
  if (d.FirstFreePage != 0) {
    const int32_t n = d.FirstFreePage;
    page = FetchPage(slot, n);
    if (!page->Free) RaiseIndexCorrupt(slot, "free chain reaches a page in use");
    if (page->Right == n) RaiseIndexCorrupt(slot, "free chain loops");
    d.FirstFreePage = page->Right;
    page->Reset(static_cast<uint32_t>(n), slot, format);
  } else {
    const int64_t n = header_.NextPageNumber;
    if (static_cast<uint64_t>(n) + 1 > kMaxIndexPages ||
        (n + 1) * static_cast<int64_t>(kIndexPageSize) > kMaxIndexFileBytes) {
      RaiseIndexError(VUZODE_TABLEFULL, slot);
    }
    header_.NextPageNumber = static_cast<int32_t>(n + 1);
    std::unique_ptr<TPage> fresh;
    if (!pool_.empty()) {
      fresh = std::move(pool_.back());
      pool_.pop_back();
    } else {
      fresh = std::make_unique<TPage>();
    }
    fresh->Reset(static_cast<uint32_t>(n), slot, format);
    page = fresh.get();
    Attach(std::move(fresh));
  }
  header_.HeaderDirty = true;
  page->Dirty = true;
  return page;
}

void TIndexFile::FreePage(int slot, TPage* page) {
  if (page->Slot() != slot) RaiseIndexCorrupt(slot, "page freed by another index");
  IndexDescriptor& d = header_.Slots[slot];
  page->MakeFree();
  page->Right = d.FirstFreePage;
  d.FirstFreePage = static_cast<int32_t>(page->Number());
  header_.HeaderDirty = true;
}

void TIndexFile::MoveFreePages(int from, int to) {
  const TPageFormat format = PageFormat(to);
  int64_t moved = 0;
  while (header_.Slots[from].FirstFreePage != 0) {
    // Each step takes one page off the chain, so a longer walk than the file has pages loops.
    if (++moved > header_.NextPageNumber) RaiseIndexCorrupt(from, "free chain loops");
    TPage* page = AllocatePage(from);
    page->Reset(page->Number(), to, format);
    FreePage(to, page);
  }
}
