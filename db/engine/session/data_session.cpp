// TDataSession: settings, passwords and the directories of a session (see the header).
#include "db/engine/session/data_session.h"

#include <algorithm>

#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/table_file_names.h"
#include "platform/os/path.h"
#include "platform/os/system.h"

namespace {

bool IsMemoryDatabase(std::string_view name) {
  return SameTableName(name, "Memory");
}

}  // namespace

TDataSession::TDataSession(int32_t serverSide)
    : server_side_(serverSide),
      working_directory_(DirectoryPathOf(platform::CurrentDirectory())),
      private_directory_(DirectoryPathOf(platform::TempDirectory())) {}

TDataSession::~TDataSession() {
  passwords_.clear();
  // Destroying a directory rolls back its transaction and frees its tables; one that fails
  // must not keep the others open.
  for (auto& directory : directories_) directory.reset();
  directories_.clear();
}

uint16_t TDataSession::ProgressPercentStep() const {
  return progress_steps_ == 0 ? 100 : static_cast<uint16_t>(100 / progress_steps_);
}

void TDataSession::SetBufferSettings(uint32_t dataBytes, uint32_t dataCount, uint32_t indexBytes,
                                     uint32_t blobBytes, uint32_t blobCount) {
  data_buffer_bytes_ = dataBytes;
  data_buffer_count_ = dataCount;
  index_buffer_bytes_ = indexBytes;
  blob_buffer_bytes_ = blobBytes;
  blob_buffer_count_ = blobCount;
}

void TDataSession::SetPrivateDir(std::string_view folder) {
  const std::string path = DirectoryPathOf(folder);
  if (path != private_directory_) private_directory_ = path;
}

const std::string& TDataSession::GetPrivateDir() const {
  return private_directory_.empty() ? working_directory_ : private_directory_;
}

void TDataSession::AddPassword(std::string_view password) {
  if (password.empty() || HasPassword(password)) return;
  passwords_.emplace_back(password.substr(0, kMaxErrorItemLength));
}

void TDataSession::RemovePassword(std::string_view password) {
  auto it = std::find(passwords_.begin(), passwords_.end(), password);
  if (it != passwords_.end()) passwords_.erase(it);
}

void TDataSession::RemoveAllPasswords() {
  passwords_.clear();
}

bool TDataSession::HasPassword(std::string_view password) const {
  return std::find(passwords_.begin(), passwords_.end(), password) != passwords_.end();
}

TDataDirectory& TDataSession::OpenDirectory(std::string_view databaseName, std::string_view folder,
                                            bool /*flag*/) {
  if (remote_) {
    RaiseEngineError(VUZODE_REMOTECONNECT, remote_settings_.Address, remote_settings_.User,
                     databaseName, {}, {}, {}, "remote sessions are not available");
  }
  std::string path = DirectoryPathOf(folder);
  if (path.empty() && !IsMemoryDatabase(databaseName)) path = working_directory_;
  for (auto& directory : directories_) {
    if (platform::SameFileName(directory->Path(), path)) {
      directory->AddUser();
      return *directory;
    }
  }
  auto directory = std::make_unique<TDataDirectory>(*this, databaseName, path);
  directory->AddUser();
  directories_.push_back(std::move(directory));
  return *directories_.back();
}

void TDataSession::CloseDirectory(TDataDirectory* directory, bool /*flag*/) {
  auto it = std::find_if(directories_.begin(), directories_.end(),
                         [directory](const auto& d) { return d.get() == directory; });
  if (it == directories_.end() || (*it)->UseCount() == 0) return;
  if ((*it)->RemoveUser() > 0) return;
  std::unique_ptr<TDataDirectory> freed = std::move(*it);
  directories_.erase(it);
  freed.reset();
}
