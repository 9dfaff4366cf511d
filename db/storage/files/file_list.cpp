// TFileList: registry operations and the two copies.
#include "db/storage/files/file_list.h"

#include <cerrno>
#include <mutex>

#include "db/engine/errors/engine_error_codes.h"
#include "db/storage/files/memory_file.h"
#include "db/storage/files/os_error_map.h"
#include "db/storage/files/physical_file.h"
#include "platform/os/file.h"
#include "platform/os/path.h"

namespace {

int64_t Refuse(int error, uint16_t code) {
  platform::SetLastOsError(error);
  return -static_cast<int64_t>(code);
}

std::unique_ptr<TAbstractFile> NewFile(bool inMemory) {
  if (inMemory) return std::make_unique<TMemoryFile>();
  return std::make_unique<TPhysicalFile>();
}

// A handle that a copy opened on another file; closed when the copy ends, however it ends.
class TCopyHandle {
 public:
  TCopyHandle(TFileList& list, bool inMemory) : list_(list), in_memory_(inMemory) {}
  ~TCopyHandle() {
    if (file_ == nullptr) return;
    TOsErrorKeeper keep;
    list_.CloseFile(file_, in_memory_, static_cast<uint32_t>(id_));
  }
  TCopyHandle(const TCopyHandle&) = delete;
  TCopyHandle& operator=(const TCopyHandle&) = delete;

  TAbstractFile* file_ = nullptr;
  int64_t id_ = 0;

 private:
  TFileList& list_;
  bool in_memory_;
};

}  // namespace

TFileList::~TFileList() {
  files_.clear();
}

TAbstractFile* TFileList::Find(const std::string& name, bool inMemory) {
  for (const TEntry& entry : files_) {
    if (entry.in_memory == inMemory && platform::SameFileName(entry.file->FileName(), name)) {
      return entry.file.get();
    }
  }
  return nullptr;
}

int64_t TFileList::CreateFile(const std::string& name, bool inMemory, bool temporary,
                              TAbstractFile*& file) {
  std::lock_guard hold(guard_);
  file = nullptr;
  TAbstractFile* existing = Find(name, inMemory);
  if (existing != nullptr && existing->OpenCount() > 0) return Refuse(EBUSY, VUZODE_OSEACCES);
  std::unique_ptr<TAbstractFile> made;
  TAbstractFile* target = existing;
  if (target == nullptr) {
    made = NewFile(inMemory);
    target = made.get();
  }
  target->SetFileName(platform::NormalizeFileName(name));
  target->SetExclusive(true);
  target->SetTemporary(temporary);
  const int64_t id = target->CreateFile();
  if (id < 0) return id;
  if (made != nullptr) files_.push_back({inMemory, std::move(made)});
  file = target;
  return id;
}

int64_t TFileList::OpenFile(const std::string& name, bool inMemory, bool temporary, bool exclusive,
                            bool& readOnly, bool& readOnlyAttribute, TAbstractFile*& file) {
  std::lock_guard hold(guard_);
  file = nullptr;
  TAbstractFile* existing = Find(name, inMemory);
  int64_t id = 0;
  if (existing != nullptr && existing->OpenCount() > 0) {
    if (existing->Exclusive() || exclusive) return Refuse(EBUSY, VUZODE_OSEACCES);
    id = existing->OpenFile();
  } else if (existing != nullptr) {
    existing->SetExclusive(exclusive);
    existing->SetTemporary(temporary);
    id = existing->OpenFile();
  } else if (inMemory) {
    return Refuse(ENOENT, VUZODE_OSENOENT);
  } else {
    auto made = std::make_unique<TPhysicalFile>();
    made->SetFileName(platform::NormalizeFileName(name));
    made->SetExclusive(exclusive);
    made->SetTemporary(temporary);
    id = made->OpenFile();
    if (id < 0) return id;
    existing = made.get();
    files_.push_back({false, std::move(made)});
  }
  if (id < 0) return id;
  readOnly = existing->ReadOnly();
  readOnlyAttribute = existing->ReadOnlyAttribute();
  file = existing;
  return id;
}

