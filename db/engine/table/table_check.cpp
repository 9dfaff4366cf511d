// CheckTable (see the header).
#include "db/engine/table/table_check.h"

#include "db/engine/errors/engine_error.h"
#include "db/engine/table/data_table.h"
#include "db/storage/blob/blob_chain.h"
#include "db/storage/blob/blob_check.h"
#include "db/storage/index/btree.h"
#include "db/storage/index/index_checker.h"
#include "db/storage/index/index_header.h"
#include "db/storage/index/text_index.h"

namespace {

std::string Describe(const EVUZODEEngineError& e) {
  std::string text = e.what();
  if (!e.ContextDetail().empty()) text += " (" + e.ContextDetail() + ")";
  return text;
}

}  // namespace

std::vector<std::string> CheckTable(TDataTable& table) {
  std::vector<std::string> problems;
  TDataFile& data = table.DataFile();
  TIndexFile& index = table.IndexFile();
  try {
    CheckIndexFile(index);
  } catch (const EVUZODEEngineError& e) {
    problems.push_back("index file: " + Describe(e));
    return problems;
  }
  std::vector<int> slots;
  if (!index.NoPrimaryIndex() && index.Descriptor(kPrimarySlot).KeyLength != 0) {
    slots.push_back(kPrimarySlot);
  }
  for (int slot = 1; slot <= index.Header().SecondaryIndexCount; ++slot) slots.push_back(slot);
  std::vector<TBlobReference> values;
  int64_t active = 0;
  const IndexDescriptor& text = index.Descriptor(kTextSlot);
  const bool hasText = text.FieldCount > 0;
  const TTextIndexParameters parameters =
      hasText ? ReadTextIndexParameters(index) : TTextIndexParameters::Defaults();
  int64_t textKeys = 0;
  try {
    IndexKey key;
    const uint32_t count = data.RecordCount();
    for (uint32_t n = 1; n <= count; ++n) {
      TRecord record = data.FetchRecordSettled(n, true);
      const TConstRecordImage image = record.Image();
      const uint8_t status = record.Status();
      const int32_t rowId = record.RowId();
      int32_t found = 0;
      EncodeDeletedKey(status, rowId, key);
      if (!TBTree(index, kDeletedSlot).Lookup(key.data(), found) ||
          found != static_cast<int32_t>(n)) {
        problems.push_back("record " + std::to_string(n) + ": no row-id key");
      }
      if (!record.Deleted()) {
        ++active;
        for (int slot : slots) {
          TBTree tree(index, slot);
          EncodeKey(tree.Layout(), image, key);
          if (!tree.Lookup(key.data(), found) || found != static_cast<int32_t>(n)) {
            problems.push_back("record " + std::to_string(n) + ": no key in index " +
                               (slot == 0 ? std::string("primary") : index.Descriptor(slot).Name));
          }
        }
        for (const FieldDescriptor& f : data.Descriptors()) {
          TBlobReference ref;
          if (f.Type == kFieldBlob && GetFieldBlob(image, f, ref) && ref.FirstBlock != 0) {
            values.push_back(ref);
          }
        }
        // The text index holds exactly the words of the record's text fields.
        for (size_t k = 0; hasText && k < text.FieldCount; ++k) {
          const FieldDescriptor& f = data.Descriptor(text.FieldNumbers[k]);
          std::string words;
          TBlobReference ref;
          if (f.Type == kFieldString) {
            GetFieldString(image, f, words);
          } else if (GetFieldBlob(image, f, ref) && ref.FirstBlock != 0 && table.HasBlobFile()) {
            const std::vector<uint8_t> bytes =
                LoadChain(table.BlobFile(), ref.FirstBlock, ref.Revision);
            words.assign(bytes.begin(), bytes.end());
          }
          const TKeyLayout& layout = index.Layout(kTextSlot);
          for (const std::string& word :
               TextIndexWords(words, parameters, layout.LanguageId, layout.SortId)) {
            EncodeTextKey(f.FieldNumber, word, rowId, key);
            ++textKeys;
            if (!TBTree(index, kTextSlot).Lookup(key.data(), found)) {
              problems.push_back("record " + std::to_string(n) + ": word " + word +
                                 " missing from the text index");
            }
          }
        }
      }
      data.Unpin(record);
    }
    for (int slot : slots) {
      const int64_t keys = TBTree(index, slot).Count();
      if (keys != active) {
        problems.push_back(
            "index " + (slot == 0 ? std::string("primary") : index.Descriptor(slot).Name) + ": " +
            std::to_string(keys) + " keys for " + std::to_string(active) + " records");
      }
    }
    if (hasText && TBTree(index, kTextSlot).Count() != textKeys) {
      problems.push_back("text index: " + std::to_string(TBTree(index, kTextSlot).Count()) +
                         " keys for " + std::to_string(textKeys) + " words");
    }
    const int64_t rows = TBTree(index, kDeletedSlot).Count();
    if (rows != static_cast<int64_t>(count)) {
      problems.push_back("row-id index: " + std::to_string(rows) + " keys for " +
                         std::to_string(count) + " records");
    }
    if (index.ActiveRecordCount() != active) {
      problems.push_back("record count " + std::to_string(index.ActiveRecordCount()) + ", " +
                         std::to_string(active) + " active records");
    }
  } catch (const EVUZODEEngineError& e) {
    problems.push_back("records: " + Describe(e));
    return problems;
  }
  if (table.HasBlobFile()) {
    try {
      for (const std::string& p : CheckBlobChains(table.BlobFile(), values)) {
        problems.push_back("BLOB file: " + p);
      }
    } catch (const EVUZODEEngineError& e) {
      problems.push_back("BLOB file: " + Describe(e));
    }
  }
  return problems;
}
