// TDataFile: opening, creating and checking a data file, its header and descriptors, and the
// record operations on its record cache (data_file.h).
#include "db/storage/data/data_file.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "db/engine/errors/engine_error.h"
#include "db/storage/change_counter.h"
#include "db/storage/files/lock_layout.h"
#include "db/storage/files/table_file_header.h"
#include "db/storage/locale/locale_check.h"
#include "db/storage/names.h"
#include "db/storage/scramble.h"

namespace {}  // namespace

TDataFile::TDataFile(TDataTableLink* link) : link_(link != nullptr ? link : &default_link_) {}

TDataFile::~TDataFile() {
  records_.reset();
  TFileHandler::Close();
}

std::string_view TDataFile::ContextTable() const {
  const std::string_view name = link_->TableName();
  return name.empty() ? std::string_view(FileName()) : name;
}

void TDataFile::RaiseCorrupt(uint16_t code, std::string_view why) const {
  RaiseEngineError(code, {}, {}, link_->DatabaseName(), ContextTable(), {}, {}, why);
}

void TDataFile::Open() {
  if (Opened()) return;
  descriptors_.clear();
  descriptors_changed_ = false;
  header_dirty_ = false;
  TFileHandler::Open();
  try {
    OpenChecked();
  } catch (...) {
    Close();
    throw;
  }
}

void TDataFile::OpenChecked() {
  ReadHeader();
  descriptors_.assign(header_.FieldCount, FieldDescriptor{});
  ReadDescriptors();
  CheckDescriptorBounds(descriptors_, header_.RecordSize, ContextTable());
  const auto blobs = std::count_if(descriptors_.begin(), descriptors_.end(),
                                   [](const FieldDescriptor& d) { return d.Type == kFieldBlob; });
  if (blobs != header_.BlobFieldCount) RaiseCorrupt(VUZODE_HEADERCORRUPT, "BLOB field count");
  SetUpRecordCache();
}

TCacheLayout TDataFile::RecordLayout() const {
  return RecordCacheLayout(header_.RecordSize, header_.FieldCount, link_->DataCacheBytes(),
                           link_->MaxCachedRecords());
}

void TDataFile::SetUpRecordCache() {
  records_ =
      std::make_unique<TBufferCache>(*this, static_cast<TCacheOwner&>(*this), RecordLayout());
  records_->SetNextNumber(static_cast<uint32_t>(header_.NextRecordNumber));
}

std::unique_ptr<TBufferCache> TDataFile::TakeRecordCache() {
  if (!records_ || !records_->Clean()) return nullptr;
  return std::move(records_);
}

bool TDataFile::AdoptRecordCache(std::unique_ptr<TBufferCache> cache) {
  if (!records_ || !(cache->Layout() == RecordLayout())) return false;
  cache->Rebind(*this, static_cast<TCacheOwner&>(*this));
  cache->SetNextNumber(static_cast<uint32_t>(header_.NextRecordNumber));
  records_ = std::move(cache);
  return true;
}

void TDataFile::Close() {
  records_.reset();
  descriptors_.clear();
  descriptors_changed_ = false;
  TFileHandler::Close();
}

TDataFileHeader TDataFile::LoadHeader(int64_t* fileSize) {
  uint8_t bytes[kDataFileHeaderSize];
  {
    TFileAccess access(*this);
    Seek(0);
    Read(bytes, sizeof bytes, false);
    // Asked after the header, the size covers every record the header counts: writers write
    // the records before the header. Asked before, another process's append in between would
    // make a sound header look corrupt.
    if (fileSize != nullptr) *fileSize = GetFileSize();
  }
  TDataFileHeader header;
  if (!DecodeDataFileHeader(bytes, header)) RaiseCorrupt(VUZODE_HEADERCORRUPT, "header text");
  return header;
}

void TDataFile::ReadHeader() {
  int64_t size = 0;
  const TDataFileHeader header = LoadHeader(&size);
  CheckHeaderBounds(header, size, false, ContextTable());
  header_ = header;
  header_dirty_ = false;
  if (records_) records_->SetNextNumber(static_cast<uint32_t>(header_.NextRecordNumber));
}

bool TDataFile::RereadHeader() {
  // This runs before every cache miss of a shared table: the file's size is asked only when the
  // header changed. Asked after the header, it covers every record that header counts, since
  // writers write the records before the header.
  const TDataFileHeader header = LoadHeader(nullptr);
  if (header.ChangeCount == header_.ChangeCount) return false;
  int64_t size = 0;
  {
    TFileAccess access(*this);
    size = GetFileSize();
  }
  CheckHeaderBounds(header, size, false, ContextTable());
  // The cache's unit and the descriptors were set up for the old shape; only a restructure,
  // which needs the table to itself, may change it.
  if (header.RecordSize != header_.RecordSize || header.FieldCount != header_.FieldCount) {
    RaiseCorrupt(VUZODE_HEADERCORRUPT, "table shape changed");
  }
  header_ = header;
  header_dirty_ = false;
  // Records cached from the old state may lie past the new end, or be stale: another user
  // wrote. The table layer discards its caches too; doing it here keeps the cache's numbers
  // inside the file whatever the caller does.
  if (records_) {
    records_->Discard();
    records_->SetNextNumber(static_cast<uint32_t>(header_.NextRecordNumber));
  }
  return true;
}

