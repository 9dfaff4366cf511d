// Index definitions of an open table: adding one secondary index with its keys (AddIndex),
// deleting one index and its pages (DeleteIndex), and freeing the pages of one index's tree
// (FreeIndexPages), which restructuring also uses for the indexes it redefines.
//
// Invariants:
//   (1) AddIndex never deletes a record: a unique index whose key occurs twice is taken out
//       again, pages and slot, and VUZODE_KEYVIOL raised; any other failure while the keys are
//       built takes it out the same way before passing on.
//   (2) Pages are freed child before parent, so a tree interrupted half-way never holds a page
//       that is already on a free chain.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "db/storage/index/index_descriptor.h"

class TDataCursor;
class TIndexFile;

// Given a percentage; answers whether to go on (see TRestructureCallbacks).
using TPercentCallback = std::function<bool(int percent)>;

// Progress in the session's steps: a value is reported when it has advanced by at least step
// since the last one; Finish reports 100 unless that was the last value. Each answers the
// callback's answer (true when nothing was reported).
class TProgressSteps {
 public:
  TProgressSteps(const TPercentCallback& callback, uint16_t step)
      : callback_(callback), step_(step == 0 ? 100 : step) {}
  bool Record(uint32_t n, uint32_t highest);
  bool Finish();

 private:
  bool Report(int percent) {
    last_ = percent;
    return callback_(percent);
  }
  const TPercentCallback& callback_;
  int step_;
  int last_ = 0;
};

// Adds definition as a secondary index of the cursor's table and inserts every active
// record's key. Its field count is the number of field numbers up to the first 0 (at most
// 16); the key length is recomputed by the index file. The cursor ends before its first
// record. Raises VUZODE_NOCURRREC (closed), VUZODE_NEEDEXCLACCESS, VUZODE_OSEACCES (read-only),
// the index file's definition codes (VUZODE_INVALIDKEY, VUZODE_INDEXEXISTS, ...), and
// VUZODE_KEYVIOL with the index name (1). serverFlag only matters to a server. The index is
// built to the end whatever progress answers.
void AddIndex(TDataCursor& cursor, const IndexDescriptor& definition, bool serverFlag = false,
              const TPercentCallback& progress = {});

// Deletes the index name (trimmed, any letter case; empty: the primary index): frees its pages
// and, with removeSlot, removes its slot (later slots move down); without, the slot stays
// with no pages. The cursor then reads in primary index order (record order without one),
// before its first record. Raises VUZODE_NEEDEXCLACCESS, VUZODE_OSEACCES,
// VUZODE_INVALIDINDEXNAME.
void DeleteIndex(TDataCursor& cursor, std::string_view name, bool removeSlot);

// Frees every page of slot's tree, children before parents (2), and sets its root to 0.
void FreeIndexPages(TIndexFile& index, int slot);
