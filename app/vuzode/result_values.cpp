// Turning result records into cells (see result_values.h).
#include "app/vuzode/result_values.h"

#include <charconv>
#include <cmath>

#include "db/engine/cursor/data_cursor.h"
#include "db/sql/expressions/bcd_value.h"
#include "db/sql/expressions/date_time_text.h"
#include "db/storage/data/field_value.h"

namespace vuzode {
namespace {

std::string FloatText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char out[64];
  const auto result = std::to_chars(out, out + sizeof out, value);
  return std::string(out, result.ptr);
}

// A BLOB value read whole through the cursor.
std::vector<uint8_t> BlobBytes(TDataCursor& cursor, uint16_t field, const uint8_t* record) {
  uint32_t size = 0;
  cursor.CheckCode(cursor.GetBlobSize(field, record, false, size));
  std::vector<uint8_t> bytes(size);
  if (size == 0) return bytes;
  uint32_t read = 0;
  cursor.CheckCode(cursor.GetBlob(field, record, false, 0, size, bytes.data(), read));
  bytes.resize(read);
  return bytes;
}

void ReadCell(TDataCursor& cursor, size_t index, const std::vector<uint8_t>& record, TCell& cell) {
  const FieldDescriptor& f = cursor.FieldDescriptors()[index];
  TConstRecordImage image(record.data(), record.size());
  cell.Text.clear();
  cell.Bytes.clear();
  if (!f.IsAutoIncrement() && IsFieldNull(image, f)) {
    cell.Kind = TCellKind::kNull;
    return;
  }
  cell.Kind = TCellKind::kNumber;
  int64_t integer = 0;
  double real = 0;
  switch (f.Type) {
    case kFieldString:
      cell.Kind = TCellKind::kText;
      GetFieldString(image, f, cell.Text);
      return;
    case kFieldBoolean:
      cell.Kind = TCellKind::kBoolean;
      GetFieldInteger(image, f, integer);
      cell.Text = integer ? "true" : "false";
      return;
    case kFieldDate:
      cell.Kind = TCellKind::kText;
      GetFieldInteger(image, f, integer);
      cell.Text = FormatDate(static_cast<int32_t>(integer));
      return;
    case kFieldTime:
      cell.Kind = TCellKind::kText;
      GetFieldInteger(image, f, integer);
      cell.Text = FormatTime(static_cast<int32_t>(integer));
      return;
    case kFieldTimestamp: {
      cell.Kind = TCellKind::kText;
      GetFieldFloat(image, f, real);
      int32_t day = 0, milliseconds = 0;
      cell.Text =
          SplitTimestamp(real, day, milliseconds) ? FormatTimestamp(day, milliseconds) : "?";
      return;
    }
    case kFieldFloat:
      GetFieldFloat(image, f, real);
      cell.Text = FloatText(real);
      return;
    case kFieldBcd: {
      std::vector<uint8_t> bytes;
      GetFieldBytes(image, f, bytes);
      int64_t value = 0;
      if (bytes.size() < kBcdValueSize || !BcdToTenThousandths(bytes.data(), value)) {
        cell.Kind = TCellKind::kText;
        cell.Text = "?";
        return;
      }
      cell.Text = TenThousandthsToText(value, f.Scale);
      return;
    }
    case kFieldBytes:
    case kFieldVarBytes:
    case kFieldInternal:
      cell.Kind = TCellKind::kBytes;
      GetFieldBytes(image, f, cell.Bytes);
      return;
    case kFieldBlob: {
      std::vector<uint8_t> bytes = BlobBytes(cursor, static_cast<uint16_t>(index), record.data());
      if (f.SubType == kSubtypeMemo || f.SubType == kSubtypeFormattedMemo) {
        cell.Kind = TCellKind::kText;
        cell.Text.assign(bytes.begin(), bytes.end());
      } else {
        cell.Kind = TCellKind::kBytes;
        cell.Bytes = std::move(bytes);
      }
      return;
    }
    default:
      GetFieldInteger(image, f, integer);
      cell.Text = std::to_string(integer);
  }
}

}  // namespace

std::vector<TResultColumn> AllColumns(const TDataCursor& cursor) {
  std::vector<TResultColumn> columns;
  for (size_t i = 0; i < cursor.FieldDescriptors().size(); ++i)
    columns.push_back({cursor.FieldDescriptors()[i].Name, i});
  return columns;
}

void ReadRow(TDataCursor& cursor, const std::vector<uint8_t>& record,
             const std::vector<TResultColumn>& columns, std::vector<TCell>& row) {
  row.resize(columns.size());
  for (size_t i = 0; i < row.size(); ++i) ReadCell(cursor, columns[i].Field, record, row[i]);
}

}  // namespace vuzode
