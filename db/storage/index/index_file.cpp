// TIndexFile: header, definitions and the page cache. The header layout is in index_header.h,
// the page layout in page.cpp, free chains in free_pages.cpp.
#include "db/storage/index/index_file.h"

#include <algorithm>
#include <cassert>
#include <cctype>

#include "db/engine/errors/engine_error.h"
#include "db/storage/change_counter.h"
#include "db/storage/files/cache_entry.h"
#include "db/storage/files/table_file_header.h"
#include "db/storage/le_codec.h"
#include "db/storage/names.h"
#include "db/storage/scramble.h"

namespace {

std::string Trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

bool SameName(std::string_view a, std::string_view b) {
  const std::string x = Trimmed(a);
  const std::string y = Trimmed(b);
  return SameNameIgnoringCase(x, y);
}

bool ValidFirstCharacter(std::string_view name) {
  if (name.empty()) return false;
  const unsigned char c = static_cast<unsigned char>(name[0]);
  return std::isalpha(c) || c == '_' || (c >= 128 && c <= 254);
}

}  // namespace

TIndexFile::TIndexFile() : header_(NewIndexFileHeader()), image_(kIndexPageSize) {
  RebuildLayouts();
}

TIndexFile::~TIndexFile() {
  DiscardPages();
}

std::string_view TIndexFile::ErrorTableName() const {
  return table_name_.empty() ? std::string_view(FileName()) : std::string_view(table_name_);
}

void TIndexFile::RaiseIndexCorrupt(int slot, std::string_view detail) const {
  const std::string_view index =
      slot >= 0 && slot < kIndexSlotCount ? std::string_view(header_.Slots[slot].Name) : "";
  RaiseEngineError(VUZODE_INDEXCORRUPT, {}, {}, {}, ErrorTableName(), {}, index, detail);
}

void TIndexFile::RaiseHeaderCorrupt(std::string_view detail) const {
  RaiseEngineError(VUZODE_HEADERCORRUPT, {}, {}, {}, ErrorTableName(), {}, {}, detail);
}

void TIndexFile::RaiseIndexError(uint16_t code, int slot) const {
  const std::string_view index =
      slot >= 0 && slot < kIndexSlotCount ? std::string_view(header_.Slots[slot].Name) : "";
  RaiseEngineError(code, {}, {}, {}, ErrorTableName(), {}, index);
}

void TIndexFile::SetTableInfo(uint16_t languageId, uint16_t sortId,
                              std::vector<FieldDescriptor> fields) {
  language_id_ = languageId;
  sort_id_ = sortId;
  fields_ = std::move(fields);
  RebuildLayouts();
}

void TIndexFile::RebuildLayouts() {
  for (int slot = 0; slot < kIndexSlotCount; ++slot) {
    layouts_[slot] = MakeKeyLayout(slot, header_.Slots[slot], fields_, language_id_, sort_id_);
  }
}

TPageFormat TIndexFile::PageFormat(int slot) const {
  const IndexDescriptor& d = header_.Slots[slot];
  TPageFormat format;
  format.KeyLength = d.KeyLength;
  format.Unique = d.Unique;
  // The text index never carries subtree counts.
  format.NoCounts = d.NoCounts || slot == kTextSlot;
  format.Compression = d.Compression;
  return format;
}

void TIndexFile::Open() {
  if (Opened()) return;
  TFileHandler::Open();
  try {
    ReadHeader();
  } catch (...) {
    TFileHandler::Close();
    throw;
  }
  page_reads_ = page_writes_ = 0;
}

void TIndexFile::Close() {
  DiscardPages();
  TFileHandler::Close();
}

void TIndexFile::CreateFile() {
  DiscardPages();
  TFileHandler::CreateFile();
  header_ = NewIndexFileHeader();
  RebuildLayouts();
  WriteHeader(true);
}

void TIndexFile::ReadHeaderImage() {
  uint32_t got = 0;
  {
    TFileAccess access(*this);
    Seek(0);
    got = Read(image_.data(), kIndexPageSize, true);
  }
  if (got != kIndexPageSize) RaiseHeaderCorrupt("short header");
  if (encrypted_) Scramble(image_.data(), kIndexPageSize, kRecordKey);
}

void TIndexFile::ReadHeader() {
  ReadHeaderImage();
  TakeHeaderImage();
}

