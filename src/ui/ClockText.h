#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The status-bar clock "dddddd  ampm hh:mm:ss": the long date, two spaces,
// the morning or afternoon designator, and the time on the 12-hour clock with
// the locale's time separator.
QString ClockText(const QDateTime& when, const QLocale& locale);
