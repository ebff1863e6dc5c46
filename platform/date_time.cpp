#include "platform/date_time.h"

#include <sys/time.h>
#include <time.h>

#include <cmath>

namespace zarnik::platform {

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

bool IsValidTime(int hour, int minute, int second, int millisecond) {
  return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 &&
         millisecond >= 0 && millisecond < 1000;
}

int32_t DateToDayNumber(int year, int month, int day) {
  int32_t days = day;
  for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
  int32_t y = year - 1;
  return days + y * 365 + y / 4 - y / 100 + y / 400;
}

void DayNumberToDate(int32_t dayNumber, int& year, int& month, int& day) {
  if (dayNumber <= 0) {
    year = month = day = 0;
    return;
  }
  int32_t t = dayNumber - 1;
  int32_t y = 1;
  int32_t n400 = t / 146097;
  t %= 146097;
  y += n400 * 400;
  int32_t n100 = t / 36524;
  if (n100 == 4) n100 = 3;
  t -= n100 * 36524;
  y += n100 * 100;
  int32_t n4 = t / 1461;
  t %= 1461;
  y += n4 * 4;
  int32_t n1 = t / 365;
  if (n1 == 4) n1 = 3;
  t -= n1 * 365;
  y += n1;
  year = y;
  month = 1;
  while (t >= DaysInMonth(year, month)) {
    t -= DaysInMonth(year, month);
    ++month;
  }
  day = t + 1;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (!IsValidDate(year, month, day)) return false;
  result = static_cast<double>(DateToDayNumber(year, month, day) - kDateDelta);
  return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
  if (!IsValidTime(hour, minute, second, millisecond)) return false;
  result = ((hour * 3600000.0) + minute * 60000.0 + second * 1000.0 + millisecond) / kMillisecondsPerDay;
  return true;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  DayNumberToDate(static_cast<int32_t>(std::trunc(value)) + kDateDelta, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
  double fraction = std::fabs(value - std::trunc(value));
  int64_t ms = static_cast<int64_t>(std::llround(fraction * kMillisecondsPerDay));
  if (ms >= 86400000) ms = 86399999;
  hour = static_cast<int>(ms / 3600000);
  minute = static_cast<int>(ms / 60000 % 60);
  second = static_cast<int>(ms / 1000 % 60);
  millisecond = static_cast<int>(ms % 1000);
}

TDateTime Now() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  struct tm local;
  time_t seconds = tv.tv_sec;
  localtime_r(&seconds, &local);
  TDateTime date = 0, time = 0;
  TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, date);
  TryEncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec,
                static_cast<int>(tv.tv_usec / 1000), time);
  return date + time;
}

}  // namespace zarnik::platform
