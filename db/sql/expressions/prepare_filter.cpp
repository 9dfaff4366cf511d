// PrepareFilter and FoldConstant (see prepare_filter.h). The exact-bound rewrite of
// invariant (1) is in BringToType.
#include "db/sql/expressions/prepare_filter.h"

#include <cmath>

#include "db/sql/expressions/evaluate.h"
#include "db/sql/expressions/evaluate_values.h"
#include "db/sql/expressions/type_groups.h"
#include "db/sql/expressions/value_conversion.h"

namespace {

// Owns a partly built tree until it is handed on, so an error leaves nothing behind.
class TTreeGuard {
 public:
  TTreeGuard(TExpTokenStack& pool, TExpToken* tree) : pool_(pool), tree_(tree) {}
  ~TTreeGuard() { ReleaseExpTree(pool_, tree_); }
  TExpToken* Get() const { return tree_; }
  TExpToken* Release() {
    TExpToken* tree = tree_;
    tree_ = nullptr;
    return tree;
  }

 private:
  TExpTokenStack& pool_;
  TExpToken* tree_;
};

bool IsWrappedColumn(const TExpToken& node, uint8_t op) {
  return node.NodeClass == kNodeFunction && node.OpCode == op && node.Args.size() == 1 &&
         node.Args[0]->NodeClass == kNodeColumn;
}
// UPPER or LOWER of one column: that function's code, else 0.
uint8_t CaseWrapping(const TExpToken& node) {
  if (IsWrappedColumn(node, kOpUpper)) return kOpUpper;
  if (IsWrappedColumn(node, kOpLower)) return kOpLower;
  return 0;
}

class TPreparer {
 public:
  TPreparer(const TFilterPrepareOptions& options, TExpTokenStack& pool)
      : options_(options), pool_(pool) {}

  TExpToken* Prepare(const TExpToken& node);

 private:
  TExpToken* Shallow(const TExpToken& node) {
    TExpToken* copy = pool_.Take();
    copy->CopyFrom(node);
    copy->Left = copy->Right = copy->Child = copy->Parent = nullptr;
    copy->Args.clear();
    return copy;
  }
  TExpToken* Truth(const TExpToken& node, bool value) {
    TExpToken* constant = pool_.Take();
    constant->NodeClass = kNodeConstant;
    constant->Text = value ? "TRUE" : "FALSE";
    constant->SetBoolean(value);
    (void)node;
    return constant;
  }
  // A column-free operand folded, else prepared.
  TExpToken* Operand(const TExpToken& node) {
    return IsColumnFree(node) && node.NodeClass != kNodeConstant
               ? FoldConstant(node, options_, pool_)
               : Prepare(node);
  }
  TExpToken* Comparison(const TExpToken& node);
  TExpToken* Like(const TExpToken& node);
  TExpToken* ListOrRange(const TExpToken& node);
  void Link(TExpToken* parent, TExpToken* child) {
    if (child) child->Parent = parent;
  }

