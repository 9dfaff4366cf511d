// TDataCursor: BLOB values opened through the cursor, the BLOB part of record changes, the
// text index upkeep and the per-record text search (see data_cursor.h).
//
// A BLOB field's slot in a record buffer is an indicator byte, the first block number and the
// revision. While the value is open the block number is the buffer's handle, the negated id
// of an entry of open_blobs_; the indicator is then 1 when the value had bytes when the slot
// was written. Invariants:
//   (1) At most 128 values are open; ids are never reused while the cursor lives, so a stale
//       handle can never reach another value.
//   (2) SaveRecordBlobs writes block numbers only into slots that hold handles of open
//       buffers, so a value open for another record never lands in this one.
#include <cstring>
#include <limits>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/cursor/text_search.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/storage/index/index_header.h"
#include "db/storage/le_codec.h"

namespace {

constexpr size_t kMaxOpenBlobs = 128;
constexpr int64_t kMaxBlobBytes = std::numeric_limits<int32_t>::max();

int32_t SlotBlock(const uint8_t* record, const FieldDescriptor& f) {
  return GetI32(record + f.Offset + 1);
}

int32_t SlotRevision(const uint8_t* record, const FieldDescriptor& f) {
  return GetI32(record + f.Offset + 5);
}

void WriteSlot(uint8_t* record, const FieldDescriptor& f, int32_t block, int32_t revision,
               bool present) {
  record[f.Offset] = present ? 1 : 0;
  PutI32(record + f.Offset + 1, block);
  PutI32(record + f.Offset + 5, revision);
}

}  // namespace

const FieldDescriptor& TDataCursor::BlobField(uint16_t field, bool tableDefinitions) const {
  const std::vector<FieldDescriptor>& fields =
      tableDefinitions ? table_->DataFile().Descriptors() : fields_;
  if (field == 0 || field > fields.size()) Raise(VUZODE_OUTOFRANGE, std::to_string(field));
  return fields[field - 1];
}

TDataCursor::TOpenBlob* TDataCursor::FindBlob(int32_t handle) {
  if (handle >= 0) return nullptr;
  for (TOpenBlob& b : open_blobs_) {
    if (-b.Id == handle) return &b;
  }
  return nullptr;
}

bool TDataCursor::SameRecord(const uint8_t* caller, const uint8_t* stored, size_t from) {
  for (const FieldDescriptor& f : fields_) {
    if (f.Type != kFieldBlob || f.Computed || f.Offset < from) continue;
    if (std::memcmp(caller + from, stored + from, f.Offset - from) != 0) return false;
    int32_t block = SlotBlock(caller, f);
    int32_t revision = SlotRevision(caller, f);
    if (const TOpenBlob* open = FindBlob(block)) {
      block = open->Buffer->FirstBlock();
      revision = open->Buffer->Revision();
    }
    if (block != SlotBlock(stored, f) || revision != SlotRevision(stored, f)) return false;
    from = f.Offset + 9u;
  }
  return std::memcmp(caller + from, stored + from, stored_size_ - from) == 0;
}

uint16_t TDataCursor::OpenBlob(uint16_t field, uint8_t* record, uint32_t& size,
                               bool releaseAfterPost, bool tableDefinitions, uint8_t mode) {
  size = 0;
  RequireTable();
  const FieldDescriptor& f = BlobField(field, tableDefinitions);
  if (f.Type != kFieldBlob) return VUZODE_NOTABLOB;
  const int32_t slot = SlotBlock(record, f);
  if (TOpenBlob* open = FindBlob(slot)) {
    if (mode != 2 || open->ReleaseAfterPost == releaseAfterPost) {
      open->Buffer->IncrementOpenCount();
    } else {
      open->ReleaseAfterPost = releaseAfterPost;
      if (releaseAfterPost) open->Buffer->IncrementOpenCount();
    }
    size = static_cast<uint32_t>(open->Buffer->Bytes().size());
    return 0;
  }
  if (slot < 0) return VUZODE_INVALIDBLOBOFFSET;
  if (open_blobs_.size() >= kMaxOpenBlobs) return VUZODE_OPENBLOBLIMIT;
  if (!table_->HasBlobFile()) Raise(VUZODE_MEMOCORRUPT, f.Name);
  TOpenBlob entry;
  entry.Id = next_blob_id_;
  entry.ReleaseAfterPost = releaseAfterPost;
  const uint32_t recordNumber = GetU32(record + 1);
  entry.Buffer = std::make_unique<TBlobBuffer>(
      table_->BlobFile(), recordNumber, f.FieldNumber,
      TBlobReference{record[f.Offset] == 0 ? 0 : slot, SlotRevision(record, f)});
  entry.Buffer->SetOpenMode(mode);
  if (entry.Buffer->FirstBlock() != 0) {
    TCursorReadScope bracket(*this);
    { entry.Buffer->LoadValue(); }
  }
  entry.Buffer->IncrementOpenCount();
  const IndexDescriptor& text = table_->IndexFile().Descriptor(kTextSlot);
  for (size_t k = 0; k < text.FieldCount; ++k) {
    if (text.FieldNumbers[k] == f.FieldNumber) entry.Buffer->KeepCopy();
  }
  ++next_blob_id_;
  size = static_cast<uint32_t>(entry.Buffer->Bytes().size());
  WriteSlot(record, f, -entry.Id, entry.Buffer->Revision(), size > 0);
  open_blobs_.push_back(std::move(entry));
  return 0;
}

