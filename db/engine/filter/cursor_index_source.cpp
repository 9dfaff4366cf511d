// TCursorIndexSource (see cursor_index_source.h).
#include "db/engine/filter/cursor_index_source.h"

#include "db/storage/index/index_header.h"

bool TCursorIndexSource::SelectIndexLedBy(uint16_t fieldNo, bool caseInsensitive, bool anyCase) {
  TIndexFile& index = table_.IndexFile();
  const bool primary = !index.NoPrimaryIndex() && index.Descriptor(kPrimarySlot).KeyLength > 0;
  for (int slot = primary ? kPrimarySlot : 1; slot <= index.Header().SecondaryIndexCount; ++slot) {
    const TKeyLayout& layout = index.Layout(slot);
    if (layout.Fields.empty() || layout.Fields[0].FieldNumber != fieldNo) continue;
    if (!anyCase && index.Descriptor(slot).CaseInsensitive != caseInsensitive) continue;
    slot_ = slot;
    return true;
  }
  return false;
}

uint16_t TCursorIndexSource::ActiveKeyLength() {
  return slot_ < 0 ? 0 : table_.IndexFile().Descriptor(slot_).KeyLength;
}

int64_t TCursorIndexSource::TotalRecordCount() {
  return table_.IndexFile().ActiveRecordCount();
}

int64_t TCursorIndexSource::CountKeyRange(uint8_t op, const TExpToken& column,
                                          const TExpToken* constant, int32_t partialLength,
                                          bool noCase, bool count) {
  (void)column;  // the index's first field is the column
  TRankRange range;
  if (!Range(op, constant, nullptr, partialLength, noCase, range, count)) return -1;
  return count ? range.Count() : 0;
}

bool TCursorIndexSource::InTextIndex(uint16_t fieldNo) {
  const IndexDescriptor& text = table_.IndexFile().Descriptor(kTextSlot);
  for (size_t i = 0; i < text.FieldCount && i < text.FieldNumbers.size(); ++i) {
    if (text.FieldNumbers[i] == fieldNo) return true;
  }
  return false;
}

bool TCursorIndexSource::SelectFor(const TExpToken& operand, bool noCase) {
  bool caseInsensitive = false;
  const TExpToken* column = ServableColumn(operand, noCase, caseInsensitive);
  return column != nullptr &&
         SelectIndexLedBy(column->FieldNo, caseInsensitive, column->ValueType != kFieldString);
}

bool TCursorIndexSource::Range(uint8_t op, const TExpToken* constant, const TExpToken* high,
                               int32_t partialLength, bool noCase, TRankRange& range, bool count) {
  if (slot_ < 0) return false;
  return BuildKeyRange(table_.IndexFile(), slot_, table_.DataFile().RecordSize(), op, constant,
                       high, partialLength, noCase, count, range);
}

void TCursorIndexSource::Collect(const TRankRange& range, TRecordsBitmap& bitmap) {
  for (int i = 0; i < range.Parts; ++i) {
    CollectRanks(table_.IndexFile(), slot_, range.First[i], range.Last[i], bitmap);
  }
}
