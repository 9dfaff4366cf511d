// The command line of the shell: vuzode [OPTIONS] [DATABASE [SQL]]. Options may be written with
// one or two dashes and stand anywhere; every other argument is DATABASE, then SQL.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/vuzode/output_modes.h"

namespace vuzode {

inline constexpr char kShellVersion[] = "vuzode 1.0";

struct TShellOptions {
  std::string Database = "Memory";
  std::optional<std::string> Sql;
  TOutputSettings Output;
  bool HeadersGiven = false;  // -header or -noheader was given
  bool Bail = false;
  bool Echo = false;
  std::vector<std::string> Commands;  // -cmd, in order
  // -locktimeout: how long a table lock is waited for; the engine's default when not given.
  std::optional<unsigned> LockTimeoutMs;
  bool ShowVersion = false;
  bool ShowHelp = false;
};

// Parses argv; false with error set for an unknown option, a missing option value or too
// many arguments.
bool ParseShellOptions(int argc, const char* const* argv, TShellOptions& options,
                       std::string& error);
// The text -help prints.
std::string ShellUsage();

}  // namespace vuzode
