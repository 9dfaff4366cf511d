// Where the shell's lines come from: a stream (a file, piped standard input), or a terminal
// with a prompt, line editing and history kept in ~/.vuzode_history (through libedit).
#pragma once

#include <istream>
#include <memory>
#include <string>

namespace vuzode {

class TLineSource {
 public:
  virtual ~TLineSource() = default;
  // The next line without its line end; false at the end of the input. prompt is shown on a
  // terminal only.
  virtual bool ReadLine(const char* prompt, std::string& line) = 0;
};

// Lines of in.
std::unique_ptr<TLineSource> StreamLines(std::istream& in);
// Lines typed on the terminal; history is loaded now and saved line by line.
std::unique_ptr<TLineSource> TerminalLines();

}  // namespace vuzode
