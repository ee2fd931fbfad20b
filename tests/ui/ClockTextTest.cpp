#include <gtest/gtest.h>

#include "ClockText.h"
#include "DurationText.h"

namespace {

QDateTime At(int h, int m, int s) { return QDateTime(QDate(2026, 3, 7), QTime(h, m, s)); }

TEST(ClockText, TwelveHourClockWithDesignators) {
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  const QString date = us.toString(QDate(2026, 3, 7), QLocale::LongFormat);
  EXPECT_EQ(ClockText(At(0, 0, 0), us), date + "  AM 12:00:00");
  EXPECT_EQ(ClockText(At(0, 30, 15), us), date + "  AM 12:30:15");
  EXPECT_EQ(ClockText(At(11, 59, 59), us), date + "  AM 11:59:59");
  EXPECT_EQ(ClockText(At(12, 0, 0), us), date + "  PM 12:00:00");
  EXPECT_EQ(ClockText(At(15, 4, 5), us), date + "  PM 03:04:05");
  EXPECT_EQ(ClockText(At(23, 59, 59), us), date + "  PM 11:59:59");
}

TEST(ClockText, DateDesignatorsAndSeparatorComeFromTheLocale) {
  const QLocale finnish(QLocale::Finnish, QLocale::Finland);  // time separator "."
  const QString text = ClockText(At(13, 5, 9), finnish);
  EXPECT_TRUE(text.startsWith(finnish.toString(QDate(2026, 3, 7), QLocale::LongFormat) + "  "));
  EXPECT_TRUE(text.endsWith(finnish.pmText() + " 01.05.09")) << text.toStdString();
}

// How long a port was away, from a blink to a night.
TEST(DurationText, SecondsThenMinutesThenHours) {
  using std::chrono::milliseconds;
  EXPECT_EQ(DurationText(milliseconds(840)), "0.8 s");
  EXPECT_EQ(DurationText(milliseconds(59940)), "59.9 s");
  EXPECT_EQ(DurationText(milliseconds(60000)), "1 min 0 s");
  EXPECT_EQ(DurationText(milliseconds(3599999)), "59 min 59 s");
  EXPECT_EQ(DurationText(milliseconds(8 * 3600000 + 14 * 60000 + 59000)), "8 h 14 min");
}

}  // namespace
