// The debug checker of an index file: walks every tree and every free chain and verifies the
// invariants listed in btree.cpp and free_pages.cpp. Tests call it after every change; the fuzz
// target uses it to walk damaged files.
#pragma once

#include <cstdint>

class TIndexFile;

struct TIndexCheckOptions {
  // Every page 1 .. NextPageNumber - 1 must be in a tree, a free chain or the text index's
  // parameter chain (true for files only this code has written).
  bool RequireAllPagesAccounted = false;
};

// Raises VUZODE_INDEXCORRUPT, with the broken invariant as the error's detail, at the first
// failure: key order within and across pages, separators equal to their child's first key,
// subtree counts, fill, page kinds and depth, level links, free pages that are free, and no
// page reached twice. Returns the number of pages visited.
int64_t CheckIndexFile(TIndexFile& file, const TIndexCheckOptions& options = {});
// The same for the tree and free chain of one slot only.
int64_t CheckIndexSlot(TIndexFile& file, int slot);
