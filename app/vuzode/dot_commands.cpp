// The shell's dot commands: a line starting with "." names a command and its arguments,
// separated by blanks; an argument may be quoted with ' or ".
#include <fstream>
#include <stdexcept>

#include "app/vuzode/csv_import.h"
#include "app/vuzode/line_input.h"
#include "app/vuzode/schema_text.h"
#include "app/vuzode/shell.h"
#include "app/vuzode/shell_database.h"
#include "app/vuzode/table_doctor.h"
#include "db/engine/cursor/data_cursor.h"
#include "db/engine/table/restructure.h"

namespace vuzode {
namespace {

// .read files may read others, up to this depth (a file reading itself ends here).
constexpr int kMaxReadDepth = 16;
// Problems of one table shown by .check and .repair; the rest are counted.
constexpr size_t kMaxProblemsShown = 20;

constexpr char kHelp[] =
    ".check [TABLE]           check a table (all tables without TABLE): prints ok or each "
    "problem\n"
    ".headers on|off          show column names in list and csv modes\n"
    ".help                    show this text\n"
    ".import --csv [--skip N] FILE TABLE\n"
    "                         append the records of a CSV file to an existing table\n"
    ".indexes [TABLE]         list the indexes of a table (of all tables without TABLE)\n"
    ".mode list|csv|json|box  set the output mode\n"
    ".nullvalue TEXT          the text shown for NULL\n"
    ".quit                    leave the shell (also .exit)\n"
    ".read FILE               run the statements and commands of FILE\n"
    ".repair TABLE            rebuild the indexes of a table from its records\n"
    ".schema [TABLE]          the CREATE statements of a table (of all tables without TABLE)\n"
    ".separator TEXT          the column separator of list and csv modes\n"
    ".tables                  list the tables\n"
    ".timer on|off            show how long each statement took\n";

std::vector<std::string> SplitArguments(const std::string& line) {
  std::vector<std::string> args;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string arg;
    if (line[i] == '"' || line[i] == '\'') {
      const char quote = line[i++];
      while (i < line.size() && line[i] != quote) arg += line[i++];
      ++i;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') arg += line[i++];
    }
    args.push_back(std::move(arg));
  }
  return args;
}

bool OnOff(const std::string& word, bool& value) {
  if (word == "on" || word == "yes" || word == "1") {
    value = true;
  } else if (word == "off" || word == "no" || word == "0") {
    value = false;
  } else {
    return false;
  }
  return true;
}

// The definition of an existing table, read through a read-only cursor.
TTableDefinition DefinitionOf(TDataDirectory& directory, const std::string& table) {
  TDataCursor cursor(directory);
  cursor.SetTableName(table);
  cursor.SetReadOnly(true);
  cursor.OpenCursor();
  return CurrentDefinition(*cursor.Table());
}

}  // namespace

void TShell::RunCommand(const std::string& line) {
  if (Echo) out_ << line << "\n";
  const std::vector<std::string> args = SplitArguments(line);
  const std::string name = args.empty() ? "" : args[0];
  const auto usage = [&](const char* text) { Fail(std::string("usage: ") + text); };
  try {
    if (name == ".quit" || name == ".exit") {
      stopped_ = true;
    } else if (name == ".help") {
      out_ << kHelp;
    } else if (name == ".tables") {
      ShowTables();
    } else if (name == ".schema") {
      ShowSchema(args);
    } else if (name == ".indexes" || name == ".indices") {
      ShowIndexes(args);
    } else if (name == ".import") {
      Import(args);
    } else if (name == ".read") {
      ReadFile(args);
    } else if (name == ".check") {
      Check(args);
    } else if (name == ".repair") {
      Repair(args);
    } else if (name == ".mode") {
      if (args.size() != 2 || !ModeFromName(args[1], output_.Mode))
        return usage(".mode list|csv|json|box");
    } else if (name == ".headers" || name == ".header") {
      if (args.size() != 2 || !OnOff(args[1], output_.Headers)) return usage(".headers on|off");
    } else if (name == ".timer") {
      if (args.size() != 2 || !OnOff(args[1], timer_)) return usage(".timer on|off");
    } else if (name == ".separator") {
      if (args.size() != 2) return usage(".separator TEXT");
      output_.Separator = args[1];
      output_.SeparatorGiven = true;
    } else if (name == ".nullvalue") {
      if (args.size() != 2) return usage(".nullvalue TEXT");
      output_.NullText = args[1];
    } else {
      Fail("unknown command: \"" + name + "\". Enter \".help\" for the commands");
    }
  } catch (const EVUZODEEngineError& error) {
    Fail(error.what());
  } catch (const std::exception& error) {
    Fail(error.what());
  }
  out_ << std::flush;
}

