// Text to field values (see field_from_text.h).
#include "app/vuzode/field_from_text.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "db/sql/expressions/bcd_value.h"
#include "db/sql/expressions/date_time_text.h"
#include "db/storage/data/field_value.h"

namespace vuzode {
namespace {

bool ParseInteger(std::string_view text, int64_t& value) {
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(copy.c_str(), &end, 10);
  return errno == 0 && end != copy.c_str() && *end == '\0';
}

bool ParseDouble(std::string_view text, double& value) {
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  value = std::strtod(copy.c_str(), &end);
  return errno == 0 && end != copy.c_str() && *end == '\0' && std::isfinite(value);
}

bool InRange(uint8_t type, int64_t value) {
  switch (type) {
    case kFieldSmallInt:
      return value >= std::numeric_limits<int16_t>::min() &&
             value <= std::numeric_limits<int16_t>::max();
    case kFieldWord:
      return value >= 0 && value <= std::numeric_limits<uint16_t>::max();
    case kFieldInteger:
    case kFieldInt32:
      return value >= std::numeric_limits<int32_t>::min() &&
             value <= std::numeric_limits<int32_t>::max();
    default:
      return true;
  }
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return out;
}

}  // namespace

bool StoreFieldText(const FieldDescriptor& f, std::string_view text, std::vector<uint8_t>& record,
                    std::string& why) {
  TRecordImage image(record.data(), record.size());
  if (text.empty()) {
    if (!f.IsAutoIncrement()) SetFieldNull(image, f);
    return true;
  }
  const auto refuse = [&](const std::string& reason) {
    why = "'" + std::string(text) + "' " + reason + " for column " + f.Name;
    return false;
  };
  int64_t integer = 0;
  double real = 0;
  switch (f.Type) {
    case kFieldString:
      if (text.size() > f.Size)
        return refuse("is longer than " + std::to_string(f.Size) + " characters");
      SetFieldString(image, f, text);
      return true;
    case kFieldBoolean: {
      const std::string word = Upper(text);
      if (word == "TRUE" || word == "1") {
        SetFieldInteger(image, f, 1);
      } else if (word == "FALSE" || word == "0") {
        SetFieldInteger(image, f, 0);
      } else {
        return refuse("is no boolean (true, false, 1, 0)");
      }
      return true;
    }
    case kFieldDate: {
      int32_t day = 0;
      if (!ParseDateText(text, day)) return refuse("is no date (YYYY-MM-DD)");
      SetFieldInteger(image, f, day);
      return true;
    }
    case kFieldTime: {
      int32_t milliseconds = 0;
      if (!ParseTimeText(text, milliseconds)) return refuse("is no time (HH:MM:SS)");
      SetFieldInteger(image, f, milliseconds);
      return true;
    }
    case kFieldTimestamp:
      if (!ParseTimestampText(text, real)) return refuse("is no timestamp");
      SetFieldFloat(image, f, real);
      return true;
    case kFieldFloat:
      if (!ParseDouble(text, real)) return refuse("is no number");
      SetFieldFloat(image, f, real);
      return true;
    case kFieldBcd: {
      int64_t tenThousandths = 0;
      if (!TenThousandthsFromText(text, tenThousandths)) return refuse("is no decimal number");
      std::vector<uint8_t> bcd(kBcdValueSize);
      BcdFromTenThousandths(tenThousandths, f.Scale, bcd.data());
      SetFieldBytes(image, f, bcd);
      return true;
    }
    case kFieldSmallInt:
    case kFieldWord:
    case kFieldInteger:
    case kFieldInt32:
    case kFieldLargeInt:
      if (!ParseInteger(text, integer)) return refuse("is no integer");
      if (!InRange(f.Type, integer)) return refuse("is out of range");
      if (f.IsAutoIncrement()) return true;  // the table numbers its records itself
      SetFieldInteger(image, f, integer);
      return true;
    default:
      return refuse("cannot be imported (BLOB and byte columns take only empty values)");
  }
}

}  // namespace vuzode
