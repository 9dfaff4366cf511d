// Evaluate: the value of a checked expression tree for one record. Values are held in nodes
// taken from the expression node pool; an evaluator keeps the nodes it computed into between
// calls, so evaluating record after record takes nothing from the pool once it has warmed up.
//
// Semantics in brief (details at the operations): NULL on either side of arithmetic gives
// NULL; "=" holds for two NULLs, "<>" for exactly one; orderings treat a NULL string as empty
// and otherwise are false against exactly one NULL; AND and OR evaluate their right operand
// first and skip the left when the right decides; a NULL condition counts as false; every
// boolean result is 0 or 1. Nothing here raises for a value: overflow, division by zero and
// failed conversions give NULL. Errors raised are those of a malformed tree (a column with no
// way to fetch it) and those the environment raises.
//
// Invariants:
//   (1) A pointer returned by Eval stays valid until the caller's frame releases the slots
//       above its mark; slots are reused, never freed, until the evaluator is destroyed.
//   (2) Evaluation never changes the tree it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "db/sql/expressions/exp_token.h"
#include "db/sql/expressions/exp_token_stack.h"

// What evaluation needs from the cursor or statement it serves.
class TEvalEnvironment {
 public:
  virtual ~TEvalEnvironment() = default;
  // Fills value (its value bytes and size, IsNull) with column's value in record. value comes
  // with column's type data already set.
  virtual void FetchColumn(const uint8_t* record, const TExpToken& column, TExpToken& value) = 0;
  // TEXTSEARCH and TEXTOCCURS over column's text in record; unbound: false and 0.
  virtual bool TextMatches(const uint8_t* record, const TExpToken& column, std::string_view words) {
    (void)record, (void)column, (void)words;
    return false;
  }
  virtual int32_t TextOccurrences(const uint8_t* record, const TExpToken& column,
                                  std::string_view words) {
    (void)record, (void)column, (void)words;
    return 0;
  }
  // LASTAUTOINC and IDENT_CURRENT of the table bound to function; unbound: 0.
  virtual int32_t LastAutoIncrement(const TExpToken& function) {
    (void)function;
    return 0;
  }
  // Where column's value lies in the record images given to FetchColumn, for readers that
  // decode it in place (TFilterProgram). Answer true, with offset, only when FetchColumn is
  // exactly: IsNull = record[offset] == 0; the value is the bytes from record + offset + 1 as
  // the node holds them (fixed-width types: the type's size in native order; strings: the
  // bytes before the first zero, at most the column's size - 1). The default answers false:
  // the value is fetched through FetchColumn.
  virtual bool ColumnImage(const TExpToken& column, size_t& offset) {
    (void)column, (void)offset;
    return false;
  }
  // IN with a sub-select: whether the sub-query's result holds value. The default raises:
  // only statements bind sub-selects.
  virtual bool SubSelectHolds(const TExpToken& subSelect, const TExpToken& value);
};

class TExpEvaluator {
 public:
  // env may be null when the tree has no column reference to fetch (constant folding).
  // String comparisons use the collation of (languageId, sortId); language 0 is byte order.
  explicit TExpEvaluator(TEvalEnvironment* env = nullptr, uint16_t sortId = 0,
                         uint16_t languageId = 0, TExpTokenStack& pool = GlobalExpTokenStack());
  TExpEvaluator(const TExpEvaluator&) = delete;
  TExpEvaluator& operator=(const TExpEvaluator&) = delete;
  ~TExpEvaluator();  // returns the slot nodes to the pool

  // The value of node for record as a fresh value node (class 5, no links) from the pool; the
  // caller returns it. REQUIRES: node was checked by CheckTypes.
  TExpToken* Evaluate(const TExpToken& node, const uint8_t* record);
  // The value of node for record without a copy: a constant of the tree or one of the
  // evaluator's own nodes, valid until its next evaluation. Null when the value is NULL without
  // a type of its own, which Evaluate gives the checked type.
  const TExpToken* EvaluateInPlace(const TExpToken& node, const uint8_t* record);
  // Whether the boolean tree node holds for record (NULL counts as false); takes nothing from
  // the pool once warm.
  bool Holds(const TExpToken& node, const uint8_t* record);

  uint16_t SortId() const { return sort_id_; }
  uint16_t LanguageId() const { return language_id_; }

 private:
  // Evaluation proper (evaluate.cpp, evaluate_functions.cpp). Each returns the node holding
  // the value: a constant of the tree itself or a slot (invariant (1)).
  const TExpToken* Eval(const TExpToken& node);
  const TExpToken* EvalColumn(const TExpToken& node);
  const TExpToken* EvalUnary(const TExpToken& node);
  const TExpToken* EvalBinary(const TExpToken& node);
  const TExpToken* EvalLogic(const TExpToken& node);
  const TExpToken* EvalStringMatch(const TExpToken& node);
  const TExpToken* EvalPredicate(const TExpToken& node);
  const TExpToken* EvalFunction(const TExpToken& node);
  bool Truth(const TExpToken& node);

  TExpToken& NewSlot();
  const TExpToken* Boolean(TExpToken& slot, bool value);

  TEvalEnvironment* env_;
  uint16_t sort_id_;
  uint16_t language_id_;
  TExpTokenStack& pool_;
  const uint8_t* record_ = nullptr;
  std::vector<TExpToken*> slots_;
  size_t top_ = 0;
};

// One evaluation with a temporary evaluator: the value node of node for record.
TExpToken* Evaluate(const TExpToken& node, const uint8_t* record, TEvalEnvironment* env,
                    uint16_t sortId, uint16_t languageId,
                    TExpTokenStack& pool = GlobalExpTokenStack());
