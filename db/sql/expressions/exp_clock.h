// The current local moment in the engine's date and time forms, as the constants CURRENT_DATE,
// CURRENT_TIME and CURRENT_TIMESTAMP hold it: a day number (0001-01-01 is day 1, 1899-12-30 is
// day 693594), milliseconds since midnight, and the timestamp day number * 86400000 + ms.
#pragma once

#include <cstdint>

struct TExpMoment {
  int32_t DayNumber = 0;
  int32_t Milliseconds = 0;
  double Timestamp() const { return static_cast<double>(DayNumber) * 86400000.0 + Milliseconds; }
};

// The local date and time now (taken once per call).
TExpMoment CurrentMoment();

// The day number of a proleptic Gregorian date. REQUIRES: a valid date from year 1.
int32_t DayNumberOf(int year, unsigned month, unsigned day);
