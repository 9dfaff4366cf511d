// RebuildIndexes (see the header).
#include "db/engine/table/index_rebuild.h"

#include <string>
#include <vector>

#include "db/engine/table/data_table.h"
#include "db/storage/blob/blob_chain.h"
#include "db/storage/data/field_value.h"
#include "db/storage/index/btree.h"
#include "db/storage/index/index_header.h"
#include "db/storage/index/text_index.h"

namespace {

// The text of a string or memo field of record, for the text index.
std::string TextOf(TDataTable& table, TConstRecordImage image, const FieldDescriptor& field) {
  if (field.Type == kFieldString) {
    std::string text;
    if (GetFieldString(image, field, text)) return text;
    return {};
  }
  TBlobReference blob;
  if (!GetFieldBlob(image, field, blob) || blob.FirstBlock == 0 || !table.HasBlobFile()) return {};
  const std::vector<uint8_t> bytes = LoadChain(table.BlobFile(), blob.FirstBlock, blob.Revision);
  return std::string(bytes.begin(), bytes.end());
}

// The record n, fetched again when a change check asked to start over.
TRecord Fetch(TDataFile& data, uint32_t n) {
  for (;;) {
    TRecord record = data.FetchRecord(n, true, true);
    if (record.Valid()) return record;
  }
}

}  // namespace

void RebuildIndexes(TDataTable& table) {
  TDataFile& data = table.DataFile();
  TIndexFile& index = table.IndexFile();
  const IndexDescriptor& textSlot = index.Descriptor(kTextSlot);
  const bool hasText = textSlot.FieldCount > 0;
  const TTextIndexParameters parameters =
      hasText ? ReadTextIndexParameters(index) : TTextIndexParameters::Defaults();

  index.EmptyFile();
  if (hasText) WriteTextIndexParameters(index, parameters);

  std::vector<int> slots;
  if (!index.NoPrimaryIndex() && index.Descriptor(kPrimarySlot).KeyLength != 0) {
    slots.push_back(kPrimarySlot);
  }
  for (int slot = 1; slot <= index.Header().SecondaryIndexCount; ++slot) slots.push_back(slot);

  IndexKey key;
  int32_t active = 0;
  const uint32_t count = data.RecordCount();
  for (uint32_t n = 1; n <= count; ++n) {
    TRecord record = Fetch(data, n);
    try {
      const TConstRecordImage image = record.Image();
      const int32_t number = static_cast<int32_t>(n);
      EncodeDeletedKey(record.Status(), record.RowId(), key);
      TBTree(index, kDeletedSlot).InsertKey(key.data(), number);
      if (!record.Deleted()) {
        ++active;
        for (int slot : slots) {
          TBTree tree(index, slot);
          EncodeKey(tree.Layout(), image, key);
          tree.InsertKey(key.data(), number);
        }
        for (size_t k = 0; hasText && k < textSlot.FieldCount; ++k) {
          const FieldDescriptor& field = data.Descriptor(textSlot.FieldNumbers[k]);
          AddTextKeys(index, parameters, field.FieldNumber, TextOf(table, image, field),
                      record.RowId(), number);
        }
      }
    } catch (...) {
      data.Unpin(record);
      throw;
    }
    data.Unpin(record);
  }
  index.SetActiveRecordCount(active);
  index.MarkHeaderChanged();
}
