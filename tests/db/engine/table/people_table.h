// Helpers of the table tests: a people table made through a cursor and filled, the code an
// engine call raises.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_session.h"
#include "tests/db/engine/support/table_support.h"

namespace engine_test {

// Creates the people table name (with a memo field when blob; in memory when memory; encrypted
// with password when given, which the session then knows) and appends ids 1..records.
inline void CreatePeople(TDataDirectory& directory, const std::string& name, int records,
                         bool blob = false, bool memory = false, const std::string& password = {}) {
  TTableDefinition definition = PeopleDefinition(blob);
  if (!password.empty()) {
    definition.Encrypted = true;
    definition.Password = password;
    directory.Session().AddPassword(password);
  }
  TDataCursor cursor(directory);
  cursor.SetTableName(name);
  cursor.SetExclusive(true);
  cursor.SetInMemory(memory);
  cursor.CreateTable(definition, false);
  cursor.OpenCursor();
  for (int id = 1; id <= records; ++id) AppendPerson(*cursor.Table(), id, "p" + std::to_string(id));
}

// The engine code call raises; 0 when it returns.
inline uint16_t CodeOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EVUZODEEngineError& e) {
    return e.EngineCode();
  }
  return 0;
}

}  // namespace engine_test
