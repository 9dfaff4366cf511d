// The walker shared by the type checks of operators (type_check.cpp) and of functions and
// predicates (type_check_functions.cpp). Not part of the interface.
#pragma once

#include <string>
#include <string_view>

#include "db/sql/expressions/type_check.h"
#include "db/sql/expressions/type_rules.h"

class TTypeChecker {
 public:
  explicit TTypeChecker(const TTypeCheckOptions& options) : options_(options) {}

  // Checks the subtree in slot. namesAllowed: a string constant may become a column (step 1);
  // booleanSlot: a lone boolean column here is rewritten (top, under NOT, AND, OR).
  void Check(TExpToken* parent, TExpToken*& slot, bool namesAllowed, bool booleanSlot);

  // Functions and predicates (type_check_functions.cpp).
  void CheckFunction(TExpToken& node, bool namesAllowed);
  void CheckPredicate(TExpToken& node, bool namesAllowed);
  void CheckCast(TExpToken& node);
  // IF, IFNULL, COALESCE: the arguments from index from on share one comparable type.
  void CheckCommonType(TExpToken& node, const std::string& name, size_t from);

  // Raises the caller's error with text + " in " + context.
  [[noreturn]] void FailIn(std::string_view text) const;
  [[noreturn]] void Fail(const std::string& message) const;
  const std::string& Context() const { return options_.ContextName; }

  // When one side is a date/time/timestamp and other a string constant, converts other to
  // that type in place or raises the "Date, time, or timestamp expression expected" message.
  void ConvertAgainstDateTime(const TExpToken& typed, TExpToken& other) const;
  // Converts a string constant to the first of date, time, timestamp that reads it.
  bool ConvertToAnyDateTime(TExpToken& constant) const;

  // "expression", "column", "constant" or "function" and the node's text, for messages.
  static std::string Describe(const TExpToken& node);

 private:
  void CheckColumn(TExpToken& node);
  void CheckUnary(TExpToken& node, bool namesAllowed);
  void CheckBinary(TExpToken& node, bool namesAllowed);
  void OfferAsColumn(TExpToken& node);
  void RewriteBoolean(TExpToken*& slot);

  const TTypeCheckOptions& options_;
};

// True for a string constant that is neither a parameter nor NULL.
bool IsStringConstant(const TExpToken& node);
// Gives node the shape.
void ApplyShape(TExpToken& node, const TValueShape& shape);
