// The result table of a canned result (see result_table.h).
#include "db/sql/execution/result_table.h"

#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/sql/execution/sql_failure.h"
#include "db/sql/execution/work_directories.h"

namespace {

std::mutex& SettingsGuard() {
  static std::mutex guard;
  return guard;
}
std::map<const TDataSession*, uint64_t>& Settings() {
  static std::map<const TDataSession*, uint64_t> settings;
  return settings;
}

std::string WithoutExtension(std::string name) {
  if (name.size() > 4 && name[name.size() - 4] == '.') name.resize(name.size() - 4);
  return name;
}

// Creates the table of definition for cursor under a result name of directory and opens it.
// In memory, names are reused: a memory table's file stays registered after its last close
// (emptied), so fresh names would make the registry grow with every result; a name is taken
// when no table of this directory has it open, and one another session holds open is refused
// by the file registry and passed over.
void CreateResultTable(TDataCursor& cursor, TDataDirectory& directory, bool memory,
                       const TTableDefinition& definition) {
  if (!memory) {
    cursor.SetTableName(WithoutExtension(directory.UniqueTableName(kDiskTable)));
    cursor.CreateTable(definition, false);
    return;
  }
  const std::string prefix =
      "Sys__Result" +
      std::to_string(std::hash<std::thread::id>()(std::this_thread::get_id()) % 100000) + "_";
  constexpr int kAttempts = 10000;
  for (int counter = 0; counter < kAttempts; ++counter) {
    const std::string name = prefix + std::to_string(counter);
    if (directory.FindTable(name, kMemoryTable) != nullptr) continue;
    cursor.SetTableName(name);
    try {
      cursor.CreateTable(definition, true);
      return;
    } catch (const EVUZODEEngineError& error) {
      if (error.EngineCode() != VUZODE_OSEACCES) throw;
    }
  }
  RaiseEngineError(VUZODE_TABLEEXISTS, {}, {}, {}, prefix);
}

}  // namespace

uint64_t CannedResultMemoryLimit(const TDataSession& session) {
  std::lock_guard hold(SettingsGuard());
  auto found = Settings().find(&session);
  return found == Settings().end() ? kDefaultCannedResultMemoryLimit : found->second;
}

void SetCannedResultMemoryLimit(const TDataSession& session, uint64_t bytes) {
  std::lock_guard hold(SettingsGuard());
  Settings()[&session] = bytes;
}

void ForgetCannedResultSettings(const TDataSession& session) {
  std::lock_guard hold(SettingsGuard());
  Settings().erase(&session);
}

std::unique_ptr<TDataCursor> MakeResultCursor(TQueryStatement& statement, TDataQuery& query,
                                              TQueryPlan& plan) {
  if (!statement.Database()) SqlFail("No database is given for the result table");
  TDataSession& session = statement.Database()->Session();
  TTableDefinition definition;
  definition.Fields = plan.Fields;
  definition.LanguageId = static_cast<int16_t>(plan.LanguageId);
  definition.SortId = static_cast<int16_t>(plan.SortId);
  definition.LocaleGiven = plan.LanguageId != 0;
  definition.BlobBlockSize = static_cast<uint32_t>(query.BlobBlockSize);
  if (query.DescriptionGiven) definition.Description = query.Description;

  const bool named = !query.TargetTable.empty();
  const uint64_t bytes = static_cast<uint64_t>(plan.Rows.size());
  const bool memory = query.Memory || (!named && bytes <= CannedResultMemoryLimit(session));
  TDataDirectory& directory = memory  ? MemoryDirectoryOf(session)
                              : named ? *statement.Database()
                                      : PrivateDirectoryOf(session);
  auto cursor = std::make_unique<TDataCursor>(directory);
  cursor->SetInMemory(memory);
  cursor->SetExclusive(true);
  if (named) {
    cursor->SetTableName(query.TargetTable);
    cursor->CreateTable(definition, true);
  } else {
    CreateResultTable(*cursor, directory, memory, definition);
  }
  // A result without INTO goes away with its cursor.
  cursor->SetTemporary(!named);
  cursor->SetResultCursor(true);
  cursor->OpenCursor();
  const size_t size = plan.RecordSize;
  if (cursor->RecordSize() != size)
    SqlFail("Internal error: result record size differs from the result table's");
  if (memory && !named && !query.Memory) {
    // A temporary result within the memory limit is read from memory until something needs
    // the table (TDataCursor::SetPendingRows); a larger one goes to its file as before, so
    // that the cursor does not hold it. The rows move into the cursor.
    const size_t count = plan.RowCount();
    cursor->SetPendingRows(std::move(plan.Rows), count);
    plan.Rows.clear();
    return cursor;
  }
  for (size_t i = 0; i < plan.RowCount(); ++i)
    cursor->AppendRecord(plan.Rows.data() + i * size, false);
  cursor->Refresh();
  cursor->SetToBegin();
  return cursor;
}
