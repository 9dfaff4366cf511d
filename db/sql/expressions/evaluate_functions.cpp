// Evaluation of functions: string functions, CAST, EXTRACT, IF/IFNULL/COALESCE, ABS, ROUND, the
// text-search and auto-increment functions, and aggregates (which only evaluate their
// argument; the accumulation belongs to the statement).
//
// Empty search strings: POS gives 0, OCCURS 0 and REPLACE returns its IN string unchanged, as
// an empty text is the NULL string and occurs nowhere. So no search ever loops in place.
#include <cmath>
#include <cstring>
#include <string>

#include "db/sql/expressions/bcd_value.h"
#include "db/sql/expressions/date_time_text.h"
#include "db/sql/expressions/evaluate.h"
#include "db/sql/expressions/evaluate_values.h"
#include "db/sql/expressions/type_groups.h"
#include "db/sql/expressions/value_conversion.h"
#include "db/storage/locale/locale_case.h"

namespace {

void TextResult(const TExpToken& node, std::string_view text, TExpToken& out) {
  if (text.empty()) {
    StoreNull(out, node.ValueType ? node.ValueType : kFieldString, node.SubType, 0);
    return;
  }
  out.SetValueSize(static_cast<int32_t>(text.size()) + 1);
  std::memmove(out.Value(), text.data(), text.size());
  out.Value()[text.size()] = 0;
  out.ValueType = node.ValueType == kFieldBlob ? kFieldBlob : kFieldString;
  out.SubType = node.ValueType == kFieldBlob ? node.SubType : 0;
  out.Scale = 0;
  out.IsNull = 0;
}

int64_t ExtractPart(uint8_t op, const TExpToken& value) {
  int32_t day = kTimeBaseDay, ms = 0;
  if (value.ValueType == kFieldDate)
    day = static_cast<int32_t>(IntegerOf(value));
  else if (value.ValueType == kFieldTime)
    ms = static_cast<int32_t>(IntegerOf(value));
  else {
    double stamp;
    std::memcpy(&stamp, value.Value(), sizeof stamp);
    if (!SplitTimestamp(stamp, day, ms)) return -1;
  }
  TCivilDate date;
  if (!CivilFromDayNumber(day, date)) return -1;
  switch (op - kOpExtractYear) {
    case 0:
      return date.Year;
    case 1:
      return date.Month;
    case 2:
      return IsoWeek(day);
    case 3:
      return date.Day;
    case 4:
      return IsoDayOfWeek(day);
    case 5: {
      int32_t january1 = 0;
      DayNumberFromCivil(date.Year, 1, 1, january1);
      return day - january1 + 1;
    }
    case 6:
      return ms / 3600000;
    case 7:
      return ms / 60000 % 60;
    default:
      return ms / 1000 % 60;
  }
}

double RoundFloat(double value, int64_t places) {
  const double scale = std::pow(10.0, static_cast<double>(places));
  const double scaled = value * scale;
  // Beyond 2^52 a double has no fraction left to round (and the product may not be finite).
  if (!std::isfinite(scaled) || std::fabs(scaled) >= 4503599627370496.0) return value;
  return std::round(scaled) / scale;
}

}  // namespace

