// Calendar arithmetic and the text forms of dates, times and timestamps that conversions and
// the type checks read and write.
//
// Values: a date is a day number (0001-01-01 is day 1, 1899-12-30 is day 693594), a time the
// milliseconds since midnight (0..86399999), a timestamp the double day number * 86400000 +
// milliseconds of the day.
//
// Text forms read:
//   date       year "-" month "-" day, each any number of decimal digits, a valid calendar date
//              of years 1..9999
//   time       hours ":" minutes [":" seconds ["." milliseconds]]; an "AM" anywhere (any case),
//              or failing that a "PM", is removed first: with AM hour 12 is 0, with PM 12 is
//              added to hours other than 12
//   timestamp  date " " time split at the first blank; without a blank a time on 1899-12-30
//              when the text holds ":", else a date at midnight
// Text forms written: "YYYY-MM-DD"; "HH:MM", then ":SS" when seconds or milliseconds are not
// zero, then ".mmm" (unpadded) when the milliseconds are not zero; a timestamp as date, blank,
// time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr int32_t kDayMilliseconds = 86400000;
inline constexpr int32_t kTimeBaseDay = 693594;     // 1899-12-30, the day of a bare time
inline constexpr int32_t kLastDayNumber = 3652059;  // 9999-12-31

struct TCivilDate {
  int Year = 0;
  int Month = 0;
  int Day = 0;
};

// The day number of a date; false when it is no calendar date of years 1..9999.
bool DayNumberFromCivil(int year, int month, int day, int32_t& dayNumber);
// The calendar date of a day number; false outside 1..kLastDayNumber.
bool CivilFromDayNumber(int32_t dayNumber, TCivilDate& date);
// 1 for Monday .. 7 for Sunday. REQUIRES: a valid day number.
int IsoDayOfWeek(int32_t dayNumber);
// The ISO 8601 week number (1..53) of a valid day number.
int IsoWeek(int32_t dayNumber);

// Splits a timestamp into day number and milliseconds of the day; false when it is not finite
// or its day lies outside 1..kLastDayNumber.
bool SplitTimestamp(double timestamp, int32_t& dayNumber, int32_t& milliseconds);
inline double JoinTimestamp(int32_t dayNumber, int32_t milliseconds) {
  return static_cast<double>(dayNumber) * kDayMilliseconds + milliseconds;
}

bool ParseDateText(std::string_view text, int32_t& dayNumber);
bool ParseTimeText(std::string_view text, int32_t& milliseconds);
bool ParseTimestampText(std::string_view text, double& timestamp);

// REQUIRES: valid values (as the parsers and SplitTimestamp give them).
std::string FormatDate(int32_t dayNumber);
std::string FormatTime(int32_t milliseconds);
std::string FormatTimestamp(int32_t dayNumber, int32_t milliseconds);