void TIndexFile::TakeHeaderImage() {
  IndexFileHeader header;
  DecodeIndexFileHeader(image_.data(), header);
  if (const uint16_t code = CheckIndexHeaderBounds(header)) {
    RaiseEngineError(code, {}, {}, {}, ErrorTableName());
  }
  // Pages are written before the header that counts them, so the file holds every page the
  // header counts; a header counting more is damaged, and trusting it would grow the file to
  // whatever size it claims.
  if (static_cast<int64_t>(header.NextPageNumber) * kIndexPageSize > GetFileSize()) {
    RaiseHeaderCorrupt("page count beyond the end of the file");
  }
  header_ = std::move(header);
  RebuildLayouts();
}

bool TIndexFile::RereadHeader() {
  ReadHeaderImage();
  // The change counter leads the header (index_header.h) and every header write raises it:
  // while it is the cached one the cached header, already checked, and its key layouts stand.
  // This runs before every cache miss of a shared table, so it decodes nothing else.
  if (GetI32(image_.data()) == header_.ChangeCount) return false;
  TakeHeaderImage();
  return true;
}

bool TIndexFile::WriteHeader(bool force) {
  return WriteTableHeader(*this, force, header_.HeaderDirty, header_.ChangeCount, [&] {
    EncodeIndexFileHeader(header_, image_.data());
    if (encrypted_) Scramble(image_.data(), kIndexPageSize, kRecordKey);
    return std::span<const uint8_t>(image_.data(), kIndexPageSize);
  });
}

void TIndexFile::MarkHeaderChanged() {
  MarkTableHeaderChanged(header_.ChangeCount, header_.HeaderDirty);
}

void TIndexFile::EmptyFile() {
  DiscardPages();
  {
    TFileAccess access(*this);
    Seek(kIndexPageSize);
    Write(nullptr, 0);
    if (force_flush_) Flush();
  }
  header_.FormatVersion = kIndexFormatVersion;
  header_.NextPageNumber = 1;
  header_.ActiveRecordCount = 0;
  for (IndexDescriptor& d : header_.Slots) {
    d.RootPage = d.FirstFreePage = d.ParameterPage = 0;
  }
  header_.HeaderDirty = true;
}

void TIndexFile::VerifyStructure() const {
  if (const uint16_t code = CheckIndexHeaderBounds(header_)) {
    RaiseEngineError(code, {}, {}, {}, ErrorTableName());
  }
  auto checkFields = [&](int slot, const IndexDescriptor& d) {
    if (d.FieldCount > kMaxIndexFields) RaiseHeaderCorrupt("field count");
    for (size_t i = 0; i < kMaxIndexFields; ++i) {
      const uint16_t number = d.FieldNumbers[i];
      if (i < d.FieldCount) {
        if (number == 0 || number > fields_.size()) RaiseHeaderCorrupt("field number");
        const FieldDescriptor& f = fields_[number - 1];
        if (slot == kTextSlot) {
          if (f.Type != kFieldString && !(f.Type == kFieldBlob && f.SubType == kSubtypeMemo)) {
            RaiseHeaderCorrupt("text index field");
          }
        } else if (f.Type == kFieldBlob) {
          RaiseHeaderCorrupt("BLOB index field");
        }
      } else if (number != 0) {
        RaiseHeaderCorrupt("field list has gaps");
      }
    }
  };
  for (int slot = 0; slot <= header_.SecondaryIndexCount; ++slot) {
    const IndexDescriptor& d = header_.Slots[slot];
    if (slot == 0) {
      if (header_.NoPrimaryIndex) {
        if (d.FieldCount == 0 && d.KeyLength == 0) continue;
      } else if (!d.Name.empty() || !d.Unique) {
        RaiseHeaderCorrupt("primary index");
      }
    } else {
      std::string upper = d.Name;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (!ValidFirstCharacter(upper)) RaiseHeaderCorrupt("index name");
      for (int other = 1; other < slot; ++other) {
        if (SameName(d.Name, header_.Slots[other].Name)) RaiseHeaderCorrupt("index name twice");
      }
    }
    checkFields(slot, d);
    // The stored key length must be exactly the fields' one: pages are decoded with it.
    const uint32_t computed = ComputeKeyLength(d, fields_);
    if (computed == 0 || computed > kMaxKeyLength || computed != d.KeyLength) {
      RaiseHeaderCorrupt("key length");
    }
  }
  checkFields(kTextSlot, header_.Slots[kTextSlot]);
}

