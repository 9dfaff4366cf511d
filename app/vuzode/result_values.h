// TCell: one value of a result row as the output modes need it (its kind and its text), and
// ReadRow, which turns the current record of a result cursor into cells by field type.
//
// Texts: integers in decimal, floats in the shortest form that reads back to the same double,
// BCD with its scale, dates "YYYY-MM-DD", times "HH:MM[:SS[.mmm]]", timestamps "date time",
// booleans "true"/"false", strings and memos as stored; byte fields and binary BLOBs keep their
// bytes in Bytes (each mode writes them its own way).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TDataCursor;

namespace vuzode {

enum class TCellKind { kNull, kNumber, kText, kBoolean, kBytes };

struct TCell {
  TCellKind Kind = TCellKind::kNull;
  std::string Text;            // kNumber, kText, kBoolean
  std::vector<uint8_t> Bytes;  // kBytes
};

// A result column: its name and the 0-based number of the cursor field it shows.
struct TResultColumn {
  std::string Name;
  size_t Field = 0;
};

// Every field of cursor, in order.
std::vector<TResultColumn> AllColumns(const TDataCursor& cursor);
// The cells of columns of record (a buffer of cursor's RecordSize() holding its current
// record). BLOB values are read through cursor.
void ReadRow(TDataCursor& cursor, const std::vector<uint8_t>& record,
             const std::vector<TResultColumn>& columns, std::vector<TCell>& row);

}  // namespace vuzode
