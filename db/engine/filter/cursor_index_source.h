// TCursorIndexSource: how the servability test and the filter build see a table's indexes. It
// keeps its own choice of index, so choosing one for a comparison never moves the cursor.
#pragma once

#include <cstdint>

#include "db/engine/filter/key_range.h"
#include "db/engine/table/data_table.h"
#include "db/sql/expressions/filter_servability.h"

class TCursorIndexSource : public TFilterIndexSource {
 public:
  explicit TCursorIndexSource(TDataTable& table) : table_(table) {}

  // The primary index when it has fields, then the secondary ones, in slot order.
  bool SelectIndexLedBy(uint16_t fieldNo, bool caseInsensitive, bool anyCase) override;
  uint16_t ActiveKeyLength() override;
  int64_t TotalRecordCount() override;
  int64_t CountKeyRange(uint8_t op, const TExpToken& column, const TExpToken* constant,
                        int32_t partialLength, bool noCase, bool count) override;
  bool InTextIndex(uint16_t fieldNo) override;

  // Selects the index for a comparison of operand under noCase as the servability test does;
  // false when none serves it.
  bool SelectFor(const TExpToken& operand, bool noCase);
  // The ranks of the active index in the range (see BuildKeyRange); false when it cannot be
  // formed.
  bool Range(uint8_t op, const TExpToken* constant, const TExpToken* high, int32_t partialLength,
             bool noCase, TRankRange& range, bool count = true);
  // Sets the records of range's ranks in bitmap.
  void Collect(const TRankRange& range, TRecordsBitmap& bitmap);

 private:
  TDataTable& table_;
  int slot_ = -1;
};
