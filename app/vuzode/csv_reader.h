// TCsvReader: reads RFC 4180 records from a stream: fields separated by a separator (","),
// records ending in CR LF or LF, a field in double quotes may hold separators, quotes (doubled)
// and line ends. Every record knows the line it began on, for messages about it.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace vuzode {

class TCsvReader {
 public:
  TCsvReader(std::istream& in, char separator) : in_(in), separator_(separator) {}
  // Reads the next record into fields; false at the end of the input. A quoted field still open
  // at the end of the input sets Unterminated() and ends the record there.
  bool Next(std::vector<std::string>& fields);
  // The line the last record began on (1-based).
  uint64_t RecordLine() const { return record_line_; }
  bool Unterminated() const { return unterminated_; }
  // Bytes consumed so far, for progress.
  uint64_t BytesRead() const { return bytes_read_; }

 private:
  int Get();

  std::istream& in_;
  char separator_;
  uint64_t line_ = 1;
  uint64_t record_line_ = 0;
  uint64_t bytes_read_ = 0;
  bool unterminated_ = false;
};

}  // namespace vuzode
