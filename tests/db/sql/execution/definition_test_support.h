// Test support for the definition statements: running a script of statements, the outcome of
// one as text ("" when it runs, else the engine code and the message), and a table's column
// names and rows as the engine holds them.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "tests/db/sql/execution/sql_test_support.h"

namespace sql_test {

// Runs every statement of script (separated by ";"); a SELECT's result is dropped.
inline void RunScript(TSqlDatabase& db, const std::string& script) {
  TQueryStatement statement(&db.Directory());
  statement.Prepare(script);
  std::unique_ptr<TDataCursor> result(statement.Execute());
}

// "" when script runs, else "<code> <detail>".
inline std::string OutcomeOf(TSqlDatabase& db, const std::string& script) {
  try {
    RunScript(db, script);
  } catch (const EVUZODEEngineError& error) {
    return std::to_string(error.EngineCode()) + " " + error.ContextDetail();
  }
  return "";
}

// A cursor on table, or null when there is no such table.
inline std::unique_ptr<TDataCursor> OpenTable(TSqlDatabase& db, const std::string& table) {
  if (!db.Directory().TableExists(table, kDiskTable)) return nullptr;
  auto cursor = std::make_unique<TDataCursor>(db.Directory());
  cursor->SetTableName(table);
  cursor->OpenCursor();
  return cursor;
}

// The column names of table joined by ","; "-" when it does not exist.
inline std::string ColumnsOf(TSqlDatabase& db, const std::string& table) {
  auto cursor = OpenTable(db, table);
  if (!cursor) return "-";
  std::string names;
  for (const std::string& name : TSqlDatabase::Names(*cursor))
    names += (names.empty() ? "" : ",") + name;
  return names;
}

// The rows of table (see TSqlDatabase::RowsOf), sorted, joined by ";".
inline std::string SortedRowsOf(TSqlDatabase& db, const std::string& table) {
  auto cursor = OpenTable(db, table);
  if (!cursor) return "-";
  std::vector<std::string> rows = TSqlDatabase::RowsOf(*cursor);
  std::sort(rows.begin(), rows.end());
  std::string joined;
  for (const std::string& row : rows) joined += (joined.empty() ? "" : ";") + row;
  return joined;
}

}  // namespace sql_test