uint16_t TDataCursor::FreeBlob(uint16_t field, uint8_t* record, bool tableDefinitions) {
  const FieldDescriptor& f = BlobField(field, tableDefinitions);
  if (f.Type != kFieldBlob) return VUZODE_NOTABLOB;
  TOpenBlob* open = FindBlob(SlotBlock(record, f));
  if (open == nullptr) return VUZODE_INVALIDBLOBHANDLE;
  TBlobBuffer& buffer = *open->Buffer;
  buffer.DecrementOpenCount();
  if (buffer.OpenCount() > 0) {
    WriteSlot(record, f, -open->Id, buffer.Revision(), !buffer.Bytes().empty());
    return 0;
  }
  WriteSlot(record, f, buffer.FirstBlock(), buffer.Revision(), buffer.FirstBlock() != 0);
  const int32_t id = open->Id;
  std::erase_if(open_blobs_, [id](const TOpenBlob& b) { return b.Id == id; });
  return 0;
}

uint16_t TDataCursor::GetBlob(uint16_t field, const uint8_t* record, bool tableDefinitions,
                              int64_t offset, int64_t count, uint8_t* destination, uint32_t& read) {
  read = 0;
  const FieldDescriptor& f = BlobField(field, tableDefinitions);
  if (f.Type != kFieldBlob) return VUZODE_NOTABLOB;
  TOpenBlob* open = FindBlob(SlotBlock(record, f));
  if (open == nullptr) return VUZODE_INVALIDBLOBHANDLE;
  if (offset < 0 || offset > kMaxBlobBytes) return VUZODE_INVALIDBLOBOFFSET;
  if (count < 0 || count > kMaxBlobBytes) return VUZODE_INVALIDBLOBLEN;
  const std::vector<uint8_t>& bytes = open->Buffer->Bytes();
  const int64_t length = static_cast<int64_t>(bytes.size());
  const int64_t available = offset >= length ? 0 : length - offset;
  const int64_t n = std::min(count, available);
  if (n > 0) std::memcpy(destination, bytes.data() + offset, static_cast<size_t>(n));
  read = static_cast<uint32_t>(n);
  return n < count ? VUZODE_ENDOFBLOB : 0;
}

uint16_t TDataCursor::PutBlob(uint16_t field, uint8_t* record, bool tableDefinitions,
                              int64_t offset, int64_t count, const uint8_t* source) {
  const FieldDescriptor& f = BlobField(field, tableDefinitions);
  if (f.Type != kFieldBlob) return VUZODE_NOTABLOB;
  TOpenBlob* open = FindBlob(SlotBlock(record, f));
  if (open == nullptr) return VUZODE_INVALIDBLOBHANDLE;
  if (offset < 0 || offset > kMaxBlobBytes) return VUZODE_INVALIDBLOBOFFSET;
  if (count < 0 || count > kMaxBlobBytes - offset) return VUZODE_INVALIDBLOBLEN;
  if (count > 0) {
    open->Buffer->WriteAt(static_cast<size_t>(offset), source, static_cast<size_t>(count));
  }
  WriteSlot(record, f, -open->Id, open->Buffer->Revision(), !open->Buffer->Bytes().empty());
  return 0;
}

