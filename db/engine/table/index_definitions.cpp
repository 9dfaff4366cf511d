// AddIndex, DeleteIndex and FreeIndexPages (see the header).
#include "db/engine/table/index_definitions.h"

#include <cmath>
#include <vector>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/engine/session/table_file_names.h"
#include "db/storage/index/btree.h"
#include "db/storage/index/index_header.h"

namespace {

void RequireExclusiveWritable(TDataCursor& cursor) {
  if (!cursor.Opened()) cursor.CheckCode(VUZODE_NOCURRREC);
  if (!cursor.Exclusive()) cursor.CheckCode(VUZODE_NEEDEXCLACCESS);
  if (cursor.ReadOnly() || cursor.Table()->ReadOnly()) cursor.CheckCode(VUZODE_OSEACCES);
}

// Inserts the key of every active record into slot; false at the first key a unique index
// already holds.
bool InsertKeys(TDataTable& table, int slot, const TPercentCallback& progress) {
  TDataFile& data = table.DataFile();
  TIndexFile& index = table.IndexFile();
  const bool unique = index.Descriptor(slot).Unique;
  TProgressSteps steps(progress, table.Session().ProgressPercentStep());
  const uint32_t highest = data.RecordCount();
  IndexKey key;
  for (uint32_t n = 1; n <= highest; ++n) {
    TRecord record = data.FetchRecordSettled(n, true);
    bool duplicate = false;
    try {
      if (!record.Deleted()) {
        TBTree tree(index, slot);
        EncodeKey(tree.Layout(), record.Image(), key);
        int32_t found = 0;
        duplicate = unique && tree.Lookup(key.data(), found);
        if (!duplicate) tree.InsertKey(key.data(), static_cast<int32_t>(n));
      }
    } catch (...) {
      data.Unpin(record);
      throw;
    }
    data.Unpin(record);
    if (duplicate) return false;
    steps.Record(n, highest);
  }
  steps.Finish();
  return true;
}

void FreeSubtree(TIndexFile& index, int slot, int32_t n) {
  TPage* page = index.FetchPage(slot, n);
  if (!page->IsLeaf()) {
    std::vector<int32_t> children;
    children.reserve(static_cast<size_t>(page->Count()));
    for (int i = 0; i < page->Count(); ++i) children.push_back(page->Reference(i));
    for (int32_t child : children) FreeSubtree(index, slot, child);
    page = index.FetchPage(slot, n);
  }
  index.FreePage(slot, page);
}

}  // namespace

bool TProgressSteps::Record(uint32_t n, uint32_t highest) {
  if (!callback_ || highest == 0) return true;
  const int percent = static_cast<int>(std::lround(100.0 * n / highest));
  return percent - last_ < step_ || Report(percent);
}

bool TProgressSteps::Finish() {
  return !callback_ || last_ == 100 || Report(100);
}

void FreeIndexPages(TIndexFile& index, int slot) {
  const int32_t root = index.Descriptor(slot).RootPage;
  if (root == 0) return;
  FreeSubtree(index, slot, root);
  index.SetRootPage(slot, 0);
  index.MarkHeaderChanged();
}

void AddIndex(TDataCursor& cursor, const IndexDescriptor& definition, bool /*serverFlag*/,
              const TPercentCallback& progress) {
  RequireExclusiveWritable(cursor);
  TDataTable& table = *cursor.Table();
  TIndexFile& index = table.IndexFile();
  IndexDescriptor d = definition;
  uint8_t count = 0;
  while (count < kMaxIndexFields && d.FieldNumbers[count] != 0) ++count;
  d.FieldCount = count;
  // Without a field the key is empty, also when a non-unique index would add its row id.
  if (count == 0) table.Raise(VUZODE_INVALIDKEY, {}, TrimmedText(d.Name));
  index.AddSecondaryIndex(d);
  const int slot = index.Header().SecondaryIndexCount;
  const std::string name = index.Descriptor(slot).Name;
  // The new index is the last slot: taking it out again moves no other index (1).
  auto takeOut = [&] {
    FreeIndexPages(index, slot);
    index.MoveFreePages(slot, kDeletedSlot);
    index.RemoveIndex(slot, true);
    table.FlushBuffers(false, true);
  };
  bool built = false;
  try {
    built = InsertKeys(table, slot, progress);
    if (!built) takeOut();
  } catch (...) {
    try {
      takeOut();
    } catch (const EVUZODEEngineError&) {
      // The first failure is the one reported; the table is rebuilt at its next open if its
      // index file cannot be put right here.
    }
    throw;
  }
  if (!built) table.Raise(VUZODE_KEYVIOL, {}, name);
  table.FlushBuffers(false, true);
  cursor.SetToBegin();
}

void DeleteIndex(TDataCursor& cursor, std::string_view name, bool removeSlot) {
  RequireExclusiveWritable(cursor);
  TDataTable& table = *cursor.Table();
  TIndexFile& index = table.IndexFile();
  const std::string wanted = TrimmedText(name);
  int slot = -1;
  for (int s = 0; s <= index.Header().SecondaryIndexCount && slot < 0; ++s) {
    if (SameTableName(index.Descriptor(s).Name, wanted)) slot = s;
  }
  if (slot < 0) table.Raise(VUZODE_INVALIDINDEXNAME, {}, wanted);
  // The cursor leaves the index before its pages go.
  cursor.SetIndexNumber(kRecordOrder);
  FreeIndexPages(index, slot);
  // A slot that goes away takes its free chain with it: its pages go to the row-id index's.
  if (removeSlot && slot != kPrimarySlot) index.MoveFreePages(slot, kDeletedSlot);
  index.RemoveIndex(slot, removeSlot);
  table.FlushBuffers(false, true);
  if (index.NoPrimaryIndex()) {
    cursor.SetIndexNumber(kRecordOrder);
  } else {
    cursor.SetIndexName("");
  }
  cursor.SetToBegin();
}