const TExpToken* TExpEvaluator::EvalFunction(const TExpToken& node) {
  const size_t mark = top_;
  TExpToken& out = NewSlot();
  const std::vector<TExpToken*>& args = node.Args;
  auto done = [&]() -> const TExpToken* {
    top_ = mark + 1;
    return &out;
  };
  auto nullResult = [&]() -> const TExpToken* {
    StoreNull(out, node.ValueType, node.SubType, node.ValueSize());
    return done();
  };
  switch (node.OpCode) {
    case kOpUpper:
    case kOpLower: {
      const TExpToken& value = *Eval(*args[0]);
      if (IsNullValue(value)) return nullResult();
      std::string text(TextOf(value));
      if (node.OpCode == kOpUpper)
        LocaleUpperCase(language_id_, sort_id_, text);
      else
        LocaleLowerCase(language_id_, sort_id_, text);
      TextResult(node, text, out);
      return done();
    }
    case kOpLength: {
      const TExpToken& value = *Eval(*args[0]);
      if (IsNullValue(value)) return nullResult();
      out.SetInteger(static_cast<int32_t>(TextOf(value).size()));
      return done();
    }
    case kOpSubstring: {
      const TExpToken& value = *Eval(*args[0]);
      const TExpToken& from = *Eval(*args[1]);
      const TExpToken* count = args.size() > 2 ? Eval(*args[2]) : nullptr;
      if (IsNullValue(value) || IsNullValue(from) || (count && IsNullValue(*count)))
        return nullResult();
      const std::string_view text = TextOf(value);
      const int64_t length = static_cast<int64_t>(text.size());
      int64_t start = std::max<int64_t>(IntegerOf(from), 1);
      int64_t take = count ? std::max<int64_t>(IntegerOf(*count), 0) : length - start + 1;
      if (start > length) return nullResult();
      take = std::min(take, length - start + 1);
      TextResult(node, text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(take)), out);
      return done();
    }
    case kOpReplace: {
      const TExpToken& search = *Eval(*args[0]);
      const TExpToken& with = *Eval(*args[1]);
      const TExpToken& value = *Eval(*args[2]);
      if (IsNullValue(value)) return nullResult();
      const std::string_view text = TextOf(value), a = TextOf(search), b = TextOf(with);
      if (a.empty() || a == b) {
        TextResult(node, text, out);
        return done();
      }
      std::string result;
      size_t at = 0;
      for (size_t found; (found = text.find(a, at)) != std::string_view::npos;
           at = found + a.size())
        result.append(text.substr(at, found - at)).append(b);
      result.append(text.substr(at));
      TextResult(node, result, out);
      return done();
    }
    case kOpPos:
    case kOpOccurs: {
      const std::string_view a = TextOf(*Eval(*args[0]));
      const std::string_view text = TextOf(*Eval(*args[1]));
      int32_t result = 0;
      if (!a.empty()) {
        if (node.OpCode == kOpPos) {
          const size_t found = text.find(a);
          result = found == std::string_view::npos ? 0 : static_cast<int32_t>(found + 1);
        } else {
          for (size_t at = text.find(a); at != std::string_view::npos;
               at = text.find(a, at + a.size()))
            ++result;
        }
      }
      out.SetInteger(result);
      return done();
    }
    case kOpTrimLeading:
    case kOpTrimTrailing:
    case kOpTrimBoth: {
      const std::string_view character = TextOf(*Eval(*args[0]));
      const TExpToken& value = *Eval(*args[1]);
      if (IsNullValue(value)) return nullResult();
      std::string_view text = TextOf(value);
      if (!character.empty()) {
        const char c = character[0];
        if (node.OpCode != kOpTrimTrailing)
          while (!text.empty() && text.front() == c) text.remove_prefix(1);
        if (node.OpCode != kOpTrimLeading)
          while (!text.empty() && text.back() == c) text.remove_suffix(1);
      }
      TextResult(node, text, out);
      return done();
    }
    case kOpCast:
      ConvertValue(*Eval(*args[0]), out, node.ValueType, node.SubType, node.ValueSize(),
                   node.Scale);
      return done();
    case kOpIf:
    case kOpIfNull: {
      bool first;
      if (node.OpCode == kOpIf)
        first = Truth(*args[0]);
      else
        first = IsNullValue(*Eval(*args[0]));
      ConvertValue(*Eval(*args[first ? 1 : 2]), out, node.ValueType, node.SubType, node.ValueSize(),
                   node.Scale);
      return done();
    }
    case kOpCoalesce: {
      for (const TExpToken* arg : args) {
        const size_t inner = top_;
        const TExpToken& value = *Eval(*arg);
        if (!IsNullValue(value)) {
          ConvertValue(value, out, node.ValueType, node.SubType, node.ValueSize(), node.Scale);
          return done();
        }
        top_ = inner;
      }
      return nullResult();
    }
    case kOpAbs: {
      const TExpToken& value = *Eval(*args[0]);
      if (IsNullValue(value)) return nullResult();
      TNumber number;
      if (!NumberOf(value, number)) return nullResult();
      if (value.ValueType == kFieldFloat) {
        out.SetFloat(std::fabs(number.Float));
      } else if (number.Integer == INT64_MIN) {
        return nullResult();
      } else if (value.ValueType == kFieldBcd) {
        StoreBcd(out, number.Integer < 0 ? -number.Integer : number.Integer, value.Scale);
      } else if (!StoreInteger(out, value.ValueType,
                               number.Integer < 0 ? -number.Integer : number.Integer)) {
        return nullResult();  // ABS of the smallest smallint or integer has no value of its type
      }
      out.SubType = value.SubType;
      return done();
    }
    case kOpRound: {
      const TExpToken& value = *Eval(*args[0]);
      const int64_t places = args.size() > 1 ? IntegerOf(*args[1]) : 0;
      if (IsNullValue(value)) return nullResult();
      TNumber number;
      if (!NumberOf(value, number)) return nullResult();
      if (value.ValueType == kFieldFloat) {
        out.SetFloat(RoundFloat(number.Float, places));
      } else {
        int64_t rounded = 0;
        if (!RoundTenThousandths(number.Integer, static_cast<int>(std::min<int64_t>(places, 4)),
                                 rounded))
          return nullResult();
        StoreBcd(out, rounded, node.Scale);
      }
      out.SubType = value.SubType;
      return done();
    }
    case kOpTextSearch:
    case kOpTextOccurs: {
      const std::string_view words = TextOf(*args[0]);
      const TExpToken& column = *args[1];
      const bool bound = env_ && column.SourceTable;
      if (node.OpCode == kOpTextSearch)
        out.SetBoolean(bound && env_->TextMatches(record_, column, words));
      else
        out.SetInteger(bound ? env_->TextOccurrences(record_, column, words) : 0);
      return done();
    }
    case kOpLastAutoInc:
    case kOpIdentCurrent:
      out.SetInteger(env_ && node.SourceTable ? env_->LastAutoIncrement(node) : 0);
      return done();
    case kOpCount: {  // counted by the statement: the argument as it is
      const TExpToken& value = *Eval(*args[0]);
      out.SetValueSize(value.ValueSize());
      std::memcpy(out.Value(), value.Value(), static_cast<size_t>(value.ValueSize()));
      out.ValueType = value.ValueType;
      out.SubType = value.SubType;
      out.Scale = value.Scale;
      out.IsNull = value.IsNull;
      return done();
    }
    case kOpSum:
    case kOpRunSum:
    case kOpMin:
    case kOpMax:
    case kOpAvg:
      ConvertValue(*Eval(*args[0]), out, node.ValueType, node.SubType, node.ValueSize(),
                   node.Scale);
      return done();
    default:
      if (node.OpCode >= kOpExtractYear && node.OpCode <= kOpExtractSecond) {
        const TExpToken& value = *Eval(*args[0]);
        if (IsNullValue(value)) return nullResult();
        const int64_t part = ExtractPart(node.OpCode, value);
        if (part < 0) return nullResult();
        out.SetInteger(static_cast<int32_t>(part));
        return done();
      }
      StoreNull(out, node.ValueType, node.SubType, node.ValueSize());
      return done();
  }
}
