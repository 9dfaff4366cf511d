// StoreFieldText: puts a value given as text (a CSV field) into a record buffer, converted to
// the field's type. Only a value that converts exactly is stored: a number with trailing
// characters, an integer out of the field's range, a string longer than the field or a date
// that is no calendar date is refused with a reason, never cut or rounded silently. The empty
// text is NULL.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct FieldDescriptor;

namespace vuzode {

// False with why set when text is no value of field. BLOB fields take only the empty text.
bool StoreFieldText(const FieldDescriptor& field, std::string_view text,
                    std::vector<uint8_t>& record, std::string& why);

}  // namespace vuzode
