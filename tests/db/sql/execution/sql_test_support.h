// Test support for SELECT execution: a scratch database with tables made from short column
// lists and filled from rows of texts, and queries run through the select runner whose
// results come back as text rows ("a|b|NULL").
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/sql/execution/select_runner.h"
#include "db/sql/execution/statement_headers.h"
#include "db/storage/data/field_value.h"
#include "tests/db/engine/support/table_support.h"

namespace sql_test {

// A column of a test table: "name:i" integer, "name:s" string(20), "name:f" float,
// "name:l" large integer.
struct TColumn {
  std::string Name;
  char Kind = 'i';
};

using TRow = engine_test::TTextRow;  // nullopt: NULL

class TSqlDatabase {
 public:
  TSqlDatabase() {
    directory_ = &session_.OpenDirectory("test", folder_.Path());
    session_.SetPrivateDir(folder_.Path());
    InstallSelectRunner();
  }
  TDataSession& Session() { return session_; }
  TDataDirectory& Directory() { return *directory_; }
  const engine_test::TScratchFolder& Folder() const { return folder_; }

  // Creates table with columns; indexes lists index field lists (1-based numbers), the first
  // the primary key when primary is set.
  void CreateTable(const std::string& table, const std::vector<TColumn>& columns,
                   const std::vector<std::vector<uint16_t>>& indexes = {}, bool primary = false) {
    TTableDefinition definition;
    uint16_t number = 1;
    for (const TColumn& c : columns) {
      const uint8_t type = c.Kind == 's'   ? kFieldString
                           : c.Kind == 'f' ? kFieldFloat
                           : c.Kind == 'l' ? kFieldLargeInt
                                           : kFieldInteger;
      definition.Fields.push_back(
          engine_test::MakeField(number++, c.Name, type, type == kFieldString ? 20 : 0));
    }
    if (!primary) definition.Indexes.push_back(IndexDescriptor{});
    int counter = 0;
    for (const auto& fields : indexes) {
      const bool first = primary && counter == 0;
      definition.Indexes.push_back(engine_test::MakeIndexDefinition(
          first ? "" : "IX" + std::to_string(counter), fields, first));
      ++counter;
    }
    TDataCursor cursor(*directory_);
    cursor.SetTableName(table);
    cursor.SetExclusive(true);
    cursor.CreateTable(definition, false);
  }

  // Appends rows (texts converted by the field types) to table.
  void Insert(const std::string& table, const std::vector<TRow>& rows) {
    engine_test::AppendTextRows(*directory_, table, rows);
  }

  // Runs sql; answers the result cursor and sets live.
  std::unique_ptr<TDataCursor> Open(const std::string& sql, bool requestLive = false,
                                    int32_t maxRows = -1, bool* live = nullptr) {
    TQueryStatement statement(directory_);
    statement.RequestLive = requestLive;
    statement.MaxRowCount = maxRows;
    statement.Prepare(sql);
    std::unique_ptr<TDataCursor> result(statement.Execute());
    if (live) *live = statement.ResultIsLive;
    return result;
  }

  // The rows of sql as texts, in result order.
  std::vector<std::string> Rows(const std::string& sql, bool requestLive = false,
                                int32_t maxRows = -1, bool* live = nullptr) {
    auto cursor = Open(sql, requestLive, maxRows, live);
    return RowsOf(*cursor);
  }

  // The SQL error detail of sql, or "" when it runs.
  std::string ErrorOf(const std::string& sql) {
    try {
      Rows(sql);
    } catch (const EVUZODEEngineError& error) {
      return error.ContextDetail();
    }
    return "";
  }

  static std::string ValueText(const TDataCursor& cursor, const std::vector<uint8_t>& buffer,
                               size_t field) {
    const FieldDescriptor& f = cursor.FieldDescriptors()[field];
    TConstRecordImage image(buffer.data(), buffer.size());
    if (!f.IsAutoIncrement() && IsFieldNull(image, f)) return "NULL";
    switch (f.Type) {
      case kFieldString: {
        std::string text;
        GetFieldString(image, f, text);
        return text;
      }
      case kFieldFloat: {
        double value = 0;
        GetFieldFloat(image, f, value);
        char out[64];
        std::snprintf(out, sizeof out, "%.6g", value);
        return out;
      }
      default: {
        int64_t value = 0;
        GetFieldInteger(image, f, value);
        return std::to_string(value);
      }
    }
  }

  static std::vector<std::string> RowsOf(TDataCursor& cursor) {
    std::vector<std::string> rows;
    std::vector<uint8_t> buffer(cursor.RecordSize());
    cursor.SetToBegin();
    while (cursor.GetNextRecord(buffer.data()) == 0) {
      std::string row;
      for (size_t i = 0; i < cursor.FieldDescriptors().size(); ++i) {
        if (i) row += '|';
        row += ValueText(cursor, buffer, i);
      }
      rows.push_back(row);
    }
    return rows;
  }

  static std::vector<std::string> Names(const TDataCursor& cursor) {
    std::vector<std::string> names;
    for (const FieldDescriptor& f : cursor.FieldDescriptors()) names.push_back(f.Name);
    return names;
  }

 private:
  engine_test::TScratchFolder folder_;
  TDataSession session_;
  TDataDirectory* directory_ = nullptr;
};

}  // namespace sql_test
