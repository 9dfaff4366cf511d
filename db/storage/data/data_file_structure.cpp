// Structure checks of a data file (see data_file_structure.h for what each guarantees).
#include "db/storage/data/data_file_structure.h"

#include <cctype>
#include <set>
#include <string>

#include "db/engine/errors/engine_error.h"

namespace {

[[noreturn]] void Corrupt(std::string_view table, std::string_view field, std::string_view why) {
  RaiseEngineError(VUZODE_HEADERCORRUPT, {}, {}, {}, table, field, {}, why);
}

bool ValidNameStart(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (c >= 128 && c <= 254);
}

std::string FoldedName(std::string_view name) {
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  std::string folded(name);
  for (char& c : folded) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return folded;
}

}  // namespace

void CheckHeaderBounds(const TDataFileHeader& h, int64_t fileSize, bool exactSize,
                       std::string_view table) {
  if (h.FormatVersion != kDataFormatVersion) {
    RaiseEngineError(VUZODE_OLDVERSION, {}, {}, {}, table);
  }
  if (h.FieldCount > kMaxFieldCount) Corrupt(table, {}, "field count");
  if (h.RecordSize < kRecordHeaderSize) Corrupt(table, {}, "record size");
  if (h.BlobFieldCount < 0 || h.BlobFieldCount > static_cast<int>(kMaxBlobFieldCount) ||
      h.BlobFieldCount > h.FieldCount) {
    Corrupt(table, {}, "BLOB field count");
  }
  if (h.Encrypted > 1) Corrupt(table, {}, "encryption flag");
  if (h.NextRecordNumber < 1 || h.NextRecordNumber - 1 > kMaxRecordCount) {
    Corrupt(table, {}, "record count");
  }
  const int64_t records = h.NextRecordNumber - 1;
  const int64_t area = fileSize - FirstRecordOffset(h.FieldCount);
  const int64_t needed = records * h.RecordSize;
  if (area < needed || (exactSize && area != needed)) Corrupt(table, {}, "record count");
  if (h.FirstFreeRecord < 0 || h.FirstFreeRecord > records) {
    Corrupt(table, {}, "deleted record chain");
  }
  if (h.LastRowId < 0) Corrupt(table, {}, "row id");
}

void CheckDescriptorBounds(std::vector<FieldDescriptor>& descriptors, uint16_t recordSize,
                           std::string_view table) {
  for (FieldDescriptor& d : descriptors) {
    if (!IsValidFieldType(d.Type)) Corrupt(table, d.Name, "field type");
    if (IsSizedFieldType(d.Type) ? (d.Size < 1 || d.Size > kMaxSizedFieldSize) : d.Size != 0) {
      Corrupt(table, d.Name, "field size");
    }
    if (d.Type == kFieldBcd ? d.Scale > kMaxBcdScale : d.Scale != 0) {
      Corrupt(table, d.Name, "field scale");
    }
    d.StoredLength = static_cast<uint8_t>(StoredLengthOf(d.Type, d.Size));
    if (d.IsAutoIncrement()) {
      if (d.Offset != kRowIdOffset) Corrupt(table, d.Name, "field offset");
      continue;
    }
    if (d.Offset < kRecordHeaderSize ||
        uint32_t{d.Offset} + 1 + d.StoredLength > uint32_t{recordSize}) {
      Corrupt(table, d.Name, "field offset");
    }
  }
}

uint64_t ComputeRecordSize(const std::vector<FieldDescriptor>& descriptors) {
  uint64_t size = kRecordHeaderSize;
  for (const FieldDescriptor& d : descriptors) {
    if (d.IsAutoIncrement() || d.Computed) continue;
    size += uint64_t{StoredLengthOf(d.Type, d.Size)} + 1;
  }
  return size;
}

void VerifyDescriptorLayout(std::vector<FieldDescriptor>& descriptors, uint16_t recordSize,
                            const TFieldTextCheck& textCheck, std::string_view table) {
  CheckDescriptorBounds(descriptors, recordSize, table);
  std::set<std::string> names;
  uint32_t running = kRecordHeaderSize;
  for (size_t i = 0; i < descriptors.size(); ++i) {
    const FieldDescriptor& d = descriptors[i];
    if (d.Name.empty() || d.Name.size() > kMaxFieldNameLength ||
        !ValidNameStart(static_cast<uint8_t>(d.Name[0]))) {
      Corrupt(table, d.Name, "field name");
    }
    if (!names.insert(FoldedName(d.Name)).second) Corrupt(table, d.Name, "duplicate field name");
    // Field numbers equal positions, so a duplicate number is also caught here.
    if (d.FieldNumber != i + 1) Corrupt(table, d.Name, "field number");
    if (d.Computed) Corrupt(table, d.Name, "computed flag");
    const auto bad = [&](const std::string& text) {
      return textCheck && !text.empty() && !textCheck(d, text);  // empty means none
    };
    if (bad(d.MinValue) || bad(d.MaxValue) || bad(d.DefaultValue)) {
      Corrupt(table, d.Name, "field value text");
    }
    if (d.IsAutoIncrement()) continue;
    if (d.Offset != running) Corrupt(table, d.Name, "field offset");
    running += uint32_t{d.StoredLength} + 1;
  }
  if (running != recordSize) Corrupt(table, {}, "record size");
}
