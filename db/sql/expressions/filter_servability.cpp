// TestServability (see filter_servability.h).
#include "db/sql/expressions/filter_servability.h"

#include <algorithm>
#include <utility>

#include "db/sql/expressions/prepare_filter.h"
#include "db/storage/data/field_types.h"

namespace {

constexpr uint8_t kNotServable = 0;
constexpr uint8_t kPartly = 1;
constexpr uint8_t kFully = 2;

bool IsPlainConstant(const TExpToken* node) {
  return node != nullptr && node->NodeClass == kNodeConstant && !node->IsParam;
}

class TTester {
 public:
  TTester(TFilterIndexSource& source, bool estimate, bool threshold)
      : source_(source), estimate_(estimate), threshold_(threshold) {
    if (threshold_ || estimate_) total_ = source_.TotalRecordCount();
  }

  void Test(TExpToken& node);

 private:
  bool Counting() const { return estimate_ || threshold_; }
  void Verdict(TExpToken& node, uint8_t verdict, int64_t estimate, int64_t keyLength) {
    node.Servability = verdict;
    node.HeldBack = 0;
    node.Estimate = estimate_ && estimate >= 0 ? static_cast<int32_t>(estimate) : -1;
    node.Cost = estimate_ && estimate >= 0 ? static_cast<int32_t>(estimate * keyLength) : -1;
  }
  // A leaf the index answers with estimate records (-1: it cannot).
  void Leaf(TExpToken& node, int64_t estimate) {
    if (estimate < 0) {
      Verdict(node, kNotServable, -1, 0);
      return;
    }
    const int64_t keyLength = source_.ActiveKeyLength();
    if (threshold_ && estimate * 10 > total_ * 9) {
      Verdict(node, kNotServable, estimate, keyLength);
      node.HeldBack = 1;
      return;
    }
    Verdict(node, kFully, estimate, keyLength);
  }
  // Selects the index for a comparison of operand (under noCase); null when there is none.
  const TExpToken* Column(const TExpToken& operand, bool noCase) {
    bool caseInsensitive = false;
    const TExpToken* column = ServableColumn(operand, noCase, caseInsensitive);
    if (column == nullptr) return nullptr;
    const bool anyCase = column->ValueType != kFieldString;
    return source_.SelectIndexLedBy(column->FieldNo, caseInsensitive, anyCase) ? column : nullptr;
  }
  int64_t Count(uint8_t op, const TExpToken& column, const TExpToken* constant, int32_t partial,
                bool noCase) {
    return source_.CountKeyRange(op, column, constant, partial, noCase, Counting());
  }
  // The records outside a range of count records (for <>, NOT IN and the like).
  int64_t Outside(int64_t count) const {
    return count < 0 ? -1 : (Counting() ? std::max<int64_t>(total_ - count, 0) : 0);
  }
  void NullTest(TExpToken& node);
  void Comparison(TExpToken& node);
  void StringMatch(TExpToken& node);
  void Predicate(TExpToken& node);
  void And(TExpToken& node);
  void Or(TExpToken& node);