bool TDataFile::WriteHeader(bool force) {
  uint8_t bytes[kDataFileHeaderSize];
  const bool wrote = WriteTableHeader(*this, force, header_dirty_, header_.ChangeCount, [&] {
    header_.WriterVersion = kWriterVersion;
    header_.LastUpdated = CurrentLastUpdated();
    header_.HeaderDirty = header_dirty_ ? 1 : 0;
    EncodeDataFileHeader(header_, bytes);
    return std::span<const uint8_t>(bytes, sizeof bytes);
  });
  if (wrote) link_->Written();
  return wrote;
}

void TDataFile::MarkHeaderChanged() {
  MarkTableHeaderChanged(header_.ChangeCount, header_dirty_);
  link_->Written();
}

void TDataFile::ReadDescriptors() {
  const size_t count = header_.FieldCount;
  descriptors_.resize(count);
  if (count == 0) return;
  std::vector<uint8_t> block(count * kFieldDescriptorSize);
  {
    TFileAccess access(*this);
    Seek(static_cast<int64_t>(kDataFileHeaderSize));
    Read(block.data(), static_cast<uint32_t>(block.size()), false);
  }
  if (Encrypted()) Scramble(block.data(), block.size(), kRecordKey);
  for (size_t i = 0; i < count; ++i) {
    if (!DecodeFieldDescriptor(block.data() + i * kFieldDescriptorSize, descriptors_[i])) {
      RaiseCorrupt(VUZODE_HEADERCORRUPT, "descriptor text");
    }
  }
}

bool TDataFile::WriteDescriptors() {
  if (!descriptors_changed_) return false;
  std::vector<uint8_t> block(descriptors_.size() * kFieldDescriptorSize);
  for (size_t i = 0; i < descriptors_.size(); ++i) {
    EncodeFieldDescriptor(descriptors_[i], block.data() + i * kFieldDescriptorSize);
  }
  if (Encrypted()) Scramble(block.data(), block.size(), kRecordKey);
  if (!block.empty()) {
    TFileAccess access(*this);
    Seek(static_cast<int64_t>(kDataFileHeaderSize));
    Write(block.data(), static_cast<uint32_t>(block.size()));
  }
  if (link_->ForceBufferFlush()) Flush();
  descriptors_changed_ = false;
  return true;
}

void TDataFile::InitializeHeader(const TDataFileDefinition& def) {
  if (def.Fields.size() > kMaxFieldCount) RaiseCorrupt(VUZODE_HEADERCORRUPT, "field count");
  TDataFileHeader header;
  header.LanguageId = def.LanguageId;
  header.SortId = def.SortId;
  header.UserMajorVersion = def.UserMajorVersion;
  header.UserMinorVersion = def.UserMinorVersion;
  header.Encrypted = def.Encrypted ? 1 : 0;
  header.FieldCount = static_cast<uint16_t>(def.Fields.size());
  size_t blobs = 0;
  for (const FieldDescriptor& d : def.Fields) {
    if (d.Type == kFieldBlob && ++blobs > kMaxBlobFieldCount) {
      RaiseEngineError(VUZODE_BLOBLIMIT, {}, {}, link_->DatabaseName(), ContextTable(), d.Name);
    }
  }
  header.BlobFieldCount = static_cast<int16_t>(blobs);
  header.BlobBlockSize = def.BlobBlockSize;
  const uint64_t recordSize = ComputeRecordSize(def.Fields);
  if (recordSize > kMaxRecordSize) {
    RaiseEngineError(VUZODE_RECTOOBIG, {}, {}, link_->DatabaseName(), ContextTable());
  }
  header.RecordSize = static_cast<uint16_t>(recordSize);
  std::vector<FieldDescriptor> fields = def.Fields;
  // The table layer assigns offsets; a field that would reach outside its record is refused
  // here, before anything is created, instead of corrupting records later.
  CheckDescriptorBounds(fields, header.RecordSize, ContextTable());

  records_.reset();
  header_ = header;
  descriptors_ = std::move(fields);
  header_.Description = StoredText(def.Description, kMaxDescriptionLength);
  header_.TablePassword = def.Encrypted ? StoredText(def.Password, kMaxPasswordLength) : "";
  descriptors_changed_ = true;
  header_dirty_ = true;
  CreateFile();
  SetUpRecordCache();
}