uint16_t TDataCursor::TruncateBlob(uint16_t field, uint8_t* record, bool tableDefinitions,
                                   int64_t length) {
  const FieldDescriptor& f = BlobField(field, tableDefinitions);
  if (f.Type != kFieldBlob) return VUZODE_NOTABLOB;
  TOpenBlob* open = FindBlob(SlotBlock(record, f));
  if (open == nullptr) return VUZODE_INVALIDBLOBHANDLE;
  if (length < 0 || length > kMaxBlobBytes) return VUZODE_INVALIDBLOBLEN;
  if (static_cast<size_t>(length) != open->Buffer->Bytes().size()) {
    open->Buffer->SetLength(static_cast<size_t>(length));
  }
  WriteSlot(record, f, -open->Id, open->Buffer->Revision(), !open->Buffer->Bytes().empty());
  return 0;
}

uint16_t TDataCursor::GetBlobSize(uint16_t field, const uint8_t* record, bool tableDefinitions,
                                  uint32_t& size) {
  size = 0;
  const FieldDescriptor& f = BlobField(field, tableDefinitions);
  if (f.Type != kFieldBlob) return VUZODE_NOTABLOB;
  TOpenBlob* open = FindBlob(SlotBlock(record, f));
  if (open == nullptr) return VUZODE_INVALIDBLOBHANDLE;
  size = static_cast<uint32_t>(open->Buffer->Bytes().size());
  return 0;
}

void TDataCursor::FreeRecordBlobs(uint8_t* record) {
  for (const FieldDescriptor& f : fields_) {
    if (f.Type != kFieldBlob || f.Computed) continue;
    if (FindBlob(SlotBlock(record, f)) == nullptr) continue;
    CheckCode(FreeBlob(f.FieldNumber, record, false));
  }
}

void TDataCursor::FreeAllBlobs(bool all) {
  for (size_t i = open_blobs_.size(); i-- > 0;) {
    if (all || open_blobs_[i].ReleaseAfterPost) {
      open_blobs_.erase(open_blobs_.begin() + static_cast<ptrdiff_t>(i));
    }
  }
}

bool TDataCursor::SaveRecordBlobs(uint8_t* image, bool tableDefinitions) {
  if (!table_->HasBlobFile()) return false;
  TDataFile& data = table_->DataFile();
  bool changed = false;
  uint32_t recordNumber = 0;
  for (const TOpenBlob& b : open_blobs_) {
    if (!b.Buffer->Modified()) continue;
    if (changed && b.Buffer->RecordNumber() != recordNumber) {
      Raise(VUZODE_MEMOCORRUPT, {}, "changed values of two records");
    }
    recordNumber = b.Buffer->RecordNumber();
    changed = true;
  }
  for (TOpenBlob& b : open_blobs_) {
    if (!b.Buffer->Modified()) continue;
    // An empty value gives its chain back and becomes first block 0.
    b.Buffer->SaveValue(data.NextBlobRevision());
  }
  // Only slots that hold a handle of an open buffer take a block number (2).
  const std::vector<FieldDescriptor>& fields = tableDefinitions ? data.Descriptors() : fields_;
  for (const FieldDescriptor& f : fields) {
    if (f.Type != kFieldBlob || f.Computed) continue;
    if (TOpenBlob* open = FindBlob(SlotBlock(image, f))) {
      const TBlobBuffer& buffer = *open->Buffer;
      WriteSlot(image, f, buffer.FirstBlock(), buffer.Revision(), buffer.FirstBlock() != 0);
    }
  }
  FreeAllBlobs(false);
  return changed;
}

void TDataCursor::ClearRecordBlobs(uint8_t* image) {
  for (const FieldDescriptor& f : table_->DataFile().Descriptors()) {
    if (f.Type != kFieldBlob) continue;
    uint32_t size = 0;
    CheckFieldCode(OpenBlob(f.FieldNumber, image, size, true, true, 2), f.Name);
    CheckFieldCode(TruncateBlob(f.FieldNumber, image, true, 0), f.Name);
  }
}

const TTextIndexParameters& TDataCursor::TextParameters() {
  if (!text_parameters_loaded_ && !text_parameters_set_) {
    text_parameters_ = ReadTextIndexParameters(table_->IndexFile());
    text_parameters_loaded_ = true;
  }
  return text_parameters_;
}

std::string TDataCursor::FieldText(const uint8_t* record, const FieldDescriptor& f) const {
  if (record[f.Offset] == 0) return {};
  const char* at = reinterpret_cast<const char*>(record + f.Offset + 1);
  return std::string(at, strnlen(at, f.StoredLength));
}

