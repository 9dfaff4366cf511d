// Reshaping a tree for the older serialised form and restoring its arguments (see the header
// for the table and why the caller's tree is never changed).
#include "db/sql/expressions/exp_tree_reshape.h"

#include <vector>

#include "db/engine/errors/engine_error.h"
#include "db/sql/expressions/exp_tree_text.h"

namespace {

enum class TOldShape {
  kOperands,  // unary, two-operand and string-match nodes: Left and Right as they are
  kLeaf,
  kOne,        // Left = arg 0
  kSubstring,  // Left 0, Right 1, Right of 1 = 2 (optional)
  kReplace,    // Left 2, Right 0, Right of 0 = 1
  kSwapped,    // Left 1, Right 0
  kCast,       // Left 0, Right 1 (optional), Right of 1 = 2 (optional)
  kRound,      // Left 0, Right 1 (optional)
  kIf,         // Left 0, Right 1, Child 2
  kPair,       // Left 0, Right 1
  kBetween,    // Left 0, Right 1, Right of 1 = 2
  kInList,     // Left 0, Right 1, Right of each = the next
  kNone,       // cannot be carried
};

TOldShape OldShapeOf(const TExpToken& node) {
  uint8_t op = node.OpCode;
  switch (node.NodeClass) {
    case kNodeUnary:
    case kNodeBinary:
      return TOldShape::kOperands;
    case kNodeStringMatch:
      return node.Args.empty() ? TOldShape::kOperands : TOldShape::kPair;
    case kNodeColumn:
    case kNodeConstant:
      return TOldShape::kLeaf;
    case kNodeFunction:
      if ((op >= kOpSum && op <= kOpAvg) || op == kOpUpper || op == kOpLower || op == kOpLength ||
          op == kOpAbs || (op >= kOpExtractYear && op <= kOpExtractSecond))
        return TOldShape::kOne;
      if (op == kOpSubstring) return TOldShape::kSubstring;
      if (op == kOpReplace) return TOldShape::kReplace;
      if (op == kOpPos || op == kOpOccurs || (op >= kOpTrimLeading && op <= kOpTrimBoth))
        return TOldShape::kSwapped;
      if (op == kOpCast) return TOldShape::kCast;
      if (op == kOpRound) return TOldShape::kRound;
      if (op == kOpIf) return TOldShape::kIf;
      return TOldShape::kNone;
    case kNodePredicate:
      if (op == kOpLike || op == kOpNotLike) return TOldShape::kPair;
      if (op == kOpBetween || op == kOpNotBetween) return TOldShape::kBetween;
      if (op == kOpIn || op == kOpNotIn) return TOldShape::kInList;
      return TOldShape::kNone;
    default:
      return TOldShape::kNone;
  }
}

class TReshaper {
 public:
  TReshaper(TExpTokenStack& pool, uint16_t errorCode) : pool_(pool), error_code_(errorCode) {}

  TExpToken* Run(const TExpToken* root) {
    try {
      return Copy(root);
    } catch (...) {
      for (TExpToken*& node : taken_) pool_.Return(node);
      throw;
    }
  }

 private:
  [[noreturn]] void Refuse(const TExpToken& node, const char* why) {
    RaiseEngineError(error_code_, {}, {}, {}, {}, {}, {},
                     "Expression " + ExpOpName(node.OpCode) + " '" + node.Text + "' " + why +
                         " in the form for servers below version 30400");
  }

  // The argument at index, which the shapes' counts guarantee.
  const TExpToken* Arg(const TExpToken& node, size_t index) {
    if (index >= node.Args.size() || !node.Args[index]) Refuse(node, "lacks an argument");
    return node.Args[index];
  }

  // A reshaped copy that will carry a chained value in its Right link (see the header).
  TExpToken* ChainSlot(const TExpToken& owner, const TExpToken* arg) {
    TExpToken* copy = Copy(arg);
    if (copy->Right) Refuse(owner, "has an argument with its own right operand, which cannot be");
    return copy;
  }

