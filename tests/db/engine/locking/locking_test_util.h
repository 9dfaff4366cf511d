// Shared set-up of the locking tests: one folder with a people table, and sessions on it that
// each open the table through a cursor of their own, with lock retries small enough that a
// timeout takes milliseconds.
#pragma once

#include <memory>
#include <string>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "tests/db/engine/support/table_support.h"

namespace engine_test {

// A session with its directory on folder and one open cursor on table.
struct TSessionOn {
  TDataSession session;
  TDataDirectory* directory = nullptr;
  std::unique_ptr<TDataCursor> cursor;

  TSessionOn(const std::string& folder, const std::string& table) {
    session.SetFileLockAttempts(3);
    session.SetLockRetryCount(2);
    session.SetLockWaitTime(1);
    directory = &session.OpenDirectory("test", folder);
    cursor = std::make_unique<TDataCursor>(*directory);
    cursor->SetTableName(table);
    cursor->OpenCursor();
  }
  TDataTable& Table() { return *cursor->Table(); }
  // The active record count as this session sees it after looking for changes.
  int32_t Count() {
    Table().BeginRead();
    const int32_t count = Table().IndexFile().ActiveRecordCount();
    Table().EndRead();
    return count;
  }
};

// Creates table in folder from definition.
inline void CreateTable(const std::string& folder, const std::string& table,
                        const TTableDefinition& definition) {
  TDataSession session;
  TDataCursor cursor(session.OpenDirectory("test", folder));
  cursor.SetTableName(table);
  cursor.SetExclusive(true);
  cursor.CreateTable(definition, false);
}

// The engine code f raises, or 0.
template <typename F>
uint16_t CodeOf(F&& f) {
  try {
    f();
  } catch (const EVUZODEEngineError& e) {
    return e.EngineCode();
  }
  return 0;
}

}  // namespace engine_test