  TFilterIndexSource& source_;
  bool estimate_;
  bool threshold_;
  int64_t total_ = 0;
};

void TTester::NullTest(TExpToken& node) {
  const TExpToken* column = node.Left && node.Left->NodeClass == kNodeColumn ? node.Left : nullptr;
  if (column == nullptr || !source_.SelectIndexLedBy(column->FieldNo, false, true)) {
    Leaf(node, -1);
    return;
  }
  Leaf(node, Count(node.OpCode, *column, nullptr, 0, false));
}

void TTester::Comparison(TExpToken& node) {
  const TExpToken* column = node.Left ? Column(*node.Left, node.NoCase != 0) : nullptr;
  if (column == nullptr || !IsPlainConstant(node.Right)) {
    Leaf(node, -1);
    return;
  }
  const bool noCase = node.NoCase != 0;
  if (node.OpCode == kOpNotEqual) {
    Leaf(node, Outside(Count(kOpEqual, *column, node.Right, 0, noCase)));
  } else {
    Leaf(node, Count(node.OpCode, *column, node.Right, 0, noCase));
  }
}

void TTester::StringMatch(TExpToken& node) {
  const TExpToken* left = node.Left ? node.Left : (node.Args.size() > 0 ? node.Args[0] : nullptr);
  const TExpToken* right =
      node.Right ? node.Right : (node.Args.size() > 1 ? node.Args[1] : nullptr);
  const TExpToken* column = left ? Column(*left, node.NoCase != 0) : nullptr;
  const bool equal = node.OpCode == kOpEqual || node.OpCode == kOpLike;
  const bool notEqual = node.OpCode == kOpNotEqual || node.OpCode == kOpNotLike;
  if (column == nullptr || !IsPlainConstant(right) || (!equal && !notEqual)) {
    Leaf(node, -1);
    return;
  }
  const int64_t count = Count(kOpEqual, *column, right, node.PartialLength, node.NoCase != 0);
  Leaf(node, equal ? count : Outside(count));
}

void TTester::Predicate(TExpToken& node) {
  const bool in = node.OpCode == kOpIn || node.OpCode == kOpNotIn;
  const bool between = node.OpCode == kOpBetween || node.OpCode == kOpNotBetween;
  const TExpToken* column =
      (in || between) && !node.Args.empty() ? Column(*node.Args[0], node.NoCase != 0) : nullptr;
  if (column == nullptr || node.Args.size() < 2 || (between && node.Args.size() != 3)) {
    Leaf(node, -1);
    return;
  }
  for (size_t i = 1; i < node.Args.size(); ++i) {
    if (!IsPlainConstant(node.Args[i])) {
      Leaf(node, -1);
      return;
    }
  }
  const bool noCase = node.NoCase != 0;
  int64_t estimate = -1;
  if (in) {
    for (size_t i = 1; i < node.Args.size(); ++i) {
      const int64_t count = Count(kOpEqual, *column, node.Args[i], 0, noCase);
      if (count < 0) {
        Leaf(node, -1);
        return;
      }
      estimate = estimate < 0 ? count : std::min(estimate, count);
    }
  } else {
    const int64_t low = Count(kOpGreaterEqual, *column, node.Args[1], 0, noCase);
    const int64_t high = Count(kOpLessEqual, *column, node.Args[2], 0, noCase);
    if (low < 0 || high < 0) {
      Leaf(node, -1);
      return;
    }
    estimate = std::min(low, high);
  }
  const bool negated = node.OpCode == kOpNotIn || node.OpCode == kOpNotBetween;
  Leaf(node, negated ? Outside(estimate) : estimate);
}

void TTester::And(TExpToken& node) {
  Test(*node.Left);
  Test(*node.Right);
  TExpToken* sides[2] = {node.Left, node.Right};
  for (int i = 0; i < 2; ++i) {
    TExpToken& side = *sides[i];
    const TExpToken& other = *sides[1 - i];
    if (side.Servability == kNotServable && side.HeldBack && other.Servability == kFully) {
      side.Servability = kFully;
      side.HeldBack = 0;
    }
  }
  const TExpToken& l = *node.Left;
  const TExpToken& r = *node.Right;
  const int64_t estimate = l.Estimate < 0
                               ? r.Estimate
                               : (r.Estimate < 0 ? l.Estimate : std::min(l.Estimate, r.Estimate));
  node.Servability = kNotServable;
  node.HeldBack = 0;
  node.Estimate = estimate_ ? static_cast<int32_t>(estimate) : -1;
  node.Cost = (l.Cost < 0 || r.Cost < 0) ? -1 : l.Cost + r.Cost;
  if (l.Servability == kFully && r.Servability == kFully) {
    node.Servability = kFully;
  } else if (l.Servability != kNotServable || r.Servability != kNotServable) {
    node.Servability = kPartly;
    if (r.Servability > l.Servability) std::swap(node.Left, node.Right);
  }
}

void TTester::Or(TExpToken& node) {
  Test(*node.Left);
  Test(*node.Right);
  const TExpToken& l = *node.Left;
  const TExpToken& r = *node.Right;
  node.Servability = l.Servability == kFully && r.Servability == kFully ? kFully : kNotServable;
  node.HeldBack = 0;
  node.Estimate =
      estimate_ && l.Estimate >= 0 && r.Estimate >= 0 ? std::max(l.Estimate, r.Estimate) : -1;
  node.Cost = (l.Cost < 0 || r.Cost < 0) ? -1 : l.Cost + r.Cost;
}

void TTester::Test(TExpToken& node) {
  if (IsColumnFree(node)) {
    // Its value is the same for every record: answered once, without reading any.
    Verdict(node, kFully, total_, 0);
    return;
  }
  switch (node.NodeClass) {
    case kNodeUnary:
      if (node.OpCode == kOpIsNull || node.OpCode == kOpIsNotNull) {
        NullTest(node);
      } else if (node.OpCode == kOpNot && node.Left) {
        Test(*node.Left);
        node.Servability = node.Left->Servability;
        node.HeldBack = node.Left->HeldBack;
        node.Estimate = node.Left->Estimate;
        node.Cost = node.Left->Cost;
      } else {
        Leaf(node, -1);
      }
      return;
    case kNodeBinary:
      if (node.OpCode == kOpAnd && node.Left && node.Right) {
        And(node);
      } else if (node.OpCode == kOpOr && node.Left && node.Right) {
        Or(node);
      } else if (node.OpCode >= kOpEqual && node.OpCode <= kOpLessEqual) {
        Comparison(node);
      } else {
        Leaf(node, -1);
      }
      return;
    case kNodeStringMatch:
      StringMatch(node);
      return;
    case kNodePredicate:
      Predicate(node);
      return;
    default:
      Leaf(node, -1);
      return;
  }
}

}  // namespace

const TExpToken* ServableColumn(const TExpToken& operand, bool noCase, bool& caseInsensitive) {
  caseInsensitive = noCase;
  if (operand.NodeClass == kNodeColumn) return &operand;
  const bool wrapped = operand.NodeClass == kNodeFunction &&
                       (operand.OpCode == kOpUpper || operand.OpCode == kOpLower) &&
                       operand.Args.size() == 1 && operand.Args[0]->NodeClass == kNodeColumn;
  if (wrapped && noCase) {
    caseInsensitive = true;
    return operand.Args[0];
  }
  return nullptr;
}

void TestServability(TExpToken& root, TFilterIndexSource& source, bool estimate, bool threshold) {
  TTester tester(source, estimate, threshold);
  tester.Test(root);
}