  const TFilterPrepareOptions& options_;
  TExpTokenStack& pool_;
};

// How a constant that the typed side cannot hold exactly is rewritten.
enum class TBound { kExact, kConverted, kNever, kAlways };

// Brings constant to typed's type for op (a comparison). kConverted: constant now holds a
// value of that type and op may have changed (< to <=, > to >=); kExact: left as it was;
// kNever / kAlways: the comparison has the same answer for every record.
TBound BringToType(const TExpToken& typed, TExpToken& constant, uint8_t& op) {
  const uint8_t type = typed.ValueType;
  if (constant.IsNull || constant.ValueType == 0 || constant.ValueType == kFieldString ||
      type == 0 || type == constant.ValueType)
    return TBound::kExact;
  const bool stepped = IsIntegerKind(type) || type == kFieldDate || type == kFieldTime;
  TExpToken converted;
  const bool fits =
      ConvertValue(constant, converted, type, typed.SubType, typed.ValueSize(), typed.Scale);
  bool comparable = true;
  const int order = fits ? CompareValues(converted, constant, {}, false, comparable) : 0;
  if (fits && comparable && order == 0) {  // nothing lost
    ConvertValue(constant, constant, type, typed.SubType, typed.ValueSize(), typed.Scale);
    return TBound::kConverted;
  }
  if (!stepped || constant.ValueType == kFieldTime) return TBound::kExact;
  if (constant.ValueType == kFieldFloat && std::isnan(constant.FloatValue())) return TBound::kExact;
  if (op == kOpEqual) return TBound::kNever;
  if (op == kOpNotEqual) return TBound::kAlways;
  const bool below = op == kOpLess || op == kOpLessEqual;  // the answer lies below the bound
  if (!fits) {
    // Out of the type's range: the nearest representable value is the type's end on the
    // constant's side.
    TExpToken zero;
    StoreInteger(zero, kFieldInteger, 0);
    bool unused = true;
    const bool high = CompareValues(constant, zero, {}, false, unused) > 0;
    int64_t end = 0;
    switch (type) {
      case kFieldSmallInt:
        end = high ? INT16_MAX : INT16_MIN;
        break;
      case kFieldWord:
        end = high ? UINT16_MAX : 0;
        break;
      case kFieldLargeInt:
        end = high ? INT64_MAX : INT64_MIN;
        break;
      case kFieldDate:
        end = high ? 3652059 : 1;
        break;
      default:
        end = high ? INT32_MAX : INT32_MIN;
    }
    StoreInteger(constant, type, end);
    constant.SubType = typed.SubType;
    // Above the range: "<" and "<=" hold for every value up to the end, ">" ">=" for none.
    if (high)
      op = below ? kOpLessEqual : kOpGreater;
    else
      op = below ? kOpLess : kOpGreaterEqual;
    return TBound::kConverted;
  }
  // The converted value lies on one side of the constant; step to the nearest value on the
  // side the comparison keeps.
  int64_t value = IntegerOf(converted);
  if (below) {
    if (order > 0) --value;  // converted above the constant: the one below it
    op = kOpLessEqual;
  } else {
    if (order < 0) ++value;
    op = kOpGreaterEqual;
  }
  if (!StoreInteger(constant, type, value)) return TBound::kExact;
  constant.SubType = typed.SubType;
  return TBound::kConverted;
}

TExpToken* TPreparer::Comparison(const TExpToken& node) {
  TTreeGuard left(pool_, Prepare(*node.Left));
  TTreeGuard right(pool_, Operand(*node.Right));
  uint8_t op = node.OpCode;
  if (right.Get()->NodeClass == kNodeConstant) {
    const TBound bound = BringToType(*left.Get(), *right.Get(), op);
    if (bound == TBound::kNever) return Truth(node, false);
    if (bound == TBound::kAlways) return Truth(node, true);
  }
  TExpToken* copy = Shallow(node);
  copy->OpCode = op;
  const uint8_t wrapping = CaseWrapping(*node.Left);
  if (wrapping && wrapping == CaseWrapping(*node.Right)) copy->NoCase = 1;
  const TExpToken& constant = *right.Get();
  if (constant.NodeClass == kNodeConstant && constant.ValueType == kFieldString &&
      !constant.IsNull && (op == kOpEqual || op == kOpNotEqual)) {
    const std::string_view text = constant.StringValue();
    const bool star = text.size() > 1 && text.back() == '*' && text[text.size() - 2] != '*';
    if (options_.CaseInsensitive || star) {
      copy->NodeClass = kNodeStringMatch;
      copy->NoCase = options_.CaseInsensitive ? 1 : 0;
      copy->PartialLength = 0;
      if (star && !options_.NoPartialCompare) {
        const std::string prefix(text.substr(0, text.size() - 1));
        right.Get()->SetString(prefix);
        copy->PartialLength = static_cast<int32_t>(prefix.size());
      }
    }
  }
  copy->Left = left.Release();
  copy->Right = right.Release();
  Link(copy, copy->Left);
  Link(copy, copy->Right);
  return copy;
}

TExpToken* TPreparer::Like(const TExpToken& node) {
  TTreeGuard left(pool_, Prepare(*node.Args[0]));
  TTreeGuard pattern(pool_, Operand(*node.Args[1]));
  const uint8_t wrapping = CaseWrapping(*node.Args[0]);
  const bool noCase = wrapping && wrapping == CaseWrapping(*node.Args[1]);
  const TExpToken& p = *pattern.Get();
  if (p.NodeClass == kNodeConstant && p.ValueType == kFieldString && !p.IsNull) {
    const std::string_view text = p.StringValue();
    const size_t firstWild = text.find_first_of("%_");
    if (text.size() > 1 && firstWild == text.size() - 1 && text.back() == '%') {
      TExpToken* match = Shallow(node);
      match->NodeClass = kNodeStringMatch;
      match->OpCode = node.OpCode == kOpLike ? kOpEqual : kOpNotEqual;
      match->NoCase = noCase;
      const std::string prefix(text.substr(0, text.size() - 1));
      pattern.Get()->SetString(prefix);
      match->PartialLength = static_cast<int32_t>(prefix.size());
      match->Left = left.Release();
      match->Right = pattern.Release();
      Link(match, match->Left);
      Link(match, match->Right);
      return match;
    }
  }
  TExpToken* copy = Shallow(node);
  copy->NoCase = noCase;
  copy->Args = {left.Release(), pattern.Release()};
  Link(copy, copy->Args[0]);
  Link(copy, copy->Args[1]);
  return copy;
}

TExpToken* TPreparer::ListOrRange(const TExpToken& node) {
  TTreeGuard copy(pool_, Shallow(node));
  TExpToken& result = *copy.Get();
  result.Args.reserve(node.Args.size());
  const uint8_t wrapping = CaseWrapping(*node.Args[0]);
  bool allWrapped = wrapping != 0;
  for (size_t i = 0; i < node.Args.size(); ++i) {
    result.Args.push_back(i == 0 ? Prepare(*node.Args[0]) : Operand(*node.Args[i]));
    Link(&result, result.Args.back());
    if (i > 0 && CaseWrapping(*node.Args[i]) != wrapping) allWrapped = false;
  }
  result.NoCase = allWrapped;
  const bool range = node.OpCode == kOpBetween || node.OpCode == kOpNotBetween;
  const bool negated = node.OpCode == kOpNotBetween || node.OpCode == kOpNotIn;
  if (node.OpCode == kOpInSelect || node.OpCode == kOpNotInSelect) return copy.Release();
  const TExpToken& left = *result.Args[0];
  for (size_t i = 1; i < result.Args.size(); ++i) {
    TExpToken& value = *result.Args[i];
    if (value.NodeClass != kNodeConstant) continue;
    uint8_t op = range ? (i == 1 ? kOpGreaterEqual : kOpLessEqual) : kOpEqual;
    const uint8_t asked = op;
    TExpToken saved;
    saved.CopyFrom(value);
    const TBound bound = BringToType(left, value, op);
    // A range bound that moved past the type's end (the op turned strict) cannot hold at all.
    const bool rangeNever =
        range && bound == TBound::kConverted && op != asked && (op == kOpLess || op == kOpGreater);
    if (rangeNever) return Truth(node, negated);
    if (bound == TBound::kNever && !range) {
      // This value can never equal the left operand; as a listed value it is kept unconverted,
      // which compares exactly.
      value.CopyFrom(saved);
      value.Left = value.Right = value.Child = nullptr;
      value.Args.clear();
    }
  }
  return copy.Release();
}

TExpToken* TPreparer::Prepare(const TExpToken& node) {
  switch (node.NodeClass) {
    case kNodeBinary:
      if (node.OpCode >= kOpEqual && node.OpCode <= kOpLessEqual) return Comparison(node);
      [[fallthrough]];
    case kNodeUnary:
    case kNodeStringMatch: {
      if (node.NodeClass == kNodeBinary && node.OpCode != kOpAnd && node.OpCode != kOpOr &&
          IsColumnFree(node))
        return FoldConstant(node, options_, pool_);
      TTreeGuard copy(pool_, Shallow(node));
      if (node.Left) copy.Get()->Left = Prepare(*node.Left);
      Link(copy.Get(), copy.Get()->Left);
      if (node.Right) copy.Get()->Right = Prepare(*node.Right);
      Link(copy.Get(), copy.Get()->Right);
      for (const TExpToken* arg : node.Args) {
        copy.Get()->Args.push_back(Prepare(*arg));
        Link(copy.Get(), copy.Get()->Args.back());
      }
      return copy.Release();
    }
    case kNodePredicate:
      if (node.OpCode == kOpLike || node.OpCode == kOpNotLike) return Like(node);
      return ListOrRange(node);
    case kNodeFunction: {
      TTreeGuard copy(pool_, Shallow(node));
      for (const TExpToken* arg : node.Args) {
        copy.Get()->Args.push_back(Operand(*arg));
        Link(copy.Get(), copy.Get()->Args.back());
      }
      return copy.Release();
    }
    default:
      return Shallow(node);
  }
}

}  // namespace

bool IsColumnFree(const TExpToken& node) {
  switch (node.NodeClass) {
    case kNodeColumn:
    case kNodeSubSelect:
      return false;
    case kNodeConstant:
      return !node.IsParam;
    case kNodeFunction:
      if (node.OpCode >= kOpTextSearch && node.OpCode <= kOpIdentCurrent) return false;
      if (node.OpCode >= kOpSum && node.OpCode <= kOpAvg) return false;
      break;
    default:
      break;
  }
  for (const TExpToken* below : {node.Left, node.Right, node.Child})
    if (below && !IsColumnFree(*below)) return false;
  for (const TExpToken* arg : node.Args)
    if (arg && !IsColumnFree(*arg)) return false;
  return true;
}

TExpToken* FoldConstant(const TExpToken& node, const TFilterPrepareOptions& options,
                        TExpTokenStack& pool) {
  TExpEvaluator evaluator(nullptr, options.SortId, options.LanguageId, pool);
  return evaluator.Evaluate(node, nullptr);
}

TExpToken* PrepareFilter(const TExpToken& root, const TFilterPrepareOptions& options,
                         TExpTokenStack& pool) {
  TPreparer preparer(options, pool);
  return preparer.Prepare(root);
}
