// vuzode, the engine's SQL shell: vuzode [OPTIONS] [DATABASE [SQL]]. Runs the -cmd commands,
// then SQL when given, else the lines of standard input (with a prompt, line editing and
// history on a terminal). Exits 1 when any statement or command failed, 2 for a bad command
// line, 0 otherwise.
#include <unistd.h>

#include <iostream>
#include <memory>

#include "app/vuzode/line_input.h"
#include "app/vuzode/shell.h"
#include "app/vuzode/shell_database.h"
#include "app/vuzode/shell_options.h"
#include "db/engine/errors/engine_error.h"

int main(int argc, char** argv) {
  using namespace vuzode;
  std::ios::sync_with_stdio(false);
  TShellOptions options;
  std::string error;
  if (!ParseShellOptions(argc, argv, options, error)) {
    std::cerr << "Error: " << error << "\nEnter \"vuzode -help\" for the options.\n";
    return 2;
  }
  if (options.ShowHelp) {
    std::cout << ShellUsage();
    return 0;
  }
  if (options.ShowVersion) {
    std::cout << kShellVersion << "\n";
    return 0;
  }
  const bool terminal = !options.Sql && isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
  if (options.Output.Mode == TOutputMode::kBox && !options.HeadersGiven)
    options.Output.Headers = true;
  try {
    TShellDatabase database(options.Database, options.LockTimeoutMs);
    TShell shell(database, options.Output, std::cout, std::cerr);
    shell.Bail = options.Bail;
    shell.Echo = options.Echo;
    shell.Interactive = terminal;
    for (const std::string& command : options.Commands)
      if (!shell.Stopped()) shell.RunText(command);
    if (options.Sql) {
      if (!shell.Stopped()) shell.RunText(*options.Sql);
    } else if (terminal) {
      std::cout << kShellVersion << ": enter SQL statements ending in \";\", or \".help\"\n"
                << "Database: " << options.Database << "\n"
                << std::flush;
      const std::unique_ptr<TLineSource> lines = TerminalLines();
      shell.RunLines(*lines);
    } else {
      const std::unique_ptr<TLineSource> lines = StreamLines(std::cin);
      shell.RunLines(*lines);
    }
    std::cout << std::flush;
    return shell.Failed() ? 1 : 0;
  } catch (const EVUZODEEngineError& failure) {
    std::cerr << "Error: " << failure.what() << "\n";
  } catch (const std::exception& failure) {
    std::cerr << "Error: " << failure.what() << "\n";
  }
  return 1;
}
