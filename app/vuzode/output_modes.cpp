// The list, csv and json writers (see output_modes.h); box is in output_box.cpp.
#include "app/vuzode/output_modes.h"

#include "app/vuzode/text_escapes.h"

namespace vuzode {
namespace {

class TListWriter : public TResultWriter {
 public:
  TListWriter(const TOutputSettings& settings, std::ostream& out, bool csv)
      : settings_(settings), out_(out), csv_(csv) {
    separator_ = csv && !settings.SeparatorGiven ? "," : settings.Separator;
  }
  void Begin(const std::vector<std::string>& names) override {
    if (!settings_.Headers) return;
    std::vector<TCell> header(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
      header[i].Kind = TCellKind::kText;
      header[i].Text = names[i];
    }
    Row(header);
  }
  void Row(const std::vector<TCell>& row) override {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      if (i) line += separator_;
      const std::string text = PlainText(row[i], settings_);
      line += csv_ && row[i].Kind != TCellKind::kNull ? CsvField(text, separator_) : text;
    }
    line += csv_ ? "\r\n" : "\n";
    out_ << line;
  }
  void End() override {}

 private:
  const TOutputSettings& settings_;
  std::ostream& out_;
  bool csv_;
  std::string separator_;
};

class TJsonWriter : public TResultWriter {
 public:
  explicit TJsonWriter(std::ostream& out) : out_(out) {}
  void Begin(const std::vector<std::string>& names) override {
    keys_.clear();
    for (const std::string& name : names) keys_.push_back(JsonString(name));
    rows_ = 0;
    out_ << '[';
  }
  void Row(const std::vector<TCell>& row) override {
    std::string line = rows_++ ? ",\n{" : "{";
    for (size_t i = 0; i < row.size() && i < keys_.size(); ++i) {
      if (i) line += ',';
      line += keys_[i];
      line += ':';
      const TCell& cell = row[i];
      switch (cell.Kind) {
        case TCellKind::kNull:
          line += "null";
          break;
        case TCellKind::kNumber:
          // JSON has no NaN or infinities.
          line += cell.Text.find_first_of("NI") == std::string::npos ? cell.Text : "null";
          break;
        case TCellKind::kBoolean:
          line += cell.Text;
          break;
        case TCellKind::kText:
          line += JsonString(cell.Text);
          break;
        case TCellKind::kBytes:
          line += '"' + Base64(cell.Bytes) + '"';
          break;
      }
    }
    line += '}';
    out_ << line;
  }
  void End() override { out_ << "]\n"; }

 private:
  std::ostream& out_;
  std::vector<std::string> keys_;
  size_t rows_ = 0;
};

}  // namespace

bool ModeFromName(std::string_view name, TOutputMode& mode) {
  if (name == "list") {
    mode = TOutputMode::kList;
  } else if (name == "csv") {
    mode = TOutputMode::kCsv;
  } else if (name == "json") {
    mode = TOutputMode::kJson;
  } else if (name == "box") {
    mode = TOutputMode::kBox;
  } else {
    return false;
  }
  return true;
}

std::string PlainText(const TCell& cell, const TOutputSettings& settings) {
  switch (cell.Kind) {
    case TCellKind::kNull:
      return settings.NullText;
    case TCellKind::kBytes:
      return HexLiteral(cell.Bytes);
    default:
      return cell.Text;
  }
}

std::unique_ptr<TResultWriter> MakeResultWriter(const TOutputSettings& settings,
                                                std::ostream& out) {
  switch (settings.Mode) {
    case TOutputMode::kCsv:
      return std::make_unique<TListWriter>(settings, out, true);
    case TOutputMode::kJson:
      return std::make_unique<TJsonWriter>(out);
    case TOutputMode::kBox:
      return MakeBoxWriter(settings, out);
    case TOutputMode::kList:
      break;
  }
  return std::make_unique<TListWriter>(settings, out, false);
}

}  // namespace vuzode
