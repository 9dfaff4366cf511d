// Finding or opening the session's work directories (see work_directories.h).
#include "db/sql/execution/work_directories.h"

#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/sql/execution/source_binding.h"

namespace {

TDataDirectory& FindOrOpen(TDataSession& session, const std::string& name,
                           const std::string& folder, bool memory) {
  for (const auto& directory : session.Directories()) {
    const bool isMemory = SameSqlName(directory->DatabaseName(), "Memory");
    if (memory ? isMemory : (!isMemory && directory->Path() == folder)) return *directory;
  }
  return session.OpenDirectory(name, folder);
}

std::string WithSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
  return folder;
}

}  // namespace

TDataDirectory& MemoryDirectoryOf(TDataSession& session) {
  return FindOrOpen(session, "Memory", "", true);
}

TDataDirectory& PrivateDirectoryOf(TDataSession& session) {
  return FindOrOpen(session, "Private", WithSeparator(session.GetPrivateDir()), false);
}

TDataDirectory& FolderDirectoryOf(TDataSession& session, const std::string& folder) {
  if (SameSqlName(folder, "Memory")) return MemoryDirectoryOf(session);
  return FindOrOpen(session, folder, WithSeparator(folder), false);
}
