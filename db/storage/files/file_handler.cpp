// TFileHandler: registry calls and transfers, with failures raised as engine errors.
#include "db/storage/files/file_handler.h"

#include <cerrno>
#include <vector>

#include "db/engine/errors/engine_error.h"
#include "db/storage/files/commit_journal.h"
#include "db/storage/files/file_list.h"
#include "db/storage/files/os_error_map.h"

TFileHandler::~TFileHandler() {
  TFileHandler::Close();
}

void TFileHandler::RaiseFileError(uint16_t code) const {
  RaiseEngineError(code, {}, {}, {}, file_name_);
}

void TFileHandler::Open() {
  if (opened_) return;
  if (!FileList().FileExists(file_name_, in_memory_)) {
    platform::SetLastOsError(ENOENT);
    RaiseFileError(VUZODE_OSENOENT);
  }
  bool read_only = false;
  bool read_only_attribute = false;
  TAbstractFile* file = nullptr;
  const int64_t id = FileList().OpenFile(file_name_, in_memory_, temporary_, exclusive_, read_only,
                                         read_only_attribute, file);
  if (id < 0) RaiseFileError(static_cast<uint16_t>(-id));
  read_only_ = read_only;
  read_only_attribute_ = read_only_attribute;
  file_ = file;
  handle_id_ = static_cast<uint32_t>(id);
  opened_ = true;
}

void TFileHandler::Close() {
  if (file_ != nullptr && handle_id_ != 0) {
    TOsErrorKeeper keep;
    FileList().CloseFile(file_, in_memory_, handle_id_);
  }
  file_ = nullptr;
  handle_id_ = 0;
  opened_ = false;
}

void TFileHandler::CreateFile() {
  TAbstractFile* file = nullptr;
  const int64_t id = FileList().CreateFile(file_name_, in_memory_, temporary_, file);
  if (id < 0) RaiseFileError(static_cast<uint16_t>(-id));
  file_ = file;
  handle_id_ = static_cast<uint32_t>(id);
  read_only_ = false;
  read_only_attribute_ = false;
  opened_ = true;
}

void TFileHandler::DeleteFile() {
  const int result = FileList().DeleteFile(file_name_, in_memory_);
  if (result < 0) RaiseFileError(static_cast<uint16_t>(-result));
}

void TFileHandler::RenameFile(const std::string& newName) {
  const int result = FileList().RenameFile(file_name_, in_memory_, newName);
  if (result < 0) RaiseFileError(static_cast<uint16_t>(-result));
  file_name_ = newName;
}

void TFileHandler::SaveToFile(const std::string& destName, uint16_t progressStep,
                              TProgressCallback progress, void* userData) {
  if (!opened_ || file_ == nullptr) return;
  const int result = FileList().CopyToFile(file_, handle_id_, progressStep, progress, userData,
                                           destName, in_memory_);
  if (result < 0) RaiseFileError(static_cast<uint16_t>(-result));
}

void TFileHandler::LoadFromFile(const std::string& sourceName, uint16_t progressStep,
                                TProgressCallback progress, void* userData) {
  if (!opened_ || file_ == nullptr) return;
  const int result = FileList().CopyFromFile(file_, handle_id_, progressStep, progress, userData,
                                             sourceName, in_memory_);
  if (result < 0) RaiseFileError(static_cast<uint16_t>(-result));
}

int64_t TFileHandler::Position() const {
  const int64_t position = file_->Seek(handle_id_, kSeekFromCurrent, 0);
  if (position < 0) RaiseFileError(EngineCodeOfOsError(platform::LastOsError()));
  return position;
}

void TFileHandler::SetCapture(TCommitJournal* journal, uint8_t id) {
  capture_ = journal;
  capture_id_ = id;
  // A memory file has no journal to be safe with; a physical one may take writes past its end.
  if (journal != nullptr && file_ != nullptr && !in_memory_) {
    const int64_t size = file_->GetSize();
    if (size < 0) RaiseFileError(EngineCodeOfOsError(platform::LastOsError()));
    journal->StartFile(id, size);
  }
}

