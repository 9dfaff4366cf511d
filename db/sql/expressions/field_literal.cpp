// FieldLiteralValid (see the header).
#include "db/sql/expressions/field_literal.h"

#include <cctype>
#include <string>

#include "db/sql/expressions/exp_token.h"
#include "db/sql/expressions/value_conversion.h"

namespace {

bool SameWord(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) != word[i]) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

bool FieldLiteralValid(const FieldDescriptor& field, std::string_view text) {
  switch (field.Type) {
    case kFieldString:
    case kFieldBytes:
    case kFieldVarBytes:
    case kFieldBlob:
    case kFieldInternal:
      return true;
    default:
      break;
  }
  const std::string_view t = Trim(text);
  const bool date = SameWord(t, "CURRENT_DATE");
  const bool time = SameWord(t, "CURRENT_TIME");
  const bool stamp = SameWord(t, "CURRENT_TIMESTAMP");
  if (date || time || stamp) {
    return (field.Type == kFieldDate && date) || (field.Type == kFieldTime && time) ||
           field.Type == kFieldTimestamp;
  }
  TExpToken source;
  source.SetString(t);
  TExpToken target;
  return ConvertValue(source, target, field.Type, field.SubType, field.Size, field.Scale) &&
         !target.IsNull;
}
