// Helpers of expression_test_util.h.
#include "expression_test_util.h"

namespace exptest {

TExpToken* ParseChecked(std::string_view text, TRow& row, bool stringsAreColumns,
                        bool rewriteBooleans) {
  TExpressionParser parser;
  TExpToken* tree = parser.ParseFilter(text);
  TTypeCheckOptions options;
  options.ErrorCode = VUZODE_INVALIDFILTER;
  options.Table = "t";
  options.StringsMayBeColumns = stringsAreColumns;
  options.RewriteBooleanColumns = rewriteBooleans;
  options.Resolver = &row;
  options.ContextName = "filter expression";
  try {
    CheckTypes(options, nullptr, tree);
  } catch (...) {
    ReleaseExpTree(GlobalExpTokenStack(), tree);
    throw;
  }
  return tree;
}

void TRow::Set(const std::string& name, std::string_view text) {
  TRow empty;
  TExpToken* tree = ParseChecked(text, empty);
  TExpToken* value = Evaluate(*tree, nullptr, nullptr, 0, 0);
  ReleaseExpTree(GlobalExpTokenStack(), tree);
  TExpToken* copy = new TExpToken;
  copy->CopyFrom(*value);
  GlobalExpTokenStack().Return(value);
  delete values_[name];
  values_[name] = copy;
}

std::string ValueString(const TExpToken& value) {
  if (value.IsNull || value.ValueType == 0) return "NULL";
  std::string text;
  if (!ValueText(value, text)) return "<bad value>";
  if (value.ValueType == kFieldString || value.ValueType == kFieldBlob) return "'" + text + "'";
  return text;
}

std::string Eval(std::string_view text, TRow& row) {
  try {
    TExpToken* tree = ParseChecked(text, row);
    TExpToken* value = nullptr;
    try {
      value = Evaluate(*tree, nullptr, &row, 0, 0);
    } catch (...) {
      ReleaseExpTree(GlobalExpTokenStack(), tree);
      throw;
    }
    std::string result = ValueString(*value);
    GlobalExpTokenStack().Return(value);
    ReleaseExpTree(GlobalExpTokenStack(), tree);
    return result;
  } catch (const EVUZODEEngineError& error) {
    return "error: " + error.ContextDetail();
  }
}

}  // namespace exptest
