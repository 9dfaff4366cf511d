// FieldLiteralValid and FieldLiteralValue (see the header).
#include "db/sql/expressions/field_literal.h"

#include <cctype>
#include <string>

#include "db/sql/expressions/exp_clock.h"
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
  TExpToken value;
  return FieldLiteralValue(field, text, value);
}

bool FieldLiteralValue(const FieldDescriptor& field, std::string_view text, TExpToken& out) {
  switch (field.Type) {
    case kFieldString:
    case kFieldBytes:
    case kFieldVarBytes:
    case kFieldBlob:
    case kFieldInternal:
      out.SetString(text);
      return true;
    default:
      break;
  }
  const std::string_view t = Trim(text);
  const bool date = SameWord(t, "CURRENT_DATE");
  const bool time = SameWord(t, "CURRENT_TIME");
  const bool stamp = SameWord(t, "CURRENT_TIMESTAMP");
  if (date || time || stamp) {
    const TExpMoment now = CurrentMoment();
    if (field.Type == kFieldDate && date) {
      out.SetDate(now.DayNumber);
    } else if (field.Type == kFieldTime && time) {
      out.SetTime(now.Milliseconds);
    } else if (field.Type == kFieldTimestamp) {
      // A date is its day's midnight, a time today's moment.
      out.SetTimestamp(date ? TExpMoment{now.DayNumber, 0}.Timestamp() : now.Timestamp());
    } else {
      return false;
    }
    return true;
  }
  TExpToken source;
  source.SetString(t);
  return ConvertValue(source, out, field.Type, field.SubType, field.Size, field.Scale) &&
         !out.IsNull;
}
