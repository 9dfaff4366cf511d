// Calendar arithmetic (days from civil, after the well-known era algorithm) and the text forms
// of date_time_text.h.
#include "db/sql/expressions/date_time_text.h"

#include <cmath>
#include <cstdio>

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date; exact for every year we accept.
int64_t DaysFromEpoch(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

constexpr int64_t kEpochDayNumber = 719163;  // day number of 1970-01-01

bool IsLeap(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// A decimal number of any number of digits (at least one), capped so it cannot overflow: a
// value above the cap is no valid date or time part anyway.
bool ParsePart(std::string_view text, int& value) {
  if (text.empty()) return false;
  int64_t total = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    total = total * 10 + (c - '0');
    if (total > 1000000) total = 1000000;
  }
  value = static_cast<int>(total);
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

// Position of "AM" or "PM" (any case) in text, or npos.
size_t FindMarker(std::string_view text, char first) {
  for (size_t i = 0; i + 1 < text.size(); ++i)
    if ((text[i] | 0x20) == (first | 0x20) && (text[i + 1] | 0x20) == 'm') return i;
  return std::string_view::npos;
}

}  // namespace

bool DayNumberFromCivil(int year, int month, int day, int32_t& dayNumber) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  dayNumber = static_cast<int32_t>(DaysFromEpoch(year, month, day) + kEpochDayNumber);
  return true;
}

bool CivilFromDayNumber(int32_t dayNumber, TCivilDate& date) {
  if (dayNumber < 1 || dayNumber > kLastDayNumber) return false;
  const int64_t z = static_cast<int64_t>(dayNumber) - kEpochDayNumber + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  date.Day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  date.Month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  date.Year = static_cast<int>(yoe + era * 400 + (date.Month <= 2));
  return true;
}

int IsoDayOfWeek(int32_t dayNumber) {
  // Day 1 (0001-01-01) was a Monday.
  return static_cast<int>((dayNumber - 1) % 7) + 1;
}

int IsoWeek(int32_t dayNumber) {
  // The week belongs to the year of its Thursday; week 1 holds that year's first Thursday.
  const int32_t thursday = dayNumber - IsoDayOfWeek(dayNumber) + 4;
  TCivilDate date;
  if (!CivilFromDayNumber(thursday, date)) {
    // Only the first and last days of the range get here; their Thursday lies in year 1 or
    // 9999 respectively, so count from that year's January 1st directly.
    date.Year = thursday < 1 ? 1 : 9999;
  }
  int32_t january1 = 0;
  DayNumberFromCivil(date.Year, 1, 1, january1);
  return static_cast<int>((thursday - january1) / 7) + 1;
}

bool SplitTimestamp(double timestamp, int32_t& dayNumber, int32_t& milliseconds) {
  if (!std::isfinite(timestamp)) return false;
  const double day = std::floor(timestamp / kDayMilliseconds);
  if (day < 1 || day > kLastDayNumber) return false;
  dayNumber = static_cast<int32_t>(day);
  double rest = std::round(timestamp - day * kDayMilliseconds);
  if (rest >= kDayMilliseconds) rest = kDayMilliseconds - 1;
  if (rest < 0) rest = 0;
  milliseconds = static_cast<int32_t>(rest);
  return true;
}

bool ParseDateText(std::string_view text, int32_t& dayNumber) {
  text = Trim(text);
  const size_t first = text.find('-');
  if (first == std::string_view::npos) return false;
  const size_t second = text.find('-', first + 1);
  if (second == std::string_view::npos) return false;
  int year = 0, month = 0, day = 0;
  if (!ParsePart(text.substr(0, first), year) ||
      !ParsePart(text.substr(first + 1, second - first - 1), month) ||
      !ParsePart(text.substr(second + 1), day))
    return false;
  return DayNumberFromCivil(year, month, day, dayNumber);
}

bool ParseTimeText(std::string_view input, int32_t& milliseconds) {
  std::string text(input);
  int meridiem = 0;  // 1 AM, 2 PM
  size_t at = FindMarker(text, 'A');
  if (at != std::string::npos) {
    meridiem = 1;
  } else if ((at = FindMarker(text, 'P')) != std::string::npos) {
    meridiem = 2;
  }
  if (meridiem) text.erase(at, 2);
  std::string_view rest = Trim(text);
  int parts[4] = {0, 0, 0, 0};  // hours, minutes, seconds, milliseconds
  const size_t colon = rest.find(':');
  if (colon == std::string_view::npos || !ParsePart(rest.substr(0, colon), parts[0])) return false;
  rest.remove_prefix(colon + 1);
  const size_t second = rest.find(':');
  if (!ParsePart(rest.substr(0, second), parts[1])) return false;
  if (second != std::string_view::npos) {
    rest.remove_prefix(second + 1);
    const size_t dot = rest.find('.');
    if (!ParsePart(rest.substr(0, dot), parts[2])) return false;
    if (dot != std::string_view::npos && !ParsePart(rest.substr(dot + 1), parts[3])) return false;
  }
  int hours = parts[0];
  if (meridiem == 1 && hours == 12) hours = 0;
  if (meridiem == 2 && hours != 12) hours += 12;
  if (meridiem && parts[0] > 12) return false;
  if (hours > 23 || parts[1] > 59 || parts[2] > 59 || parts[3] > 999) return false;
  milliseconds = ((hours * 60 + parts[1]) * 60 + parts[2]) * 1000 + parts[3];
  return true;
}

bool ParseTimestampText(std::string_view text, double& timestamp) {
  text = Trim(text);
  const size_t blank = text.find(' ');
  int32_t day = 0, ms = 0;
  if (blank == std::string_view::npos) {
    if (text.find(':') != std::string_view::npos) {
      if (!ParseTimeText(text, ms)) return false;
      timestamp = JoinTimestamp(kTimeBaseDay, ms);
      return true;
    }
    if (!ParseDateText(text, day)) return false;
    timestamp = JoinTimestamp(day, 0);
    return true;
  }
  if (!ParseDateText(text.substr(0, blank), day) || !ParseTimeText(text.substr(blank + 1), ms))
    return false;
  timestamp = JoinTimestamp(day, ms);
  return true;
}

std::string FormatDate(int32_t dayNumber) {
  TCivilDate date;
  CivilFromDayNumber(dayNumber, date);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.Year, date.Month, date.Day);
  return text;
}

std::string FormatTime(int32_t milliseconds) {
  const int ms = milliseconds % 1000;
  const int seconds = milliseconds / 1000 % 60;
  const int minutes = milliseconds / 60000 % 60;
  const int hours = milliseconds / 3600000;
  char text[32];
  int length = std::snprintf(text, sizeof text, "%02d:%02d", hours, minutes);
  if (seconds != 0 || ms != 0)
    length += std::snprintf(text + length, sizeof text - length, ":%02d", seconds);
  if (ms != 0) std::snprintf(text + length, sizeof text - length, ".%d", ms);
  return text;
}

std::string FormatTimestamp(int32_t dayNumber, int32_t milliseconds) {
  return FormatDate(dayNumber) + " " + FormatTime(milliseconds);
}
