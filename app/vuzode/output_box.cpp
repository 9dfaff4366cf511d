// The box writer: collects a result, then draws it in a frame with columns as wide as their
// widest value in terminal cells. Line breaks and tabs inside values are shown as "\n" and
// "\t" so that every row stays on one line.
#include <algorithm>

#include "app/vuzode/output_modes.h"
#include "app/vuzode/text_escapes.h"

namespace vuzode {
namespace {

std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out;
}

class TBoxWriter : public TResultWriter {
 public:
  TBoxWriter(const TOutputSettings& settings, std::ostream& out) : settings_(settings), out_(out) {}
  void Begin(const std::vector<std::string>& names) override {
    names_.clear();
    for (const std::string& name : names) names_.push_back(OneLine(name));
    rows_.clear();
    right_.assign(names.size(), false);
  }
  void Row(const std::vector<TCell>& row) override {
    std::vector<std::string> texts;
    for (size_t i = 0; i < row.size() && i < names_.size(); ++i) {
      texts.push_back(OneLine(PlainText(row[i], settings_)));
      if (row[i].Kind == TCellKind::kNumber) right_[i] = true;
    }
    rows_.push_back(std::move(texts));
  }
  void End() override {
    std::vector<size_t> widths;
    for (const std::string& name : names_) widths.push_back(DisplayWidth(name));
    for (const auto& row : rows_)
      for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    Rule("┌", "┬", "┐", widths);
    Line(names_, widths, false);
    Rule("├", "┼", "┤", widths);
    for (const auto& row : rows_) Line(row, widths, true);
    Rule("└", "┴", "┘", widths);
    rows_.clear();
  }

 private:
  void Rule(const char* left, const char* middle, const char* right,
            const std::vector<size_t>& widths) {
    std::string line = left;
    for (size_t i = 0; i < widths.size(); ++i) {
      if (i) line += middle;
      for (size_t k = 0; k < widths[i] + 2; ++k) line += "─";
    }
    out_ << line << right << '\n';
  }
  void Line(const std::vector<std::string>& texts, const std::vector<size_t>& widths, bool align) {
    std::string line = "│";
    for (size_t i = 0; i < widths.size(); ++i) {
      const std::string& text = i < texts.size() ? texts[i] : std::string();
      const std::string pad(widths[i] - DisplayWidth(text), ' ');
      line += ' ';
      line += align && right_[i] ? pad + text : text + pad;
      line += " │";
    }
    out_ << line << '\n';
  }

  const TOutputSettings& settings_;
  std::ostream& out_;
  std::vector<std::string> names_;
  std::vector<std::vector<std::string>> rows_;
  std::vector<bool> right_;
};

}  // namespace

std::unique_ptr<TResultWriter> MakeBoxWriter(const TOutputSettings& settings, std::ostream& out) {
  return std::make_unique<TBoxWriter>(settings, out);
}

}  // namespace vuzode
