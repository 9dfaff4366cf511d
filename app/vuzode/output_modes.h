// The output modes of the shell and the writer each one uses for a result:
//   list  values joined by the separator ("|"), NULL as the null text, one row per line
//   csv   RFC 4180: fields quoted where needed, rows ending in CR LF, separator "," by default
//   json  one array per result, one object per row, keys the column names in order; numbers as
//         numbers, text as strings, NULL as null, booleans as true/false, bytes as base64
//   box   aligned columns in a frame, for people; numbers right-aligned
// The header line (column names) is written by list and csv when headers are on; box always
// writes it and json never needs it.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/vuzode/result_values.h"

namespace vuzode {

enum class TOutputMode { kList, kCsv, kJson, kBox };

struct TOutputSettings {
  TOutputMode Mode = TOutputMode::kList;
  bool Headers = false;
  bool SeparatorGiven = false;  // -separator or .separator: used in csv mode too
  std::string Separator = "|";
  std::string NullText;
};

// The mode of a name ("list", "csv", "json", "box"); false for another name.
bool ModeFromName(std::string_view name, TOutputMode& mode);

class TResultWriter {
 public:
  virtual ~TResultWriter() = default;
  virtual void Begin(const std::vector<std::string>& names) = 0;
  virtual void Row(const std::vector<TCell>& row) = 0;
  virtual void End() = 0;
};

// The writer of settings' mode onto out.
std::unique_ptr<TResultWriter> MakeResultWriter(const TOutputSettings& settings, std::ostream& out);
// The box writer (output_box.cpp).
std::unique_ptr<TResultWriter> MakeBoxWriter(const TOutputSettings& settings, std::ostream& out);
// A cell's text in the modes that write text: NULL as the null text, bytes as a hex literal.
std::string PlainText(const TCell& cell, const TOutputSettings& settings);

}  // namespace vuzode
