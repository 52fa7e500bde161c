#include "text/civil_time.h"

#include <ctime>

namespace pcpos {
namespace {

// 1 Farvardin 1403 fell on 20 March 2024: the anchor the years are counted from.
constexpr int kAnchorYear = 1403;
const std::int64_t kAnchorDays = DaysFromCivil(2024, 3, 20);

int FloorMod(std::int64_t value, int modulus) {
  const auto rest = static_cast<int>(value % modulus);
  return rest < 0 ? rest + modulus : rest;
}

int JalaliYearLength(int year) { return IsJalaliLeapYear(year) ? 366 : 365; }

}  // namespace

std::int64_t DaysFromCivil(int year, int month, int day) {
  // Howard Hinnant's days_from_civil: March-based years of 400-year eras.
  const int y = month <= 2 ? year - 1 : year;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int year_of_era = y - era * 400;
  const int day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return static_cast<std::int64_t>(era) * 146097 + day_of_era - 719468;
}

int DayOfYear(int year, int month, int day) {
  return static_cast<int>(DaysFromCivil(year, month, day) - DaysFromCivil(year, 1, 1)) + 1;
}

bool IsJalaliLeapYear(int year) {
  // A year is leap when it falls in the first 683 of every 2820 slots.
  return FloorMod((static_cast<std::int64_t>(year) + 2346) * 683, 2820) < 683;
}

JalaliDate ToJalali(int year, int month, int day) {
  std::int64_t offset = DaysFromCivil(year, month, day) - kAnchorDays;  // days after 1 Farvardin
  int jalali_year = kAnchorYear;
  while (offset < 0) {
    --jalali_year;
    offset += JalaliYearLength(jalali_year);
  }
  while (offset >= JalaliYearLength(jalali_year)) {
    offset -= JalaliYearLength(jalali_year);
    ++jalali_year;
  }
  // Six months of 31 days, five of 30, and Esfand of 29 or 30.
  const int day_in_year = static_cast<int>(offset);
  JalaliDate date;
  date.year = jalali_year;
  if (day_in_year < 186) {
    date.month = day_in_year / 31 + 1;
    date.day = day_in_year % 31 + 1;
  } else {
    date.month = (day_in_year - 186) / 30 + 7;
    date.day = (day_in_year - 186) % 30 + 1;
  }
  return date;
}

CivilTime LocalTime(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto since_epoch = duration_cast<milliseconds>(when.time_since_epoch());
  auto seconds = duration_cast<std::chrono::seconds>(since_epoch);
  if (since_epoch < seconds) seconds -= std::chrono::seconds(1);  // before 1970: round down
  const std::time_t whole = static_cast<std::time_t>(seconds.count());
  std::tm parts{};
#ifdef _WIN32
  localtime_s(&parts, &whole);
#else
  localtime_r(&whole, &parts);
#endif
  CivilTime civil;
  civil.year = parts.tm_year + 1900;
  civil.month = parts.tm_mon + 1;
  civil.day = parts.tm_mday;
  civil.hour = parts.tm_hour;
  civil.minute = parts.tm_min;
  civil.second = parts.tm_sec;
  civil.millisecond = static_cast<int>((since_epoch - seconds).count());
  return civil;
}

}  // namespace pcpos
