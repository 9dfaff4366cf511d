// The evaluator: slots, columns, constants, unary and two-operand nodes, string matches and
// predicates. Functions are in evaluate_functions.cpp, the value operations in
// evaluate_values.cpp.
#include "db/sql/expressions/evaluate.h"

#include <algorithm>

#include "db/engine/errors/engine_error.h"
#include "db/engine/errors/engine_error_codes.h"
#include "db/sql/expressions/evaluate_values.h"
#include "db/sql/expressions/like_match.h"
#include "db/sql/expressions/type_groups.h"
#include "db/sql/expressions/value_conversion.h"
#include "db/storage/locale/locale_compare.h"

bool TEvalEnvironment::SubSelectHolds(const TExpToken& subSelect, const TExpToken& value) {
  (void)value;
  RaiseEngineError(VUZODE_SQLPARSE, {}, {}, {}, {}, {}, {},
                   "Internal error: sub-select '" + subSelect.Text + "' is not bound");
}

TExpEvaluator::TExpEvaluator(TEvalEnvironment* env, uint16_t sortId, uint16_t languageId,
                             TExpTokenStack& pool)
    : env_(env), sort_id_(sortId), language_id_(languageId), pool_(pool) {}

TExpEvaluator::~TExpEvaluator() {
  for (TExpToken*& slot : slots_) pool_.Return(slot);
}

TExpToken& TExpEvaluator::NewSlot() {
  if (top_ == slots_.size()) slots_.push_back(pool_.Take());
  return *slots_[top_++];
}

const TExpToken* TExpEvaluator::Boolean(TExpToken& slot, bool value) {
  slot.SetBoolean(value);
  return &slot;
}

namespace {

// Frees the working slots an evaluation took when it ends, however it ends; their contents stay
// until the next evaluation.
class TSlotMark {
 public:
  explicit TSlotMark(size_t& top) : top_(top), mark_(top) {}
  ~TSlotMark() { top_ = mark_; }
  TSlotMark(const TSlotMark&) = delete;
  TSlotMark& operator=(const TSlotMark&) = delete;

 private:
  size_t& top_;
  size_t mark_;
};

}  // namespace

TExpToken* TExpEvaluator::Evaluate(const TExpToken& node, const uint8_t* record) {
  record_ = record;
  const TSlotMark mark(top_);
  TExpToken* result = pool_.Take();
  try {
    const TExpToken* value = Eval(node);
    result->Text = node.Text;
    result->NodeClass = kNodeConstant;
    result->SetValueSize(value->ValueSize());
    std::copy_n(value->Value(), value->ValueSize(), result->Value());
    result->ValueType = value->ValueType;
    result->SubType = value->SubType;
    result->Scale = value->Scale;
    result->IsNull = value->IsNull;
    // A column, constant or sub-result typed by the checks keeps the checked type when the
    // value is NULL and untyped.
    if (result->ValueType == 0 && node.ValueType != 0) {
      result->ValueType = node.ValueType;
      result->SubType = node.SubType;
    }
  } catch (...) {
    pool_.Return(result);
    throw;
  }
  return result;
}

const TExpToken* TExpEvaluator::EvaluateInPlace(const TExpToken& node, const uint8_t* record) {
  record_ = record;
  const TSlotMark mark(top_);
  const TExpToken* value = Eval(node);
  if (value->ValueType == 0 && node.ValueType != 0) return nullptr;
  return value;
}

bool TExpEvaluator::Holds(const TExpToken& node, const uint8_t* record) {
  record_ = record;
  const TSlotMark mark(top_);
  return Truth(node);
}

bool TExpEvaluator::Truth(const TExpToken& node) {
  const size_t mark = top_;
  const TExpToken* value = Eval(node);
  const bool truth = !IsNullValue(*value) && IntegerOf(*value) != 0;
  top_ = mark;
  return truth;
}

