// Sort keys through the index layer's encoder and comparison (sort_key.h).
#include "db/storage/sort/sort_key.h"

#include <algorithm>
#include <cstring>

#include "db/engine/errors/engine_error.h"
#include "db/storage/le_codec.h"

namespace {

// A layout with the table's language settings and no fields yet.
TKeyLayout EmptyLayout(bool caseInsensitive, uint16_t languageId, uint16_t sortId) {
  TKeyLayout layout;
  layout.Unique = true;  // the row id is added once, after all chunks
  layout.CaseInsensitive = caseInsensitive;
  layout.LanguageId = languageId;
  layout.SortId = sortId;
  layout.InvertsFields = languageId == 0;
  return layout;
}

}  // namespace

TSortKeyLayout::TSortKeyLayout(std::span<const TSortField> fields, uint16_t recordSize,
                               bool caseInsensitive, uint16_t languageId, uint16_t sortId) {
  if (fields.size() > kMaxSortFields) RaiseEngineError(VUZODE_FLDLIMIT);
  compare_ = EmptyLayout(caseInsensitive, languageId, sortId);
  TKeyLayout chunk = EmptyLayout(caseInsensitive, languageId, sortId);
  uint32_t chunkStart = 0;
  auto closeChunk = [&] {
    if (chunk.Fields.empty()) return;
    chunk.KeyLength = static_cast<uint16_t>(fields_length_ - chunkStart);
    chunks_.push_back({chunk, chunkStart});
    chunk.Fields.clear();
    chunkStart = fields_length_;
  };
  for (const TSortField& s : fields) {
    const FieldDescriptor& d = s.Field;
    const uint16_t stored = StoredLengthOf(d.Type, d.Size);
    const bool autoIncrement = d.IsAutoIncrement();
    const size_t end = autoIncrement ? kRowIdOffset + 4u : d.Offset + 1u + stored;
    if (!IsValidFieldType(d.Type) || end > recordSize ||
        (!autoIncrement && d.Offset < kRecordHeaderSize)) {
      RaiseEngineError(VUZODE_INVALIDFLDTYPE, {}, {}, {}, {}, d.Name, {}, "sort field");
    }
    TKeyField k;
    k.Type = d.Type;
    k.FieldNumber = d.FieldNumber;
    k.RecordOffset = d.Offset;
    k.StoredLength = stored;
    k.KeyLength = FieldKeyLength(d.Type, stored);
    k.Descending = s.Descending;
    k.AutoIncrement = autoIncrement;
    const uint32_t width = k.KeyLength + 1u;
    if (fields_length_ + width - chunkStart > kMaxKeyLength) closeChunk();
    // Distinct fields fit a record, so their key is shorter than 65536 bytes; only a list that
    // names fields again can pass the 16-bit offsets of the comparison layout.
    if (fields_length_ + width + 4u > 0xFFFF) RaiseEngineError(VUZODE_FLDLIMIT);
    k.KeyOffset = static_cast<uint16_t>(fields_length_ - chunkStart);
    chunk.Fields.push_back(k);
    k.KeyOffset = static_cast<uint16_t>(fields_length_);
    compare_.Fields.push_back(k);
    fields_length_ += width;
  }
  closeChunk();
  compare_.KeyLength = static_cast<uint16_t>(Length());
  // As for an index: byte order unless a locale has a string to collate or a field to reverse.
  compare_.Bytewise =
      languageId == 0 ||
      std::none_of(compare_.Fields.begin(), compare_.Fields.end(),
                   [](const TKeyField& f) { return f.Type == kFieldString || f.Descending; });
}

void TSortKeyLayout::Encode(TConstRecordImage record, uint8_t* out) const {
  for (const TChunk& c : chunks_) {
    EncodeKey(c.Layout, record, scratch_);
    std::memcpy(out + c.Offset, scratch_.data(), c.Layout.KeyLength);
  }
  EncodeRowIdKey(GetI32(record.data() + kRowIdOffset), out + fields_length_);
}