int TFileList::CloseFile(TAbstractFile* file, bool inMemory, uint32_t id) {
  std::lock_guard hold(guard_);
  auto entry = files_.begin();
  while (entry != files_.end() && !(entry->file.get() == file && entry->in_memory == inMemory)) {
    ++entry;
  }
  if (entry == files_.end() || file->OpenCount() == 0) {
    return static_cast<int>(Refuse(ENOENT, VUZODE_OSENOENT));
  }
  file->CloseHandle(id);
  if (file->OpenCount() > 0) return 0;
  if (!inMemory) {
    files_.erase(entry);
  } else if (file->Temporary()) {
    file->Delete();
  }
  return 0;
}

int TFileList::RenameFile(const std::string& name, bool inMemory, const std::string& newName) {
  std::lock_guard hold(guard_);
  TAbstractFile* existing = Find(name, inMemory);
  if (existing != nullptr && existing->OpenCount() > 0) {
    return static_cast<int>(Refuse(EBUSY, VUZODE_OSEACCES));
  }
  if (inMemory) {
    if (existing == nullptr) return static_cast<int>(Refuse(ENOENT, VUZODE_OSENOENT));
    // Two memory files of one name would break invariant (1); a rename never replaces a file.
    TAbstractFile* taken = Find(newName, true);
    if (taken != nullptr && taken != existing) {
      return static_cast<int>(Refuse(EEXIST, VUZODE_OSUNKNOWN));
    }
    return existing->Rename(platform::NormalizeFileName(newName));
  }
  if (existing != nullptr) return existing->Rename(platform::NormalizeFileName(newName));
  TPhysicalFile transient;
  transient.SetFileName(platform::NormalizeFileName(name));
  return transient.Rename(platform::NormalizeFileName(newName));
}

int TFileList::DeleteFile(const std::string& name, bool inMemory) {
  std::lock_guard hold(guard_);
  TAbstractFile* existing = Find(name, inMemory);
  if (existing != nullptr && existing->OpenCount() > 0) {
    return static_cast<int>(Refuse(EBUSY, VUZODE_OSEACCES));
  }
  if (existing != nullptr) {
    const int result = existing->Delete();
    if (result < 0) return result;
    std::erase_if(files_, [&](const TEntry& entry) { return entry.file.get() == existing; });
    return 0;
  }
  if (inMemory) return static_cast<int>(Refuse(ENOENT, VUZODE_OSENOENT));
  TPhysicalFile transient;
  transient.SetFileName(platform::NormalizeFileName(name));
  return transient.Delete();
}

bool TFileList::FileExists(const std::string& name, bool inMemory) {
  std::lock_guard hold(guard_);
  if (Find(name, inMemory) != nullptr) return true;
  return !inMemory && platform::OsFileExists(name);
}

int TFileList::CopyToFile(TAbstractFile* file, uint32_t id, uint16_t progressStep,
                          TProgressCallback progress, void* userData, const std::string& destName,
                          bool destInMemory) {
  std::lock_guard hold(guard_);
  TFileAccessGuard source_access(*file);
  TCopyHandle dest(*this, destInMemory);
  dest.id_ = CreateFile(destName, destInMemory, false, dest.file_);
  if (dest.id_ < 0) return static_cast<int>(dest.id_);
  TFileAccessGuard dest_access(*dest.file_);
  return CopyFileContent(*file, id, *dest.file_, static_cast<uint32_t>(dest.id_), progressStep,
                         progress, userData);
}

int TFileList::CopyFromFile(TAbstractFile* file, uint32_t id, uint16_t progressStep,
                            TProgressCallback progress, void* userData,
                            const std::string& sourceName, bool sourceInMemory) {
  std::lock_guard hold(guard_);
  TFileAccessGuard dest_access(*file);
  TCopyHandle source(*this, sourceInMemory);
  bool read_only = false;
  bool read_only_attribute = false;
  source.id_ = OpenFile(sourceName, sourceInMemory, false, true, read_only, read_only_attribute,
                        source.file_);
  if (source.id_ < 0) return static_cast<int>(source.id_);
  TFileAccessGuard source_access(*source.file_);
  return CopyFileContent(*source.file_, static_cast<uint32_t>(source.id_), *file, id, progressStep,
                         progress, userData);
}

size_t TFileList::Count() {
  std::lock_guard hold(guard_);
  return files_.size();
}

TFileList& FileList() {
  static TFileList list;
  return list;
}
