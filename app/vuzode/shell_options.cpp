// Command-line parsing of the shell (see shell_options.h).
#include "app/vuzode/shell_options.h"

#include <cstdlib>
#include <string_view>

namespace vuzode {

bool ParseShellOptions(int argc, const char* const* argv, TShellOptions& options,
                       std::string& error) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg.size() < 2 || arg[0] != '-') {
      positional.emplace_back(arg);
      continue;
    }
    std::string_view name = arg.substr(arg[1] == '-' ? 2 : 1);
    const auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = "missing value for option " + std::string(arg);
        return false;
      }
      out = argv[++i];
      return true;
    };
    TOutputMode mode;
    if (ModeFromName(name, mode)) {
      options.Output.Mode = mode;
    } else if (name == "header" || name == "headers") {
      options.Output.Headers = true;
      options.HeadersGiven = true;
    } else if (name == "noheader") {
      options.Output.Headers = false;
      options.HeadersGiven = true;
    } else if (name == "separator") {
      if (!value(options.Output.Separator)) return false;
      options.Output.SeparatorGiven = true;
    } else if (name == "nullvalue") {
      if (!value(options.Output.NullText)) return false;
    } else if (name == "bail") {
      options.Bail = true;
    } else if (name == "echo") {
      options.Echo = true;
    } else if (name == "cmd") {
      if (!value(options.Commands.emplace_back())) return false;
    } else if (name == "locktimeout") {
      std::string text;
      if (!value(text)) return false;
      char* end = nullptr;
      const unsigned long ms = std::strtoul(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || ms > 3600000) {
        error = "invalid value for -locktimeout: " + text;
        return false;
      }
      options.LockTimeoutMs = static_cast<unsigned>(ms);
    } else if (name == "version") {
      options.ShowVersion = true;
    } else if (name == "help") {
      options.ShowHelp = true;
    } else {
      error = "unknown option: " + std::string(arg);
      return false;
    }
  }
  if (positional.size() > 2) {
    error = "too many arguments: " + positional[2];
    return false;
  }
  if (!positional.empty()) options.Database = positional[0];
  if (positional.size() > 1) options.Sql = positional[1];
  return true;
}

std::string ShellUsage() {
  return "Usage: vuzode [OPTIONS] [DATABASE [SQL]]\n"
         "DATABASE is a folder of table files (created when missing) or Memory (the default),\n"
         "whose tables live only as long as the shell. SQL is a script of statements separated\n"
         "by \";\" (or one dot command); without it statements are read from standard input.\n"
         "OPTIONS:\n"
         "   -list               values separated by \"|\" (the default)\n"
         "   -csv                comma-separated values (RFC 4180)\n"
         "   -json               each result one JSON array of objects\n"
         "   -box                aligned columns in a frame\n"
         "   -header, -noheader  show or hide column names (list and csv modes)\n"
         "   -separator S        the column separator of list and csv modes\n"
         "   -nullvalue S        the text shown for NULL\n"
         "   -bail               stop at the first error\n"
         "   -cmd COMMAND        run COMMAND (SQL or a dot command) before the input\n"
         "   -echo               print each statement before running it\n"
         "   -locktimeout MS     wait at most MS milliseconds for a table lock\n"
         "   -version            print the version and exit\n"
         "   -help               print this text and exit\n"
         "Enter \".help\" in the shell for the dot commands.\n";
}

}  // namespace vuzode