bool TShell::ResolveTable(const std::string& name, std::string& table) {
  table = database_.FindTable(name);
  if (table.empty()) Fail("no such table: " + name);
  return !table.empty();
}

bool TShell::TablesNamedBy(const std::vector<std::string>& args, std::vector<std::string>& tables) {
  if (args.size() <= 1) {
    tables = database_.TableNames();
    return true;
  }
  std::string table;
  if (!ResolveTable(args[1], table)) return false;
  tables.assign(1, table);
  return true;
}

void TShell::ShowTables() {
  for (const std::string& table : database_.TableNames()) out_ << table << "\n";
}

void TShell::ShowSchema(const std::vector<std::string>& args) {
  std::vector<std::string> tables;
  if (!TablesNamedBy(args, tables)) return;
  for (const std::string& table : tables)
    out_ << SchemaText(table, DefinitionOf(database_.Directory(), table));
}

void TShell::ShowIndexes(const std::vector<std::string>& args) {
  if (args.size() > 1) {
    std::string table;
    if (!ResolveTable(args[1], table)) return;
    out_ << IndexNamesText(DefinitionOf(database_.Directory(), table));
    return;
  }
  for (const std::string& table : database_.TableNames()) {
    const std::string names = IndexNamesText(DefinitionOf(database_.Directory(), table));
    for (size_t at = 0; at < names.size();) {
      const size_t end = names.find('\n', at);
      out_ << table << "." << names.substr(at, end - at) << "\n";
      at = end + 1;
    }
  }
}

void TShell::Import(const std::vector<std::string>& args) {
  TImportRequest request;
  std::vector<std::string> rest;
  bool csv = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--csv") {
      csv = true;
    } else if (args[i] == "--skip" && i + 1 < args.size()) {
      request.SkipLines = std::stoull(args[++i]);
    } else {
      rest.push_back(args[i]);
    }
  }
  if (!csv || rest.size() != 2) return Fail("usage: .import --csv [--skip N] FILE TABLE");
  request.File = rest[0];
  if (!ResolveTable(rest[1], request.Table)) return;
  if (output_.SeparatorGiven && output_.Separator.size() == 1)
    request.Separator = output_.Separator[0];
  request.Progress = Interactive;
  const TImportResult result = ImportCsv(database_.Directory(), request, err_);
  if (Interactive)
    out_ << "imported " << result.Imported << " records into " << request.Table << "\n";
  if (result.Rejected > 0)
    Fail(std::to_string(result.Rejected) + " bad records of " + request.File + " were left out; " +
         std::to_string(result.Imported) + " records were imported");
}

void TShell::ReadFile(const std::vector<std::string>& args) {
  if (args.size() != 2) return Fail("usage: .read FILE");
  if (read_depth_ >= kMaxReadDepth)
    return Fail(".read nested more than " + std::to_string(kMaxReadDepth) + " deep");
  std::ifstream in(args[1]);
  if (!in) return Fail("cannot open \"" + args[1] + "\"");
  const std::unique_ptr<TLineSource> source = StreamLines(in);
  ++read_depth_;
  RunLines(*source);
  --read_depth_;
}

void TShell::Check(const std::vector<std::string>& args) {
  std::vector<std::string> tables;
  if (!TablesNamedBy(args, tables)) return;
  bool damaged = false;
  for (const std::string& table : tables) {
    const std::vector<std::string> problems = CheckShellTable(database_.Directory(), table);
    const std::string prefix = args.size() > 1 ? "" : table + ": ";
    if (problems.empty()) out_ << prefix << "ok\n";
    for (size_t i = 0; i < problems.size() && i < kMaxProblemsShown; ++i)
      out_ << prefix << problems[i] << "\n";
    if (problems.size() > kMaxProblemsShown)
      out_ << prefix << "... and " << problems.size() - kMaxProblemsShown << " more problems\n";
    damaged = damaged || !problems.empty();
  }
  if (damaged) Fail(".check found damage");
}

void TShell::Repair(const std::vector<std::string>& args) {
  if (args.size() != 2) return Fail("usage: .repair TABLE");
  std::string table;
  if (!ResolveTable(args[1], table)) return;
  const TRepairReport report =
      RepairShellTable(database_.Directory(), database_.Folder().string(), table);
  for (const std::string& note : report.Notes) out_ << note << "\n";
  for (size_t i = 0; i < report.Remaining.size() && i < kMaxProblemsShown; ++i)
    out_ << report.Remaining[i] << "\n";
  if (report.Remaining.size() > kMaxProblemsShown)
    out_ << "... and " << report.Remaining.size() - kMaxProblemsShown << " more problems\n";
  if (report.Sound) {
    out_ << "ok\n";
  } else {
    Fail(".repair could not mend " + table);
  }
}

}  // namespace vuzode
