// The simulator's own calendar against Qt's, day by day over the years a
// reader in service prints, and its local time against Qt's.
#include <QCalendar>
#include <QDate>
#include <QDateTime>

#include <gtest/gtest.h>

#include <chrono>

#include "simulator/answer_builder.h"
#include "text/civil_time.h"

namespace pcpos::sim {
namespace {

TEST(JalaliAgainstQt, EveryDayFrom1950To2100) {
  const QCalendar jalali(QCalendar::System::Jalali);
  int wrong = 0;
  for (QDate day(1950, 1, 1); day <= QDate(2100, 12, 31) && wrong < 10; day = day.addDays(1)) {
    const JalaliDate got = ToJalali(day.year(), day.month(), day.day());
    const QCalendar::YearMonthDay want = jalali.partsFromDate(day);
    if (got.year != want.year || got.month != want.month || got.day != want.day) {
      ++wrong;
      ADD_FAILURE() << day.toString(Qt::ISODate).toStdString() << ": " << got.year << "/"
                    << got.month << "/" << got.day << ", Qt says " << want.year << "/" << want.month
                    << "/" << want.day;
    }
  }
  for (int year = 1300; year <= 1500; ++year)
    EXPECT_EQ(IsJalaliLeapYear(year), jalali.isLeapYear(year)) << year;
}

TEST(JalaliAgainstQt, NowStampAndLocalTime) {
  const auto now = std::chrono::system_clock::now();
  const QDateTime qt = QDateTime::fromMSecsSinceEpoch(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count(),
      Qt::LocalTime);
  const CivilTime local = LocalTime(now);
  EXPECT_EQ(local.year, qt.date().year());
  EXPECT_EQ(local.month, qt.date().month());
  EXPECT_EQ(local.day, qt.date().day());
  EXPECT_EQ(local.hour, qt.time().hour());
  EXPECT_EQ(local.minute, qt.time().minute());
  EXPECT_EQ(local.second, qt.time().second());
  EXPECT_EQ(local.millisecond, qt.time().msec());
  EXPECT_EQ(DayOfYear(local.year, local.month, local.day), qt.date().dayOfYear());

  const std::string stamp = JalaliStamp(local);
  const QDate date =
      QCalendar(QCalendar::System::Jalali)
          .dateFromParts(std::stoi(stamp.substr(0, 4)), std::stoi(stamp.substr(4, 2)),
                         std::stoi(stamp.substr(6, 2)));
  EXPECT_EQ(date, qt.date());
}

}  // namespace
}  // namespace pcpos::sim
