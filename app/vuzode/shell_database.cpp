// The shell's session and database (see shell_database.h).
#include "app/vuzode/shell_database.h"

#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/engine/session/table_file_names.h"
#include "db/sql/execution/select_runner.h"

namespace vuzode {
namespace {

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return text;
}

// Milliseconds between two lock attempts of the engine.
constexpr unsigned kLockAttemptMs = 3;

}  // namespace

TShellDatabase::TShellDatabase(const std::string& database, std::optional<unsigned> lockTimeoutMs)
    : session_(std::make_unique<TDataSession>()) {
  InstallSelectRunner();
  std::error_code error;
  const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
  if (SameTableName(database, "Memory")) {
    std::string pattern = (temp / "vuzode_memory_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
      throw std::runtime_error("cannot make a folder for the Memory database under " +
                               temp.string());
    folder_ = pattern;
    scratch_ = true;
  } else {
    folder_ = database;
    std::filesystem::create_directories(folder_, error);
    if (!std::filesystem::is_directory(folder_))
      throw std::runtime_error("cannot open the database folder " + database +
                               (error ? ": " + error.message() : ""));
  }
  session_->SetPrivateDir(temp.string());
  if (lockTimeoutMs) session_->SetFileLockAttempts(*lockTimeoutMs / kLockAttemptMs + 1);
  directory_ = &session_->OpenDirectory(database, folder_.string());
}

TShellDatabase::~TShellDatabase() {
  session_.reset();  // closes every table before its files go
  if (scratch_) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

std::vector<std::string> TShellDatabase::TableNames() const {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, error)) {
    const std::string file = entry.path().filename().string();
    if (file.size() > kDataExtension.size() &&
        Upper(file.substr(file.size() - kDataExtension.size())) == kDataExtension)
      names.push_back(file.substr(0, file.size() - kDataExtension.size()));
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
  return names;
}

std::string TShellDatabase::FindTable(const std::string& name) const {
  for (const std::string& table : TableNames())
    if (SameTableName(table, name)) return table;
  return {};
}

}  // namespace vuzode