void TDataCursor::AddTextWords(const uint8_t* record) {
  TIndexFile& index = table_->IndexFile();
  const IndexDescriptor& text = index.Descriptor(kTextSlot);
  if (text.FieldCount == 0) return;
  const int32_t rowId = GetI32(record + kRowIdOffset);
  const int32_t number = static_cast<int32_t>(GetU32(record + 1));
  for (size_t k = 0; k < text.FieldCount; ++k) {
    const FieldDescriptor& f = table_->DataFile().Descriptor(text.FieldNumbers[k]);
    if (f.Type == kFieldString) {
      if (record[f.Offset] != 0) {
        AddTextKeys(index, TextParameters(), f.FieldNumber, FieldText(record, f), rowId, number);
      }
      continue;
    }
    for (const TOpenBlob& b : open_blobs_) {
      if (b.Buffer->FieldNumber() != f.FieldNumber || !b.Buffer->Modified()) continue;
      const std::vector<uint8_t>& bytes = b.Buffer->Bytes();
      AddTextKeys(index, TextParameters(), f.FieldNumber,
                  std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                  rowId, number);
    }
  }
}

bool TDataCursor::ReplaceTextWords(const uint8_t* oldRecord, const uint8_t* newRecord) {
  TIndexFile& index = table_->IndexFile();
  const IndexDescriptor& text = index.Descriptor(kTextSlot);
  if (text.FieldCount == 0) return false;
  const int32_t oldRow = GetI32(oldRecord + kRowIdOffset);
  const int32_t newRow = GetI32(newRecord + kRowIdOffset);
  const int32_t number = static_cast<int32_t>(GetU32(oldRecord + 1));
  bool changed = false;
  auto replace = [&](uint16_t field, std::string_view before, std::string_view after) {
    if (before == after && oldRow == newRow) return;
    if (oldRow == newRow) {
      ChangeTextKeys(index, TextParameters(), field, before, after, newRow, number);
    } else {
      RemoveTextKeys(index, TextParameters(), field, before, oldRow);
      AddTextKeys(index, TextParameters(), field, after, newRow, number);
    }
    changed = true;
  };
  for (size_t k = 0; k < text.FieldCount; ++k) {
    const FieldDescriptor& f = table_->DataFile().Descriptor(text.FieldNumbers[k]);
    if (f.Type == kFieldString) {
      if (oldRecord[f.Offset] == 0 && newRecord[f.Offset] == 0) continue;
      replace(f.FieldNumber, FieldText(oldRecord, f), FieldText(newRecord, f));
      continue;
    }
    for (const TOpenBlob& b : open_blobs_) {
      if (b.Buffer->FieldNumber() != f.FieldNumber || !b.Buffer->Modified()) continue;
      const std::vector<uint8_t>& before = b.Buffer->SavedBytes();
      const std::vector<uint8_t>& after = b.Buffer->Bytes();
      replace(f.FieldNumber,
              std::string_view(reinterpret_cast<const char*>(before.data()), before.size()),
              std::string_view(reinterpret_cast<const char*>(after.data()), after.size()));
    }
  }
  return changed;
}

void TDataCursor::RemoveTextWords(const uint8_t* record) {
  TIndexFile& index = table_->IndexFile();
  const IndexDescriptor& text = index.Descriptor(kTextSlot);
  if (text.FieldCount == 0) return;
  const int32_t rowId = GetI32(record + kRowIdOffset);
  for (size_t k = 0; k < text.FieldCount; ++k) {
    const FieldDescriptor& f = table_->DataFile().Descriptor(text.FieldNumbers[k]);
    if (f.Type == kFieldString) {
      if (record[f.Offset] != 0) {
        RemoveTextKeys(index, TextParameters(), f.FieldNumber, FieldText(record, f), rowId);
      }
      continue;
    }
    for (const TOpenBlob& b : open_blobs_) {
      if (b.Buffer->FieldNumber() != f.FieldNumber || !b.Buffer->Modified()) continue;
      const std::vector<uint8_t>& before = b.Buffer->SavedBytes();
      RemoveTextKeys(index, TextParameters(), f.FieldNumber,
                     std::string_view(reinterpret_cast<const char*>(before.data()), before.size()),
                     rowId);
    }
  }
}

bool TDataCursor::TextMatches(std::string_view search, std::string_view text) {
  return ::TextMatches(search, text, TextParameters(),
                       static_cast<uint16_t>(table_->DataFile().LanguageId()),
                       static_cast<uint16_t>(table_->DataFile().SortId()));
}

int32_t TDataCursor::TextOccurrences(std::string_view search, std::string_view text) {
  return ::TextOccurrences(search, text, TextParameters(),
                           static_cast<uint16_t>(table_->DataFile().LanguageId()),
                           static_cast<uint16_t>(table_->DataFile().SortId()));
}
