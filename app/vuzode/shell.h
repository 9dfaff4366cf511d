// TShell: runs SQL statements and dot commands against the shell's database and writes their
// results in the current output mode.
//
// Invariants:
//   (1) Every failure is written to the error stream as "Error: " and a message and sets
//       Failed(); with bail set it also stops the shell. Nothing that failed is reported done.
//   (2) A statement is run only when complete (its ";" read) or at the end of the input.
//   (3) A statement reported done outside a transaction has reached the table files: the
//       engine writes a change through (or commits the statement's own transaction) before
//       the statement returns.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/vuzode/line_input.h"
#include "app/vuzode/output_modes.h"
#include "app/vuzode/result_values.h"

class TDataCursor;

namespace vuzode {

class TShellDatabase;

class TShell {
 public:
  TShell(TShellDatabase& database, const TOutputSettings& output, std::ostream& out,
         std::ostream& err)
      : database_(database), output_(output), out_(out), err_(err) {}

  bool Bail = false;
  bool Echo = false;
  bool Interactive = false;  // a person at a terminal: progress bars, prompts

  // Runs a script of statements separated by ";", or one dot command when text starts with ".".
  void RunText(const std::string& text);
  // Runs the lines of source until its end, .quit or a bail.
  void RunLines(TLineSource& source);
  // One SQL statement (without its ";").
  void RunStatement(const std::string& sql);
  // One dot command line (dot_commands.cpp).
  void RunCommand(const std::string& line);

  bool Failed() const { return failed_; }
  bool Stopped() const { return stopped_; }
  TOutputSettings& Output() { return output_; }

 private:
  void Fail(const std::string& message);
  void PrintResult(TDataCursor& cursor, const std::vector<TResultColumn>& columns);
  void ReportTime(double seconds);
  // Dot commands (dot_commands.cpp).
  void ShowTables();
  void ShowSchema(const std::vector<std::string>& args);
  void ShowIndexes(const std::vector<std::string>& args);
  void Import(const std::vector<std::string>& args);
  void ReadFile(const std::vector<std::string>& args);
  void Check(const std::vector<std::string>& args);
  void Repair(const std::vector<std::string>& args);
  // The table of that name as the folder spells it, or a failure when there is none.
  bool ResolveTable(const std::string& name, std::string& table);
  // The table args[1] names (resolved as above), or every table when args names none.
  bool TablesNamedBy(const std::vector<std::string>& args, std::vector<std::string>& tables);

  TShellDatabase& database_;
  TOutputSettings output_;
  std::ostream& out_;
  std::ostream& err_;
  bool timer_ = false;
  bool failed_ = false;
  bool stopped_ = false;
  int read_depth_ = 0;
};

}  // namespace vuzode
