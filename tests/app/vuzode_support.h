// Test support for the SQL shell: runs the built vuzode executable as a separate process with
// given arguments and standard input, and builds fixture tables through the engine.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "db/engine/cursor/data_cursor.h"
#include "db/engine/session/data_directory.h"
#include "db/engine/session/data_session.h"
#include "db/storage/data/field_value.h"
#include "tests/db/engine/support/table_support.h"

extern char** environ;

namespace vuzode_test {

struct TRun {
  std::string Out;
  std::string Err;
  int Status = -1;
};

inline std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline void WriteWhole(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Starts vuzode with args, its standard input from the file input and its output into the
// files out and err; answers the process id.
inline pid_t StartShell(const std::vector<std::string>& args, const std::string& input,
                        const std::string& out, const std::string& err) {
  std::vector<std::string> all = {VUZODE_EXE};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  const int started = posix_spawn(&pid, VUZODE_EXE, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return started == 0 ? pid : -1;
}

inline int WaitShell(pid_t pid) {
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs vuzode to its end in folder (where its input and output files are kept).
inline TRun RunShell(const std::string& folder, const std::vector<std::string>& args,
                     const std::string& input = "") {
  const std::string in = folder + "/stdin.txt", out = folder + "/stdout.txt",
                    err = folder + "/stderr.txt";
  WriteWhole(in, input);
  TRun run;
  run.Status = WaitShell(StartShell(args, in, out, err));
  run.Out = ReadWhole(out);
  run.Err = ReadWhole(err);
  return run;
}

// A column of a fixture table: name, type code, size for strings.
struct TColumn {
  std::string Name;
  uint8_t Type = kFieldInteger;
  uint8_t Size = 0;
};

using TRow = engine_test::TTextRow;  // nullopt: NULL

// Creates table in folder with columns (a primary key on the first when primary), an optional
// secondary index on the given 1-based fields, and rows.
inline void MakeTable(const std::string& folder, const std::string& table,
                      const std::vector<TColumn>& columns, const std::vector<TRow>& rows,
                      bool primary = true, const std::vector<uint16_t>& secondary = {}) {
  TDataSession session;
  TDataDirectory& directory = session.OpenDirectory("fixture", folder);
  TTableDefinition definition;
  uint16_t number = 1;
  for (const TColumn& c : columns)
    definition.Fields.push_back(engine_test::MakeField(number++, c.Name, c.Type, c.Size));
  definition.Indexes.push_back(primary ? engine_test::MakeIndexDefinition("", {1}, true)
                                       : IndexDescriptor{});
  if (!secondary.empty())
    definition.Indexes.push_back(engine_test::MakeIndexDefinition("BYNAME", secondary, false));
  {
    TDataCursor cursor(directory);
    cursor.SetTableName(table);
    cursor.SetExclusive(true);
    cursor.CreateTable(definition, false);
  }
  engine_test::AppendTextRows(directory, table, rows);
}

}  // namespace vuzode_test
