// Dates as the reader prints them: the local wall-clock time, and its day in
// the Solar Hijri (Jalali) calendar. No time-zone library: the system's
// localtime does the zone, the calendar is arithmetic.
#pragma once

#include <chrono>
#include <cstdint>

namespace pcpos {

// A moment on the local wall clock, Gregorian.
struct CivilTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// The local wall-clock time of an instant, in the system's time zone.
CivilTime LocalTime(std::chrono::system_clock::time_point when);

// 1 for 1 January.
int DayOfYear(int year, int month, int day);

// Days from 1970-01-01 in the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(int year, int month, int day);

struct JalaliDate {
  int year = 0;
  int month = 0;  // 1 Farvardin .. 12 Esfand
  int day = 0;
};

// The Jalali year is leap by the 2820-year arithmetic cycle, the rule Qt's
// calendar follows too; it agrees with the observed equinox for every year
// a reader in service will print.
bool IsJalaliLeapYear(int year);

// Years 1 to 9999 of either calendar.
JalaliDate ToJalali(int year, int month, int day);

}  // namespace pcpos
