// The text of an expression filter made into the prepared tree the filter keeps: parsed as a
// filter, checked against the cursor's fields (names without regard to case), required to be
// Boolean, its comparisons normalised so that a column stands on the left, and prepared with
// the filter's options and the table's collation.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "db/engine/filter/filter.h"
#include "db/storage/data/field_types.h"

class TExpToken;

struct TFilterTextContext {
  const std::vector<FieldDescriptor>* Fields = nullptr;
  void* Source = nullptr;  // what column nodes are bound to (the cursor)
  uint16_t SortId = 0;
  uint16_t LanguageId = 0;
  std::string_view Database;  // the error context
  std::string_view Table;
};

// The prepared tree of text; the caller owns it. Raises VUZODE_INVALIDFILTER with the parser's
// or the checks' message, "filter expression is empty", or "filter expression must be a
// boolean expression"; nothing is left behind then.
TExpToken* PrepareFilterText(std::string_view text, const TFilterOptions& options,
                             const TFilterTextContext& context);

// Turns every comparison "constant op column" below node (through NOT, AND and OR) into
// "column op' constant" with the mirrored operator (< and >, <= and >= exchange).
void NormaliseComparisons(TExpToken& node);
