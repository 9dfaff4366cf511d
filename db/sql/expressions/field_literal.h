// FieldLiteralValid: whether a minimum, maximum or default text of a field is a literal value
// of the field's type, as the expression language converts text to that type. String, bytes
// and BLOB fields take any text; a date field also takes CURRENT_DATE, a time field
// CURRENT_TIME, and a timestamp field any of the three words (in any letter case).
// FieldLiteralValue: that value itself, the three words taken at the moment of the call.
#pragma once

#include <string_view>

#include "db/storage/data/field_types.h"

class TExpToken;

bool FieldLiteralValid(const FieldDescriptor& field, std::string_view text);
// False when the text is no literal of the field's type (out is then unspecified).
bool FieldLiteralValue(const FieldDescriptor& field, std::string_view text, TExpToken& out);