void TDataFile::VerifyStructure() {
  if (header_.FormatVersion != kDataFormatVersion) {
    RaiseEngineError(VUZODE_OLDVERSION, {}, {}, link_->DatabaseName(), ContextTable());
  }
  if (header_.LanguageId != 0) {
    CheckTableLocale(static_cast<uint16_t>(header_.LanguageId),
                     static_cast<uint16_t>(header_.SortId), link_->DatabaseName(), ContextTable());
  }
  const TDataTableLink* link = link_;
  VerifyDescriptorLayout(
      descriptors_, header_.RecordSize,
      [link](const FieldDescriptor& d, std::string_view text) {
        return link->FieldTextValid(d, text);
      },
      ContextTable());
  CheckHeaderBounds(header_, GetFileSize(), true, ContextTable());
}

void TDataFile::EmptyFile() {
  if (records_) records_->Discard();
  {
    TFileAccess access(*this);
    Seek(FirstRecordOffset(header_.FieldCount));
    Write(nullptr, 0);
  }
  if (link_->ForceBufferFlush()) Flush();
  header_.ChangeCount = 0;
  header_.FirstFreeRecord = 0;
  header_.NextRecordNumber = 1;
  header_.LastRowId = 0;
  header_dirty_ = true;
  if (records_) records_->SetNextNumber(1);
}

void TDataFile::CutRecords(uint32_t count) {
  if (records_) records_->Discard();
  {
    TFileAccess access(*this);
    Seek(FirstRecordOffset(header_.FieldCount) + static_cast<int64_t>(count) * header_.RecordSize);
    Write(nullptr, 0);
  }
  if (link_->ForceBufferFlush()) Flush();
  header_.NextRecordNumber = static_cast<int32_t>(count) + 1;
  header_.FirstFreeRecord = 0;
  header_dirty_ = true;
  if (records_) records_->SetNextNumber(count + 1);
}

std::string TDataFile::StoredText(std::string_view text, size_t room) const {
  std::string stored(text.substr(0, room));
  if (Encrypted() && !stored.empty()) {
    Scramble(reinterpret_cast<uint8_t*>(stored.data()), stored.size(), kHeaderTextKey);
  }
  return stored;
}

std::string TDataFile::PlainText(const std::string& stored) const {
  std::string plain = stored;
  if (Encrypted() && !plain.empty()) {
    Scramble(reinterpret_cast<uint8_t*>(plain.data()), plain.size(), kHeaderTextKey);
  }
  return plain;
}

std::string TDataFile::Description() const {
  return PlainText(header_.Description);
}

std::string TDataFile::TablePassword() const {
  return Encrypted() ? PlainText(header_.TablePassword) : std::string();
}

uint16_t TDataFile::FieldNumber(std::string_view name) const {
  for (size_t i = 0; i < descriptors_.size(); ++i) {
    if (SameNameIgnoringCase(descriptors_[i].Name, name)) return static_cast<uint16_t>(i + 1);
  }
  return 0;
}

void TDataFile::SetTablePassword(std::string_view password) {
  header_.TablePassword = Encrypted() ? StoredText(password, kMaxPasswordLength) : "";
  header_dirty_ = true;
}

void TDataFile::SetDescription(std::string_view description) {
  header_.Description = StoredText(description, kMaxDescriptionLength);
  header_dirty_ = true;
}

void TDataFile::SetUserVersions(int16_t major, int16_t minor) {
  header_.UserMajorVersion = major;
  header_.UserMinorVersion = minor;
  header_dirty_ = true;
}

void TDataFile::SetLastRowId(int32_t rowId) {
  if (header_.LastRowId == rowId) return;
  header_.LastRowId = rowId;
  header_dirty_ = true;
}

void TDataFile::NoteSuppliedRowId(int32_t rowId) {
  if (rowId > header_.LastRowId) SetLastRowId(rowId);
}

void TDataFile::SetDescriptorTexts(uint16_t number, const FieldDescriptor& texts) {
  FieldDescriptor& d = descriptors_.at(number - 1u);
  d.FieldNumber = texts.FieldNumber;
  d.Name = texts.Name.substr(0, kMaxFieldNameLength);
  d.SubType = texts.SubType;
  d.Description = texts.Description.substr(0, kMaxFieldTextLength);
  d.Required = texts.Required;
  d.MinValue = texts.MinValue.substr(0, kMaxFieldTextLength);
  d.MaxValue = texts.MaxValue.substr(0, kMaxFieldTextLength);
  d.DefaultValue = texts.DefaultValue.substr(0, kMaxFieldTextLength);
  descriptors_changed_ = true;
}