void TFileHandler::CaptureWrite(const void* buffer, uint32_t count) {
  const int64_t position = Position();
  if (count > 0 && capture_->WritesThrough(capture_id_, position)) {
    platform::SetLastOsError(0);
    if (file_->Write(handle_id_, buffer, count) != count) RaiseFileError(VUZODE_WRITEERR);
    capture_->WroteThrough(capture_id_, position, count);
    return;
  }
  // The first write of a header (offset 0) notes the header as it is on disk: a journal left
  // behind is replayed only over that state or its own (commit_journal.h, (3)).
  if (position == 0 && count > 0 && !capture_->HasPreImage(capture_id_)) {
    std::vector<uint8_t> old(count);
    platform::SetLastOsError(0);
    const int64_t got = file_->Read(handle_id_, old.data(), count);
    if (got < 0) RaiseFileError(VUZODE_READERR);
    capture_->RecordPreImage(capture_id_, count, {old.data(), static_cast<size_t>(got)});
  }
  capture_->Record(capture_id_, position, buffer, count);
  if (file_->Seek(handle_id_, kSeekFromStart, position + count) < 0) {
    RaiseFileError(EngineCodeOfOsError(platform::LastOsError()));
  }
}

uint32_t TFileHandler::Read(void* buffer, uint32_t count, bool allowShort) {
  int64_t got = 0;
  if (file_ != nullptr) {
    const int64_t position = capture_ != nullptr ? Position() : 0;
    platform::SetLastOsError(0);  // a read cut short by the end of the file has no OS error
    got = file_->Read(handle_id_, buffer, count);
    if (capture_ != nullptr && got >= 0) {
      got = capture_->Overlay(capture_id_, position, static_cast<uint8_t*>(buffer), count,
                              static_cast<uint32_t>(got));
      file_->Seek(handle_id_, kSeekFromStart, position + got);
    }
  } else {
    platform::SetLastOsError(EBADF);
  }
  if (got < 0 || (got != count && !allowShort)) RaiseFileError(VUZODE_READERR);
  return static_cast<uint32_t>(got);
}

void TFileHandler::Write(const void* buffer, uint32_t count) {
  if (capture_ != nullptr && file_ != nullptr) {
    CaptureWrite(buffer, count);
    return;
  }
  int64_t put = -1;
  if (file_ != nullptr) {
    platform::SetLastOsError(0);
    put = file_->Write(handle_id_, buffer, count);
  } else {
    platform::SetLastOsError(EBADF);
  }
  if (put != count) RaiseFileError(VUZODE_WRITEERR);
}

void TFileHandler::Flush() {
  if (file_ == nullptr || capture_ != nullptr) return;
  if (!file_->Flush(handle_id_)) RaiseFileError(VUZODE_WRITEERR);
}

int64_t TFileHandler::Seek(int64_t offset) {
  if (file_ == nullptr) return 0;
  const int64_t position = file_->Seek(handle_id_, kSeekFromStart, offset);
  if (position < 0) RaiseFileError(EngineCodeOfOsError(platform::LastOsError()));
  return position;
}

int64_t TFileHandler::GetFileSize() {
  if (file_ == nullptr) return 0;
  const int64_t size = file_->GetSize();
  if (size < 0) RaiseFileError(EngineCodeOfOsError(platform::LastOsError()));
  return capture_ != nullptr ? capture_->SizeAfter(capture_id_, size) : size;
}

bool TFileHandler::Stamp(platform::TFileStamp& stamp) {
  return file_ != nullptr && capture_ == nullptr && file_->Stamp(stamp);
}

bool TFileHandler::LockRegion(int64_t length, int64_t offset) {
  return file_ != nullptr && file_->LockRegion(length, offset);
}

bool TFileHandler::UnlockRegion(int64_t length, int64_t offset) {
  return file_ != nullptr && file_->UnlockRegion(length, offset);
}

bool TFileHandler::FileExists() {
  return FileList().FileExists(file_name_, in_memory_);
}

void TFileHandler::BeginAccess() {
  if (file_ != nullptr) file_->Enter();
}

void TFileHandler::EndAccess() {
  if (file_ != nullptr) file_->Leave();
}