const TExpToken* TExpEvaluator::Eval(const TExpToken& node) {
  switch (node.NodeClass) {
    case kNodeConstant:
      return &node;
    case kNodeColumn:
      return EvalColumn(node);
    case kNodeUnary:
      return EvalUnary(node);
    case kNodeBinary:
      if (node.OpCode == kOpAnd || node.OpCode == kOpOr) return EvalLogic(node);
      return EvalBinary(node);
    case kNodeStringMatch:
      return EvalStringMatch(node);
    case kNodePredicate:
      return EvalPredicate(node);
    case kNodeFunction:
      return EvalFunction(node);
    default:
      RaiseEngineError(VUZODE_SQLPARSE, {}, {}, {}, {}, {}, {},
                       "Internal error: expression '" + node.Text + "' cannot be evaluated");
  }
}

const TExpToken* TExpEvaluator::EvalColumn(const TExpToken& node) {
  if (!env_) {
    if (node.Resolved) return &node;  // a column given its value beforehand
    RaiseEngineError(VUZODE_SQLPARSE, {}, {}, {}, {}, {}, {},
                     "Internal error: Column '" + node.ColumnName + "' specified illegally");
  }
  TExpToken& slot = NewSlot();
  slot.ValueType = node.ValueType;
  slot.SubType = node.SubType;
  slot.Scale = node.Scale;
  slot.IsNull = 0;
  slot.SetValueSize(node.ValueSize());
  env_->FetchColumn(record_, node, slot);
  return &slot;
}

const TExpToken* TExpEvaluator::EvalUnary(const TExpToken& node) {
  const size_t mark = top_;
  TExpToken& out = NewSlot();
  switch (node.OpCode) {
    case kOpNot: {
      const bool truth = Truth(*node.Left);
      top_ = mark + 1;
      return Boolean(out, !truth);
    }
    case kOpIsNull:
    case kOpIsNotNull: {
      const bool null = IsNullValue(*Eval(*node.Left));
      top_ = mark + 1;
      return Boolean(out, node.OpCode == kOpIsNull ? null : !null);
    }
    default:
      Negate(node, *Eval(*node.Left), out);
      top_ = mark + 1;
      return &out;
  }
}

const TExpToken* TExpEvaluator::EvalLogic(const TExpToken& node) {
  // The right operand first: the filter places the cheaper condition there, and it alone
  // decides when it is false (AND) or true (OR).
  const size_t mark = top_;
  TExpToken& out = NewSlot();
  const bool right = Truth(*node.Right);
  bool result;
  if (node.OpCode == kOpAnd)
    result = right && Truth(*node.Left);
  else
    result = right || Truth(*node.Left);
  top_ = mark + 1;
  return Boolean(out, result);
}

const TExpToken* TExpEvaluator::EvalBinary(const TExpToken& node) {
  const size_t mark = top_;
  TExpToken& out = NewSlot();
  const TExpToken& left = *Eval(*node.Left);
  const TExpToken& right = *Eval(*node.Right);
  if (node.OpCode >= kOpEqual && node.OpCode <= kOpLessEqual) {
    if (left.ValueType == kFieldInteger && right.ValueType == kFieldInteger && !left.IsNull &&
        !right.IsNull) {  // the common case, without the general dispatch
      const int32_t a = left.IntegerValue(), b = right.IntegerValue();
      bool holds = false;
      switch (node.OpCode) {
        case kOpEqual:
          holds = a == b;
          break;
        case kOpNotEqual:
          holds = a != b;
          break;
        case kOpGreater:
          holds = a > b;
          break;
        case kOpLess:
          holds = a < b;
          break;
        case kOpGreaterEqual:
          holds = a >= b;
          break;
        default:
          holds = a <= b;
      }
      top_ = mark + 1;
      return Boolean(out, holds);
    }
    const bool holds =
        CompareForOp(node.OpCode, left, right, {language_id_, sort_id_}, node.NoCase != 0);
    top_ = mark + 1;
    return Boolean(out, holds);
  }
  Arithmetic(node, left, right, out);
  top_ = mark + 1;
  return &out;
}

