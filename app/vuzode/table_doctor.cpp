// Table check and repair for the shell (see table_doctor.h).
#include "app/vuzode/table_doctor.h"

#include <filesystem>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/table/index_rebuild.h"
#include "db/engine/table/table_check.h"

namespace vuzode {
namespace {

// Holds the table's read lock for a check, released also when the check raises.
class TReadLock {
 public:
  explicit TReadLock(TDataTable& table) : table_(table) { held_ = table_.BeginRead(); }
  ~TReadLock() {
    if (!held_) return;
    try {
      table_.EndRead();
    } catch (const EVUZODEEngineError&) {
      // The lock goes with the files when the cursor closes; the check's outcome stands.
    }
  }
  TReadLock(const TReadLock&) = delete;
  TReadLock& operator=(const TReadLock&) = delete;

 private:
  TDataTable& table_;
  bool held_ = false;
};

// The table does not open: when that is the index file's fault, the file moves to the backup
// name and the engine opens the table with a new index file built from the records. Answers
// whether the table is open now; otherwise every file is as it was.
bool ReplaceIndexFile(TDataCursor& cursor, const std::string& folder, const std::string& table,
                      TRepairReport& report) {
  namespace fs = std::filesystem;
  const fs::path index = fs::path(folder) / (table + ".IDX");
  const fs::path backup = fs::path(folder) / (table + ".IBK");
  std::error_code error;
  if (!fs::exists(index) || fs::exists(backup)) return false;
  fs::rename(index, backup, error);
  if (error) return false;
  try {
    cursor.OpenCursor();
  } catch (const EVUZODEEngineError&) {
    // Not the index file's fault (the data file is damaged): everything goes back.
    fs::remove(index, error);
    fs::rename(backup, index, error);
    return false;
  }
  report.Notes.push_back("the index file could not be read; it is kept as " + table +
                         ".IBK and a new one was built from the records");
  report.Notes.push_back(
      "the index definitions were in the damaged file and are lost: "
      "recreate the primary key and indexes (ALTER TABLE, CREATE INDEX)");
  return true;
}

}  // namespace

std::vector<std::string> CheckShellTable(TDataDirectory& directory, const std::string& table) {
  try {
    TDataCursor cursor(directory);
    cursor.SetTableName(table);
    cursor.SetReadOnly(true);
    cursor.OpenCursor();
    TReadLock lock(*cursor.Table());
    return CheckTable(*cursor.Table());
  } catch (const EVUZODEEngineError& error) {
    return {error.what()};
  }
}

TRepairReport RepairShellTable(TDataDirectory& directory, const std::string& folder,
                               const std::string& table) {
  TRepairReport report;
  TDataCursor cursor(directory);
  cursor.SetTableName(table);
  cursor.SetExclusive(true);
  try {
    cursor.OpenCursor();
  } catch (const EVUZODEEngineError& error) {
    if (error.EngineCode() == VUZODE_OSEACCES || !ReplaceIndexFile(cursor, folder, table, report)) {
      report.Remaining.push_back(std::string("cannot open the table alone: ") + error.what());
      return report;
    }
    report.Remaining = CheckTable(*cursor.Table());
    report.Sound = report.Remaining.empty();
    cursor.CloseCursor();
    return report;
  }
  const std::vector<std::string> before = CheckTable(*cursor.Table());
  cursor.BackupIndex();
  try {
    RebuildIndexes(*cursor.Table());
    cursor.FlushBuffers();
  } catch (const EVUZODEEngineError& error) {
    report.Remaining.push_back(std::string("rebuilding the indexes failed: ") + error.what());
    cursor.RestoreIndex(false, false);
    report.Notes.push_back("the index file is as it was; its copy " + table + ".IBK is kept");
    return report;
  }
  report.Notes.push_back("rebuilt the indexes from the records (" + std::to_string(before.size()) +
                         " problems before)");
  report.Remaining = CheckTable(*cursor.Table());
  report.Sound = report.Remaining.empty();
  if (report.Sound) {
    cursor.RestoreIndex(true, true);
  } else {
    report.Notes.push_back(
        "the data or BLOB file is damaged, which rebuilding the indexes "
        "cannot mend; the old index file is kept as " +
        table + ".IBK");
  }
  cursor.CloseCursor();
  return report;
}

}  // namespace vuzode
