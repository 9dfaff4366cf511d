// Line sources (see line_input.h).
#include "app/vuzode/line_input.h"

#include <editline/readline.h>

#include <cstdlib>

namespace vuzode {
namespace {

constexpr int kHistoryLines = 1000;

class TStreamLines : public TLineSource {
 public:
  explicit TStreamLines(std::istream& in) : in_(in) {}
  bool ReadLine(const char*, std::string& line) override {
    if (!std::getline(in_, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }

 private:
  std::istream& in_;
};

class TTerminalLines : public TLineSource {
 public:
  TTerminalLines() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
      history_ = std::string(home) + "/.vuzode_history";
    using_history();
    stifle_history(kHistoryLines);
    if (!history_.empty()) read_history(history_.c_str());
  }
  bool ReadLine(const char* prompt, std::string& line) override {
    char* text = readline(prompt);
    if (text == nullptr) return false;
    line = text;
    std::free(text);
    if (line.find_first_not_of(" \t") != std::string::npos) {
      add_history(line.c_str());
      if (!history_.empty()) write_history(history_.c_str());
    }
    return true;
  }

 private:
  std::string history_;
};

}  // namespace

std::unique_ptr<TLineSource> StreamLines(std::istream& in) {
  return std::make_unique<TStreamLines>(in);
}

std::unique_ptr<TLineSource> TerminalLines() {
  return std::make_unique<TTerminalLines>();
}

}  // namespace vuzode