const TExpToken* TExpEvaluator::EvalStringMatch(const TExpToken& node) {
  const size_t mark = top_;
  TExpToken& out = NewSlot();
  const TExpToken* leftNode = node.Left ? node.Left : node.Args[0];
  const TExpToken* rightNode = node.Right ? node.Right : node.Args[1];
  const TExpToken& left = *Eval(*leftNode);
  const TExpToken& right = *Eval(*rightNode);
  const bool wantEqual = node.OpCode == kOpEqual || node.OpCode == kOpLike;
  const bool leftNull = IsNullValue(left), rightNull = IsNullValue(right);
  bool equal;
  if (leftNull || rightNull) {
    equal = leftNull && rightNull;
  } else {
    std::string_view a = TextOf(left), b = TextOf(right);
    if (node.PartialLength > 0) {
      const size_t n = static_cast<size_t>(node.PartialLength);
      a = a.substr(0, n);
      b = b.substr(0, n);
    }
    if (language_id_ == 0 && !node.NoCase)
      equal = a == b;
    else
      equal = LocaleCompare(language_id_, sort_id_, a, b, node.NoCase != 0) == 0;
  }
  top_ = mark + 1;
  return Boolean(out, wantEqual ? equal : !equal);
}

const TExpToken* TExpEvaluator::EvalPredicate(const TExpToken& node) {
  const size_t mark = top_;
  TExpToken& out = NewSlot();
  const TExpToken& left = *Eval(*node.Args[0]);
  const TCollation collation{language_id_, sort_id_};
  const bool noCase = node.NoCase != 0;
  bool result = false;
  switch (node.OpCode) {
    case kOpLike:
    case kOpNotLike: {
      const TExpToken& pattern = *Eval(*node.Args[1]);
      const bool matches = !IsNullValue(left) && !IsNullValue(pattern) &&
                           LikeMatches(TextOf(left), TextOf(pattern), language_id_, sort_id_);
      result = node.OpCode == kOpLike ? matches : !matches;
      break;
    }
    case kOpIn:
    case kOpNotIn:
      for (size_t i = 1; i < node.Args.size() && !result; ++i) {
        const size_t inner = top_;
        result = CompareForOp(kOpEqual, left, *Eval(*node.Args[i]), collation, noCase);
        top_ = inner;
      }
      if (node.OpCode == kOpNotIn) result = !result;
      break;
    case kOpInSelect:
    case kOpNotInSelect:
      if (!env_)
        RaiseEngineError(VUZODE_SQLPARSE, {}, {}, {}, {}, {}, {},
                         "Internal error: sub-select '" + node.Args[1]->Text + "' is not bound");
      result = env_->SubSelectHolds(*node.Args[1], left);
      if (node.OpCode == kOpNotInSelect) result = !result;
      break;
    case kOpBetween:
    case kOpNotBetween: {
      const size_t inner = top_;
      result = CompareForOp(kOpGreaterEqual, left, *Eval(*node.Args[1]), collation, noCase);
      top_ = inner;
      if (result)
        result = CompareForOp(kOpLessEqual, left, *Eval(*node.Args[2]), collation, noCase);
      if (node.OpCode == kOpNotBetween) result = !result;
      break;
    }
    default:
      RaiseEngineError(VUZODE_SQLPARSE, {}, {}, {}, {}, {}, {},
                       "Internal error: predicate '" + node.Text + "' cannot be evaluated");
  }
  top_ = mark + 1;
  return Boolean(out, result);
}

TExpToken* Evaluate(const TExpToken& node, const uint8_t* record, TEvalEnvironment* env,
                    uint16_t sortId, uint16_t languageId, TExpTokenStack& pool) {
  TExpEvaluator evaluator(env, sortId, languageId, pool);
  return evaluator.Evaluate(node, record);
}
