// Dates and times as the files hold them: TDateTime is a double counting days
// since 1899-12-30, with the time of day as the fraction, in local time.
#pragma once

#include <cstdint>

namespace zarnik {

using TDateTime = double;

namespace platform {

constexpr double kMillisecondsPerDay = 86400000.0;
// Days from 0001-01-01 (day 1) to 1899-12-30.
constexpr int32_t kDateDelta = 693594;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
bool IsValidDate(int year, int month, int day);
bool IsValidTime(int hour, int minute, int second, int millisecond);

// Days since 1899-12-30 for a valid date; false for an invalid one.
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);
// Splits the whole days of a value (dates before 1899-12-30 count backwards).
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);

// Day number counted from 0001-01-01 = 1, for a valid date.
int32_t DateToDayNumber(int year, int month, int day);
void DayNumberToDate(int32_t dayNumber, int& year, int& month, int& day);

// The local date and time now.
TDateTime Now();

}  // namespace platform
}  // namespace zarnik