void TIndexFile::CheckDefinition(const IndexDescriptor& d, std::string_view name) const {
  for (size_t i = 0; i < d.FieldCount && i < kMaxIndexFields; ++i) {
    const uint16_t number = d.FieldNumbers[i];
    if (number == 0 || number > fields_.size()) {
      RaiseEngineError(VUZODE_INVALIDIDXDESC, {}, {}, {}, ErrorTableName(), std::to_string(number),
                       name);
    }
    if (fields_[number - 1].Type == kFieldBlob) {
      RaiseEngineError(VUZODE_SEARCHCOLREQD, {}, {}, {}, ErrorTableName(), fields_[number - 1].Name,
                       name);
    }
  }
  const uint32_t computed = ComputeKeyLength(d, fields_);
  if (computed == 0 || computed > kMaxKeyLength) {
    RaiseEngineError(VUZODE_INVALIDKEY, {}, {}, {}, ErrorTableName(), {}, name);
  }
}

void TIndexFile::DefinePrimaryIndex(const IndexDescriptor& definition) {
  if (!header_.NoPrimaryIndex && header_.Slots[0].KeyLength != 0) {
    RaiseEngineError(VUZODE_PRIMARYKEYREDEFINE, {}, {}, {}, ErrorTableName());
  }
  if (definition.FieldCount > kMaxIndexFields) {
    RaiseEngineError(VUZODE_INDEXLIMIT, {}, {}, {}, ErrorTableName());
  }
  if (definition.FieldCount == 0) {
    SetNoPrimaryIndex(true);
    return;
  }
  IndexDescriptor d = definition;
  d.Name.clear();
  d.Unique = true;
  CheckDefinition(d, "");
  d.KeyLength = static_cast<uint16_t>(ComputeKeyLength(d, fields_));
  d.RootPage = d.FirstFreePage = d.ParameterPage = 0;
  header_.Slots[0] = d;
  header_.NoPrimaryIndex = false;
  RebuildLayouts();
  MarkHeaderChanged();
}

void TIndexFile::AddSecondaryIndex(const IndexDescriptor& definition) {
  if (header_.SecondaryIndexCount >= kMaxSecondaryIndexes ||
      definition.FieldCount > kMaxIndexFields) {
    RaiseEngineError(VUZODE_INDEXLIMIT, {}, {}, {}, ErrorTableName());
  }
  const std::string name = Trimmed(definition.Name);
  if (name.empty()) RaiseEngineError(VUZODE_INDEXNAMEREQUIRED, {}, {}, {}, ErrorTableName());
  if (!ValidFirstCharacter(name) || name.size() > kMaxIndexNameLength) {
    RaiseEngineError(VUZODE_INVALIDINDEXNAME, {}, {}, {}, ErrorTableName(), {}, name);
  }
  for (int slot = 1; slot <= header_.SecondaryIndexCount; ++slot) {
    if (SameName(header_.Slots[slot].Name, name)) {
      RaiseEngineError(VUZODE_INDEXEXISTS, {}, {}, {}, ErrorTableName(), {}, name);
    }
  }
  CheckDefinition(definition, name);
  IndexDescriptor d = definition;
  d.Name = name;
  d.KeyLength = static_cast<uint16_t>(ComputeKeyLength(d, fields_));
  d.RootPage = d.FirstFreePage = d.ParameterPage = 0;
  header_.SecondaryIndexCount = static_cast<uint8_t>(header_.SecondaryIndexCount + 1);
  header_.Slots[header_.SecondaryIndexCount] = d;
  RebuildLayouts();
  MarkHeaderChanged();
}

void TIndexFile::RemoveIndex(int slot, bool remove) {
  if (slot == kPrimarySlot) {
    SetNoPrimaryIndex(true);
  } else if (remove && slot >= 1 && slot <= header_.SecondaryIndexCount) {
    // Cached pages know their slot; the slots are about to move.
    FlushPages();
    DiscardPages();
    IndexDescriptor removed = header_.Slots[slot];
    for (int k = slot; k < kMaxSecondaryIndexes; ++k) header_.Slots[k] = header_.Slots[k + 1];
    header_.Slots[header_.SecondaryIndexCount] = removed;
    header_.SecondaryIndexCount = static_cast<uint8_t>(header_.SecondaryIndexCount - 1);
    // Slot 30 was copied down; a copy left behind must not share its roots with the one below.
    if (header_.SecondaryIndexCount < kMaxSecondaryIndexes - 1) {
      header_.Slots[kMaxSecondaryIndexes] = IndexDescriptor{};
    }
    RebuildLayouts();
  }
  MarkHeaderChanged();
}

