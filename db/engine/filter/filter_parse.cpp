// PrepareFilterText and NormaliseComparisons (see filter_parse.h).
#include "db/engine/filter/filter_parse.h"

#include <utility>

#include "db/engine/errors/engine_error.h"
#include "db/sql/expressions/expression_parser.h"
#include "db/sql/expressions/prepare_filter.h"
#include "db/sql/expressions/type_check.h"
#include "db/storage/names.h"

namespace {

// Binds column names to the cursor's fields.
class TFieldResolver : public TColumnResolver {
 public:
  TFieldResolver(const std::vector<FieldDescriptor>& fields, void* source)
      : fields_(fields), source_(source) {}

  bool ResolveColumn(TExpToken& node) override {
    for (size_t i = 0; i < fields_.size(); ++i) {
      const FieldDescriptor& f = fields_[i];
      if (!SameNameIgnoringCase(f.Name, node.ColumnName)) continue;
      node.ValueType = f.Type;
      node.SubType = f.SubType;
      node.Scale = f.Scale;
      node.SetValueSize(StoredLengthOf(f.Type, f.Size));
      node.FieldNo = static_cast<uint16_t>(i + 1);
      node.SourceTable = source_;
      return true;
    }
    return false;
  }

 private:
  const std::vector<FieldDescriptor>& fields_;
  void* source_;
};

bool IsColumnOperand(const TExpToken& node) {
  if (node.NodeClass == kNodeColumn) return true;
  return node.NodeClass == kNodeFunction && (node.OpCode == kOpUpper || node.OpCode == kOpLower) &&
         node.Args.size() == 1 && node.Args[0]->NodeClass == kNodeColumn;
}

[[noreturn]] void Invalid(const TFilterTextContext& context, std::string_view detail) {
  RaiseEngineError(VUZODE_INVALIDFILTER, {}, {}, context.Database, context.Table, {}, {}, detail);
}

}  // namespace

void NormaliseComparisons(TExpToken& node) {
  if ((node.NodeClass == kNodeBinary && (node.OpCode == kOpAnd || node.OpCode == kOpOr)) ||
      (node.NodeClass == kNodeUnary && node.OpCode == kOpNot)) {
    if (node.Left) NormaliseComparisons(*node.Left);
    if (node.Right) NormaliseComparisons(*node.Right);
    return;
  }
  if (node.NodeClass != kNodeBinary || node.OpCode < kOpEqual || node.OpCode > kOpLessEqual ||
      !node.Left || !node.Right) {
    return;
  }
  if (!IsColumnFree(*node.Left) || !IsColumnOperand(*node.Right)) return;
  std::swap(node.Left, node.Right);
  switch (node.OpCode) {
    case kOpLess:
      node.OpCode = kOpGreater;
      break;
    case kOpGreater:
      node.OpCode = kOpLess;
      break;
    case kOpLessEqual:
      node.OpCode = kOpGreaterEqual;
      break;
    case kOpGreaterEqual:
      node.OpCode = kOpLessEqual;
      break;
    default:
      break;
  }
}

TExpToken* PrepareFilterText(std::string_view text, const TFilterOptions& options,
                             const TFilterTextContext& context) {
  TExpressionParser parser;
  parser.ErrorDatabase = std::string(context.Database);
  parser.ErrorTable = std::string(context.Table);
  TExpToken* tree = parser.ParseFilter(text);
  try {
    TFieldResolver resolver(*context.Fields, context.Source);
    TTypeCheckOptions check;
    check.ErrorCode = VUZODE_INVALIDFILTER;
    check.Database = std::string(context.Database);
    check.Table = std::string(context.Table);
    check.RewriteBooleanColumns = true;
    check.Resolver = &resolver;
    check.ContextName = "filter expression";
    CheckTypes(check, nullptr, tree);
    if (tree->ValueType != kFieldBoolean) {
      Invalid(context, "filter expression must be a boolean expression");
    }
    NormaliseComparisons(*tree);
    TFilterPrepareOptions prepare;
    prepare.NoPartialCompare = options.NoPartialCompare;
    prepare.CaseInsensitive = options.CaseInsensitive;
    prepare.SortId = context.SortId;
    prepare.LanguageId = context.LanguageId;
    TExpToken* prepared = PrepareFilter(*tree, prepare);
    ReleaseExpTree(GlobalExpTokenStack(), tree);
    return prepared;
  } catch (...) {
    ReleaseExpTree(GlobalExpTokenStack(), tree);
    throw;
  }
}
