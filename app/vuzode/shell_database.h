// TShellDatabase: the engine session of the shell and the one database it works on: a folder
// of table files (created when missing), or for "Memory" a scratch folder of its own under the
// temporary directory, removed when the shell ends. (The engine's in-memory directory keeps
// no list of its tables and SQL opens a statement's tables as files of the statement's
// directory, so the shell's Memory database is a private folder that lives as long as the
// shell.) Temporary work tables of SQL go to the temporary directory.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TDataSession;
class TDataDirectory;

namespace vuzode {

class TShellDatabase {
 public:
  // Opens database; raises std::runtime_error when its folder cannot be made. lockTimeoutMs
  // bounds the waits for table locks.
  TShellDatabase(const std::string& database, std::optional<unsigned> lockTimeoutMs);
  ~TShellDatabase();
  TShellDatabase(const TShellDatabase&) = delete;
  TShellDatabase& operator=(const TShellDatabase&) = delete;

  TDataDirectory& Directory() { return *directory_; }
  const std::filesystem::path& Folder() const { return folder_; }
  // The tables of the folder (their data files), sorted without regard to case.
  std::vector<std::string> TableNames() const;
  // The table of that name (any case) as it is named on disk; empty when there is none.
  std::string FindTable(const std::string& name) const;

 private:
  std::unique_ptr<TDataSession> session_;
  TDataDirectory* directory_ = nullptr;
  std::filesystem::path folder_;
  bool scratch_ = false;
};

}  // namespace vuzode
