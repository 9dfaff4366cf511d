// TShell: input, statements and results (see shell.h); the dot commands are in
// dot_commands.cpp.
#include "app/vuzode/shell.h"

#include <chrono>
#include <cstdio>
#include <memory>

#include "app/vuzode/result_values.h"
#include "app/vuzode/shell_database.h"
#include "app/vuzode/statement_splitter.h"
#include "db/engine/cursor/data_cursor.h"
#include "db/engine/errors/engine_error.h"
#include "db/sql/execution/select_runner.h"
#include "db/sql/statements/query_statement.h"

namespace vuzode {

void TShell::Fail(const std::string& message) {
  err_ << "Error: " << message << "\n" << std::flush;
  failed_ = true;
  if (Bail) stopped_ = true;
}

void TShell::ReportTime(double seconds) {
  if (!timer_) return;
  char text[64];
  std::snprintf(text, sizeof text, "Run Time: real %.3f s\n", seconds);
  out_ << text;
}

void TShell::RunText(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && text[first] == '.') {
    RunCommand(text.substr(first));
    return;
  }
  const TSplitText split = SplitStatements(text);
  for (const std::string& statement : split.Statements) {
    if (stopped_) return;
    RunStatement(statement);
  }
  if (!stopped_ && !IsBlankSql(split.Rest)) RunStatement(StripLineComments(split.Rest));
}

void TShell::RunLines(TLineSource& source) {
  std::string pending;
  std::string line;
  while (!stopped_ && source.ReadLine(pending.empty() ? "vuzode> " : "   ...> ", line)) {
    if (pending.empty()) {
      const size_t first = line.find_first_not_of(" \t");
      if (first == std::string::npos) continue;
      if (line[first] == '.') {
        RunCommand(line.substr(first));
        continue;
      }
    }
    pending += line;
    pending += '\n';
    TSplitText split = SplitStatements(pending);
    for (const std::string& statement : split.Statements) {
      if (stopped_) break;
      RunStatement(statement);
    }
    pending = IsBlankSql(split.Rest) ? std::string() : std::move(split.Rest);
  }
  if (!stopped_ && !pending.empty()) RunStatement(StripLineComments(pending));
}

void TShell::RunStatement(const std::string& sql) {
  if (Echo) out_ << sql << ";\n";
  const auto start = std::chrono::steady_clock::now();
  try {
    TQueryStatement statement(&database_.Directory());
    // A live result reads the source table itself, without copying the rows into a result
    // table, and is the only way BLOB columns come out of a SELECT. Its cursor shows every
    // field of the table, so the select list's columns are picked from it here.
    statement.RequestLive = true;
    statement.Prepare(sql);
    std::unique_ptr<TDataCursor> result(statement.Execute());
    if (result) {
      std::vector<TResultColumn> columns = AllColumns(*result);
      const TQueryPlan* plan = SelectRunner().PlanOf(statement.Master());
      if (statement.ResultIsLive && plan != nullptr) {
        columns.clear();
        for (const auto& column : plan->Columns)
          columns.push_back({column.Name, static_cast<size_t>(column.SourceField - 1)});
      }
      PrintResult(*result, columns);
    }
  } catch (const EVUZODEEngineError& error) {
    out_ << std::flush;
    Fail(error.what());
  } catch (const std::exception& error) {
    out_ << std::flush;
    Fail(error.what());
  }
  ReportTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  out_ << std::flush;
}

void TShell::PrintResult(TDataCursor& cursor, const std::vector<TResultColumn>& columns) {
  std::unique_ptr<TResultWriter> writer = MakeResultWriter(output_, out_);
  std::vector<std::string> names;
  for (const TResultColumn& column : columns) names.push_back(column.Name);
  writer->Begin(names);
  std::vector<uint8_t> record(cursor.RecordSize());
  std::vector<TCell> row;
  cursor.SetToBegin();
  while (cursor.GetNextRecord(record.data()) == 0) {
    ReadRow(cursor, record, columns, row);
    writer->Row(row);
  }
  writer->End();
}

}  // namespace vuzode
