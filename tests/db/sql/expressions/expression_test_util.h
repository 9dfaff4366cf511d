// Helpers for the type-check, evaluation and filter-preparation tests: a table of typed
// columns with preset values, parsing and checking of expression text, and a one-line text
// of a value ("NULL", "TRUE", "3.5", "'abc'", "2004-02-03", "12:30").
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "db/engine/errors/engine_error.h"
#include "db/engine/errors/engine_error_codes.h"
#include "db/sql/expressions/evaluate.h"
#include "db/sql/expressions/expression_parser.h"
#include "db/sql/expressions/type_check.h"
#include "db/sql/expressions/value_conversion.h"
#include "db/storage/data/field_types.h"

namespace exptest {

struct TColumn {
  uint8_t Type;
  uint8_t SubType;
  int32_t Size;
  uint8_t Scale;
};

// The columns every test may use; values are set per test (default NULL).
inline const std::map<std::string, TColumn>& Columns() {
  static const std::map<std::string, TColumn> columns = {
      {"i", {kFieldInteger, 0, 4, 0}},
      {"j", {kFieldInteger, 0, 4, 0}},
      {"sm", {kFieldSmallInt, 0, 2, 0}},
      {"w", {kFieldWord, 0, 2, 0}},
      {"l", {kFieldLargeInt, 0, 8, 0}},
      {"f", {kFieldFloat, 0, 8, 0}},
      {"m", {kFieldFloat, kSubtypeMoney, 8, 0}},
      {"bc", {kFieldBcd, 0, 34, 2}},
      {"s", {kFieldString, 0, 21, 0}},
      {"u", {kFieldString, 0, 11, 0}},
      {"memo", {kFieldBlob, kSubtypeMemo, 8, 0}},
      {"pic", {kFieldBlob, kSubtypeGraphic, 8, 0}},
      {"d", {kFieldDate, 0, 4, 0}},
      {"t", {kFieldTime, 0, 4, 0}},
      {"ts", {kFieldTimestamp, 0, 8, 0}},
      {"b", {kFieldBoolean, 0, 2, 0}},
      {"by", {kFieldBytes, 0, 4, 0}},
      {"ai", {kFieldInteger, kSubtypeAutoIncrement, 4, 0}},
  };
  return columns;
}

// A row: column values as constant nodes (owned here, not pooled).
class TRow : public TEvalEnvironment, public TColumnResolver {
 public:
  ~TRow() override {
    for (auto& [name, node] : values_) delete node;
  }
  // Sets column name to the value of the constant expression text ("" for NULL).
  void Set(const std::string& name, std::string_view text);

  bool ResolveColumn(TExpToken& node) override {
    auto found = Columns().find(node.ColumnName);
    if (found == Columns().end()) return false;
    node.ValueType = found->second.Type;
    node.SubType = found->second.SubType;
    node.Scale = found->second.Scale;
    node.SetValueSize(found->second.Size);
    node.FieldNo = 1;
    node.SourceTable = this;
    return true;
  }
  void FetchColumn(const uint8_t*, const TExpToken& column, TExpToken& value) override {
    auto found = values_.find(column.ColumnName);
    if (found == values_.end()) {
      StoreNull(value, column.ValueType, column.SubType, column.ValueSize());
      return;
    }
    ConvertValue(*found->second, value, column.ValueType, column.SubType, column.ValueSize(),
                 column.Scale);
  }

 private:
  std::map<std::string, TExpToken*> values_;
};

// Parses text as a filter expression and checks it against the columns of row. The caller
// releases the tree. Raises as the parser and the checks do.
TExpToken* ParseChecked(std::string_view text, TRow& row, bool stringsAreColumns = false,
                        bool rewriteBooleans = true);

// The one-line text of a value node.
std::string ValueString(const TExpToken& value);

// The value of the expression text for row as text, or "error: " + the detail.
std::string Eval(std::string_view text, TRow& row);
inline std::string Eval(std::string_view text) {
  TRow row;
  return Eval(text, row);
}

}  // namespace exptest