  TExpToken* Copy(const TExpToken* source) {
    if (!source) return nullptr;
    TExpToken* copy = pool_.Take();
    taken_.push_back(copy);
    copy->CopyFrom(*source);
    copy->Args.clear();
    copy->Left = copy->Right = copy->Child = nullptr;
    const TExpToken& node = *source;
    if (node.Child) Refuse(node, "has a third link, which cannot be");
    switch (OldShapeOf(node)) {
      case TOldShape::kOperands:
        copy->Left = Copy(node.Left);
        copy->Right = Copy(node.Right);
        break;
      case TOldShape::kLeaf:
        break;
      case TOldShape::kOne:
        copy->Left = Copy(Arg(node, 0));
        break;
      case TOldShape::kSubstring:
        copy->Left = Copy(Arg(node, 0));
        copy->Right = ChainSlot(node, Arg(node, 1));
        if (node.Args.size() > 2) copy->Right->Right = Copy(Arg(node, 2));
        break;
      case TOldShape::kReplace:
        copy->Left = Copy(Arg(node, 2));
        copy->Right = ChainSlot(node, Arg(node, 0));
        copy->Right->Right = Copy(Arg(node, 1));
        break;
      case TOldShape::kSwapped:
        copy->Left = Copy(Arg(node, 1));
        copy->Right = Copy(Arg(node, 0));
        break;
      case TOldShape::kCast:
        copy->Left = Copy(Arg(node, 0));
        if (node.Args.size() > 1) copy->Right = ChainSlot(node, Arg(node, 1));
        if (node.Args.size() > 2) copy->Right->Right = Copy(Arg(node, 2));
        break;
      case TOldShape::kRound:
        copy->Left = Copy(Arg(node, 0));
        if (node.Args.size() > 1) copy->Right = Copy(Arg(node, 1));
        break;
      case TOldShape::kIf:
        copy->Left = Copy(Arg(node, 0));
        copy->Right = Copy(Arg(node, 1));
        copy->Child = Copy(Arg(node, 2));
        break;
      case TOldShape::kPair:
        copy->Left = Copy(Arg(node, 0));
        copy->Right = Copy(Arg(node, 1));
        break;
      case TOldShape::kBetween:
        copy->Left = Copy(Arg(node, 0));
        copy->Right = ChainSlot(node, Arg(node, 1));
        copy->Right->Right = Copy(Arg(node, 2));
        break;
      case TOldShape::kInList: {
        copy->Left = Copy(Arg(node, 0));
        TExpToken* previous = nullptr;
        for (size_t i = 1; i < node.Args.size(); ++i) {
          TExpToken* value = ChainSlot(node, Arg(node, i));
          (previous ? previous->Right : copy->Right) = value;
          previous = value;
        }
        if (!previous) Refuse(node, "lacks an argument");
        break;
      }
      case TOldShape::kNone:
        Refuse(node, "cannot be carried");
    }
    copy->Height = ExpHeightOf(*copy);
    return copy;
  }

  TExpTokenStack& pool_;
  uint16_t error_code_;
  std::vector<TExpToken*> taken_;
};

// Detaches and returns the chained value in the Right link of node.
TExpToken* TakeChain(TExpToken* node) {
  TExpToken* next = node->Right;
  node->Right = nullptr;
  return next;
}

}  // namespace

TExpToken* ReshapeForOldForm(TExpTokenStack& pool, const TExpToken* root, uint16_t errorCode) {
  return TReshaper(pool, errorCode).Run(root);
}

std::string RestoreOldFormArguments(TExpToken* node) {
  if (!node) return {};
  TExpToken* left = node->Left;
  TExpToken* right = node->Right;
  TExpToken* child = node->Child;
  std::vector<TExpToken*>& args = node->Args;
  if (!args.empty()) return "argument list in the older form";
  auto take_all = [&] { node->Left = node->Right = node->Child = nullptr; };
  TOldShape shape = OldShapeOf(*node);
  if (shape != TOldShape::kIf && child) return "third link on a node that has none";
  switch (shape) {
    case TOldShape::kOperands:
    case TOldShape::kLeaf:
      break;  // links stay; the shape check judges them
    case TOldShape::kOne:
      if (!left || right) return "function without its one operand";
      take_all();
      args.push_back(left);
      break;
    case TOldShape::kSubstring:
    case TOldShape::kCast:
    case TOldShape::kRound:
      if (!left || (shape == TOldShape::kSubstring && !right)) return "function lacks an operand";
      take_all();
      args.push_back(left);
      if (right) {
        args.push_back(right);
        if (shape != TOldShape::kRound && right->Right) args.push_back(TakeChain(right));
      }
      break;
    case TOldShape::kReplace:
      if (!left || !right || !right->Right) return "REPLACE lacks an operand";
      take_all();
      args.push_back(right);
      args.push_back(TakeChain(right));
      args.push_back(left);
      break;
    case TOldShape::kSwapped:
      if (!left || !right) return "function lacks an operand";
      take_all();
      args.push_back(right);
      args.push_back(left);
      break;
    case TOldShape::kIf:
      if (!left || !right || !child) return "IF lacks an operand";
      take_all();
      args.push_back(left);
      args.push_back(right);
      args.push_back(child);
      break;
    case TOldShape::kPair:
      if (!left || !right) return "predicate lacks an operand";
      take_all();
      args.push_back(left);
      args.push_back(right);
      break;
    case TOldShape::kBetween:
      if (!left || !right || !right->Right) return "BETWEEN lacks a bound";
      take_all();
      args.push_back(left);
      args.push_back(right);
      args.push_back(TakeChain(right));
      break;
    case TOldShape::kInList:
      if (!left || !right) return "IN lacks a value";
      take_all();
      args.push_back(left);
      for (TExpToken* value = right; value;) {
        args.push_back(value);
        value = TakeChain(value);
      }
      break;
    case TOldShape::kNone:
      return "node that the older form cannot carry";
  }
  for (TExpToken* below : {node->Left, node->Right}) {
    std::string fault = RestoreOldFormArguments(below);
    if (!fault.empty()) return fault;
  }
  for (TExpToken* arg : args) {
    std::string fault = RestoreOldFormArguments(arg);
    if (!fault.empty()) return fault;
  }
  node->Height = ExpHeightOf(*node);
  return {};
}