void TIndexFile::SetIndexDefinition(int slot, const IndexDescriptor& definition) {
  if (slot < 0 || slot >= kIndexSlotCount) RaiseIndexCorrupt(-1, "slot");
  FlushPages();
  DiscardPages();
  IndexDescriptor d = definition;
  d.RootPage = 0;
  if (slot == kTextSlot) {
    d.KeyLength = kTextKeyLength;
    d.NoCounts = true;
  }
  header_.Slots[slot] = d;
  RebuildLayouts();
  MarkHeaderChanged();
}

bool TIndexFile::FindIndexName(std::string_view name) const {
  for (int slot = 0; slot <= header_.SecondaryIndexCount; ++slot) {
    if (SameName(header_.Slots[slot].Name, name)) return true;
  }
  return false;
}

void TIndexFile::SetRootPage(int slot, int32_t page) {
  header_.Slots[slot].RootPage = page;
  header_.HeaderDirty = true;
}

void TIndexFile::SetParameterPage(int32_t page) {
  header_.Slots[kTextSlot].ParameterPage = page;
  header_.HeaderDirty = true;
}

void TIndexFile::IncrementActiveRecordCount() {
  ++header_.ActiveRecordCount;
  header_.HeaderDirty = true;
}
void TIndexFile::DecrementActiveRecordCount() {
  --header_.ActiveRecordCount;
  header_.HeaderDirty = true;
}
void TIndexFile::SetActiveRecordCount(int32_t value) {
  header_.ActiveRecordCount = value;
  header_.HeaderDirty = true;
}

void TIndexFile::SetNoPrimaryIndex(bool value) {
  header_.NoPrimaryIndex = value;
  if (value) header_.Slots[0] = IndexDescriptor{};
  RebuildLayouts();
  header_.HeaderDirty = true;
}

// ---- Page cache ----

TPage* TIndexFile::Lookup(uint32_t n) const {
  if (n < kDirectPages) return n < direct_.size() ? direct_[n].get() : nullptr;
  auto it = far_.find(n);
  return it == far_.end() ? nullptr : it->second.get();
}

void TIndexFile::Attach(std::unique_ptr<TPage> page) {
  TPage* p = page.get();
  const uint32_t n = p->Number();
  if (n < kDirectPages) {
    if (n >= direct_.size()) direct_.resize(std::max<size_t>(n + 1, direct_.size() * 2));
    direct_[n] = std::move(page);
  } else {
    far_[n] = std::move(page);
  }
  p->Referenced = false;
  p->Older = newest_;
  p->Newer = nullptr;
  if (newest_) newest_->Newer = p;
  newest_ = p;
  if (!oldest_) oldest_ = p;
  ++resident_;
}

std::unique_ptr<TPage> TIndexFile::Detach(TPage* p) {
  if (p->Newer) p->Newer->Older = p->Older;
  if (p->Older) p->Older->Newer = p->Newer;
  if (newest_ == p) newest_ = p->Older;
  if (oldest_ == p) oldest_ = p->Newer;
  p->Newer = p->Older = nullptr;
  --resident_;
  const uint32_t n = p->Number();
  std::unique_ptr<TPage> owned;
  if (n < kDirectPages) {
    owned = std::move(direct_[n]);
  } else {
    auto it = far_.find(n);
    owned = std::move(it->second);
    far_.erase(it);
  }
  return owned;
}

void TIndexFile::MoveToNewest(TPage* p) {
  if (newest_ == p) return;
  if (p->Newer) p->Newer->Older = p->Older;
  if (p->Older) p->Older->Newer = p->Newer;
  if (oldest_ == p) oldest_ = p->Newer;
  p->Older = newest_;
  p->Newer = nullptr;
  newest_->Newer = p;
  newest_ = p;
}

void TIndexFile::ReadPageImage(uint32_t n, uint8_t* image) {
  uint32_t got = 0;
  {
    TFileAccess access(*this);
    Seek(static_cast<int64_t>(n) * kIndexPageSize);
    got = Read(image, kIndexPageSize, true);
  }
  ++page_reads_;
  // A page the header counts but the file does not hold: a truncated file.
  if (got != kIndexPageSize) RaiseIndexCorrupt(-1, "page beyond the end of the file");
  if (encrypted_) Scramble(image, kIndexPageSize, kRecordKey);
}

