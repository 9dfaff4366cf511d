// Record changes of any table made at the storage layer under the table's write lock, keeping
// every index in step as record changes through a cursor will: appending a whole record image
// (reusing the head of the deleted chain, whose row-id key then becomes the new record's) and
// deleting a record (its keys removed, its row-id key given the deleted status, its slot
// pushed onto the deleted chain). Both write through unless the table is in a transaction or
// exclusive. Used by the cursor tests and by engine_helper.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "db/engine/table/data_table.h"
#include "db/storage/index/btree.h"
#include "db/storage/index/index_header.h"

namespace engine_test {

// The slots of the table's indexes over fields: the primary one when it has fields, then the
// secondary ones.
inline std::vector<int> KeyedSlots(TIndexFile& index) {
  std::vector<int> slots;
  if (!index.NoPrimaryIndex() && index.Descriptor(kPrimarySlot).KeyLength > 0) {
    slots.push_back(kPrimarySlot);
  }
  for (int s = 1; s <= index.Header().SecondaryIndexCount; ++s) slots.push_back(s);
  return slots;
}

inline TRecord FetchPinned(TDataFile& data, uint32_t n) {
  TRecord record;
  do {
    record = data.FetchRecord(n);
  } while (!record.Valid());
  return record;
}

inline void FinishChange(TDataTable& table) {
  table.IndexFile().MarkHeaderChanged();
  table.DataFile().MarkHeaderChanged();
  if (!table.InTransaction() && !table.Exclusive()) table.FlushBuffers();
}

// Appends the fields of image (a whole record image of the table's size) with the next row id.
// Returns the record number and the row id.
inline std::pair<uint32_t, int32_t> AppendImage(TDataTable& table, std::span<const uint8_t> image) {
  table.BeginWrite();
  TDataFile& data = table.DataFile();
  TIndexFile& index = table.IndexFile();
  const uint32_t reused = static_cast<uint32_t>(data.FirstFreeRecord());
  int32_t reusedRowId = 0;
  if (reused != 0) {
    TRecord old = FetchPinned(data, reused);
    reusedRowId = old.RowId();
    data.Unpin(old);
  }
  TRecord record;
  do {
    record = data.AllocateRecord();
  } while (!record.Valid());
  const uint32_t n = record.Number();
  record.CopyFields(image);
  record.SetRowId(data.NextRowId());
  IndexKey key;
  for (int slot : KeyedSlots(index)) {
    TBTree tree(index, slot);
    EncodeKey(tree.Layout(), record.Image(), key);
    tree.InsertKey(key.data(), static_cast<int32_t>(n));
  }
  TBTree rowIds(index, kDeletedSlot);
  if (n == reused) {
    EncodeDeletedKey(kRecordDeleted, reusedRowId, key);
    rowIds.DeleteKey(key.data());
  }
  EncodeDeletedKey(kRecordActive, record.RowId(), key);
  rowIds.InsertKey(key.data(), static_cast<int32_t>(n));
  const int32_t rowId = record.RowId();
  index.IncrementActiveRecordCount();
  data.Unpin(record);
  FinishChange(table);
  table.EndWrite();
  return {n, rowId};
}

// Deletes the active record n.
inline void DeleteRecordAt(TDataTable& table, uint32_t n) {
  table.BeginWrite();
  TDataFile& data = table.DataFile();
  TIndexFile& index = table.IndexFile();
  TRecord record = FetchPinned(data, n);
  IndexKey key;
  for (int slot : KeyedSlots(index)) {
    TBTree tree(index, slot);
    EncodeKey(tree.Layout(), record.Image(), key);
    tree.DeleteKey(key.data());
  }
  TBTree rowIds(index, kDeletedSlot);
  EncodeDeletedKey(kRecordActive, record.RowId(), key);
  rowIds.DeleteKey(key.data());
  EncodeDeletedKey(kRecordDeleted, record.RowId(), key);
  rowIds.InsertKey(key.data(), static_cast<int32_t>(n));
  data.FreeRecord(record);
  data.Unpin(record);
  index.DecrementActiveRecordCount();
  FinishChange(table);
  table.EndWrite();
}

}  // namespace engine_test