int32_t TDataFile::NextRowId() {
  if (header_.LastRowId == std::numeric_limits<int32_t>::max()) {
    // Wrapping to 1 would hand out row ids that live records still carry.
    RaiseEngineError(VUZODE_TABLEFULL, {}, {}, link_->DatabaseName(), ContextTable(), {}, {},
                     "row ids used up");
  }
  header_.LastRowId += 1;
  header_dirty_ = true;
  return header_.LastRowId;
}

int32_t TDataFile::NextBlobRevision() {
  if (header_.LastBlobRevision == std::numeric_limits<int32_t>::max()) {
    RaiseEngineError(VUZODE_TABLEFULL, {}, {}, link_->DatabaseName(), ContextTable(), {}, {},
                     "BLOB revisions used up");
  }
  header_.LastBlobRevision += 1;
  header_dirty_ = true;
  return header_.LastBlobRevision;
}

void TDataFile::DecodeUnit(uint8_t* unit, uint32_t size) {
  if (Encrypted()) Scramble(unit, size, kRecordKey);
}

void TDataFile::EncodeUnit(uint8_t* unit, uint32_t size) {
  if (Encrypted()) Scramble(unit, size, kRecordKey);
}

void TDataFile::HeaderChanged() {
  header_.NextRecordNumber = static_cast<int32_t>(records_->NextNumber());
  header_dirty_ = true;
}

TRecord TDataFile::FetchRecord(uint32_t n, bool forward, bool readAhead, uint32_t count) {
  if (!records_) RaiseCorrupt(VUZODE_FILECORRUPT, "file not open");
  TCacheEntry* entry = records_->Fetch(n, readAhead, forward, count);
  if (entry == nullptr) return {};
  entry->Owner = this;
  // The number stored in an active record is not trusted: its position is.
  if (entry->Buffer[0] == kRecordActive) {
    uint8_t* p = entry->Buffer.data() + 1;
    p[0] = static_cast<uint8_t>(n);
    p[1] = static_cast<uint8_t>(n >> 8);
    p[2] = static_cast<uint8_t>(n >> 16);
    p[3] = static_cast<uint8_t>(n >> 24);
  }
  return TRecord(this, entry);
}

TRecord TDataFile::FetchRecordSettled(uint32_t n, bool readAhead) {
  constexpr int kAttempts = 9;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    TRecord record = FetchRecord(n, true, readAhead);
    if (record.Valid()) return record;
  }
  RaiseEngineError(VUZODE_RECNOTFOUND, {}, {}, link_->DatabaseName(), ContextTable());
}

void TDataFile::Unpin(TRecord& record) {
  if (record.Valid() && records_) records_->Unpin(record.Entry());
  record = TRecord();
}

TRecord TDataFile::AllocateRecord() {
  const bool reuse = link_->ReuseDeleted() && header_.FirstFreeRecord != 0;
  const uint32_t n = reuse ? static_cast<uint32_t>(header_.FirstFreeRecord) : RecordCount() + 1;
  TRecord record = FetchRecord(n);
  if (!record.Valid()) return record;
  int32_t next = 0;
  if (reuse) {
    const int32_t link = record.Link();
    const bool bad = !record.Deleted() || link < 0 || static_cast<uint32_t>(link) > RecordCount() ||
                     static_cast<uint32_t>(link) == n;
    if (bad) {
      Unpin(record);
      RaiseCorrupt(VUZODE_FILECORRUPT, "deleted record chain");
    }
    next = link;
  }
  if (header_.FirstFreeRecord != next) {
    header_.FirstFreeRecord = next;
    header_dirty_ = true;
  }
  // Active from now on, so a chain that later leads back here is seen as corrupt (invariant 3).
  record.Initialize(false);
  return record;
}

void TDataFile::FreeRecord(TRecord& record) {
  if (record.Deleted()) {
    RaiseEngineError(VUZODE_KEYORRECDELETED, {}, {}, link_->DatabaseName(), ContextTable());
  }
  const bool chain = header_.FirstFreeRecord != 0 && link_->ReuseDeleted();
  record.SetStatus(kRecordDeleted);
  record.SetLink(chain ? header_.FirstFreeRecord : 0);
  header_.FirstFreeRecord = static_cast<int32_t>(record.Number());
  header_dirty_ = true;
}

bool TDataFile::FlushRecords() {
  return records_ ? records_->Flush() : false;
}

void TDataFile::DiscardRecords() {
  if (records_) records_->Discard();
}

void TDataFile::TrimRecords() {
  if (records_) records_->Trim(RecordLayout().capacity);
}

bool TDataFile::LockRecord(uint32_t n) {
  return ::LockRecord(*this, n);
}
bool TDataFile::UnlockRecord(uint32_t n) {
  return ::UnlockRecord(*this, n);
}
bool TDataFile::LockTableByte() {
  return LockTableWriteByte(*this);
}
bool TDataFile::UnlockTableByte() {
  return UnlockTableWriteByte(*this);
}