void TIndexFile::WritePage(TPage* page, int64_t& fileSize) {
  const int64_t end = static_cast<int64_t>(header_.NextPageNumber) * kIndexPageSize;
  const int64_t reach = static_cast<int64_t>(page->Number() + 1) * kIndexPageSize;
  if (fileSize < reach) fileSize = GetFileSize();
  if (reach > fileSize && page->Number() + 1 < static_cast<uint32_t>(header_.NextPageNumber)) {
    // Grow the file to all its pages at once: a memory file reallocates on every growth, so
    // appending page after page would copy the whole file each time. The gap reads as free
    // pages (entry count 0) until the cached pages are written into it.
    std::fill(image_.begin(), image_.end(), 0);
    {
      TFileAccess access(*this);
      Seek(end - kIndexPageSize);
      Write(image_.data(), kIndexPageSize);
    }
    fileSize = std::max(fileSize, end);
  }
  if (!page->Store(image_.data())) RaiseIndexCorrupt(page->Slot(), "page does not fit");
  if (encrypted_) Scramble(image_.data(), kIndexPageSize, kRecordKey);
  {
    TFileAccess access(*this);
    Seek(static_cast<int64_t>(page->Number()) * kIndexPageSize);
    Write(image_.data(), kIndexPageSize);
  }
  fileSize = std::max(fileSize, reach);
  ++page_writes_;
  page->Dirty = false;
}

TPage* TIndexFile::FetchPage(int slot, int32_t n) {
  if (n < 1 || n >= header_.NextPageNumber) RaiseIndexCorrupt(slot, "page number out of range");
  if (TPage* page = Lookup(static_cast<uint32_t>(n))) {
    if (page->Slot() != slot) RaiseIndexCorrupt(slot, "page shared by two indexes");
    Touch(page);
    return page;
  }
  if (miss_check_ && !miss_check_()) throw TIndexChanged{};
  const TPageFormat format = PageFormat(slot);
  if (format.KeyLength == 0 || format.KeyLength > kMaxKeyLength) {
    RaiseIndexCorrupt(slot, "index without key length");
  }
  ReadPageImage(static_cast<uint32_t>(n), image_.data());
  std::unique_ptr<TPage> page;
  if (!pool_.empty()) {
    page = std::move(pool_.back());
    pool_.pop_back();
  } else {
    page = std::make_unique<TPage>();
  }
  page->Reset(static_cast<uint32_t>(n), slot, format);
  if (!page->Load(image_.data())) RaiseIndexCorrupt(slot, "page fails its bounds");
  if (page->Left < 0 || page->Left >= header_.NextPageNumber || page->Right < 0 ||
      page->Right >= header_.NextPageNumber) {
    RaiseIndexCorrupt(slot, "page link out of range");
  }
  TPage* p = page.get();
  Attach(std::move(page));
  return p;
}

bool TIndexFile::FlushPages() {
  std::vector<TPage*> dirty;
  for (TPage* p = oldest_; p; p = p->Newer) {
    if (p->Dirty) dirty.push_back(p);
  }
  if (dirty.empty()) return false;
  std::sort(dirty.begin(), dirty.end(),
            [](const TPage* a, const TPage* b) { return a->Number() < b->Number(); });
  // The file's size is asked once: pages below it cannot grow it.
  int64_t fileSize = -1;
  for (TPage* p : dirty) WritePage(p, fileSize);
  if (force_flush_) Flush();
  return true;
}

void TIndexFile::DiscardPages() {
  while (oldest_) {
    std::unique_ptr<TPage> page = Detach(oldest_);
    if (pool_.size() < kPageStackCapacity) pool_.push_back(std::move(page));
  }
  direct_.clear();
  far_.clear();
}

TIndexPageSet TIndexFile::TakePages() {
  for (const TPage* page = oldest_; page != nullptr; page = page->Newer)
    if (page->Dirty) return {};
  TIndexPageSet set{std::move(direct_), std::move(far_), newest_, oldest_, resident_};
  direct_.clear();
  far_.clear();
  newest_ = oldest_ = nullptr;
  resident_ = 0;
  return set;
}

void TIndexFile::AdoptPages(TIndexPageSet pages) {
  DiscardPages();
  direct_ = std::move(pages.Direct);
  far_ = std::move(pages.Far);
  newest_ = pages.Newest;
  oldest_ = pages.Oldest;
  resident_ = pages.Resident;
  TrimPages();
}

void TIndexFile::TrimPages() {
  if (hold_dirty_) return;
  while (resident_ > capacity_ && oldest_) {
    TPage* victim = oldest_;
    if (victim->Referenced) {
      victim->Referenced = false;
      MoveToNewest(victim);
      continue;
    }
    if (victim->Dirty) WritePage(victim);
    std::unique_ptr<TPage> page = Detach(victim);
    if (pool_.size() < kPageStackCapacity) pool_.push_back(std::move(page));
  }
}

void TIndexFile::SetPageCacheCapacity(uint32_t pages) {
  capacity_ = std::max<uint32_t>(pages, 8);
}
