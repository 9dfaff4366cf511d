// The current local moment: the system clock read once, converted to local time.
#include "db/sql/expressions/exp_clock.h"

#include <chrono>
#include <ctime>

int32_t DayNumberOf(int year, unsigned month, unsigned day) {
  using namespace std::chrono;
  // 0001-01-01 is day 1; the civil calendar's day count gives the distance from it.
  sys_days date{std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}};
  sys_days first{std::chrono::year{1} / January / 1};
  return static_cast<int32_t>((date - first).count()) + 1;
}

TExpMoment CurrentMoment() {
  using namespace std::chrono;
  system_clock::time_point now = system_clock::now();
  std::time_t seconds = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  int64_t millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  if (millis < 0) millis += 1000;
  TExpMoment moment;
  moment.DayNumber = DayNumberOf(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                 static_cast<unsigned>(local.tm_mday));
  moment.Milliseconds = static_cast<int32_t>(
      ((local.tm_hour * 60 + local.tm_min) * 60 + local.tm_sec) * 1000 + millis);
  return moment;
}
