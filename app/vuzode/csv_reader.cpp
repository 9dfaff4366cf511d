// RFC 4180 record reading (see csv_reader.h).
#include "app/vuzode/csv_reader.h"

namespace vuzode {

int TCsvReader::Get() {
  const int c = in_.get();
  if (c != EOF) ++bytes_read_;
  if (c == '\n') ++line_;
  return c;
}

bool TCsvReader::Next(std::vector<std::string>& fields) {
  fields.clear();
  unterminated_ = false;
  int c = Get();
  if (c == EOF) return false;
  record_line_ = line_ - (c == '\n' ? 1 : 0);
  std::string field;
  bool quoted = false;  // inside a quoted field
  for (;; c = Get()) {
    if (quoted) {
      if (c == EOF) {
        unterminated_ = true;
        break;
      }
      if (c == '"') {
        if (in_.peek() == '"') {
          Get();
          field += '"';
        } else {
          quoted = false;
        }
      } else {
        field += static_cast<char>(c);
      }
      continue;
    }
    if (c == EOF || c == '\n') break;
    if (c == '\r' && (in_.peek() == '\n' || in_.peek() == EOF)) continue;
    if (c == separator_) {
      fields.push_back(std::move(field));
      field.clear();
    } else if (c == '"' && field.empty()) {
      quoted = true;
    } else {
      field += static_cast<char>(c);
    }
  }
  fields.push_back(std::move(field));
  return true;
}

}  // namespace vuzode
