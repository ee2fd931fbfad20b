#include "ClockText.h"

namespace {

// The character that follows the hours in the locale's time format.
QChar TimeSeparator(const QLocale& locale) {
  const QString format = locale.timeFormat(QLocale::ShortFormat);
  for (qsizetype i = 0; i + 1 < format.size(); ++i) {
    QChar c = format[i];
    if ((c == 'h' || c == 'H') && format[i + 1] != c)
      return format[i + 1].isLetterOrNumber() ? QChar(':') : format[i + 1];
  }
  return ':';
}

QString TwoDigits(int n) { return QStringLiteral("%1").arg(n, 2, 10, QChar('0')); }

}  // namespace

QString ClockText(const QDateTime& when, const QLocale& locale) {
  const QTime time = when.time();
  const int hour = time.hour();
  const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
  const QChar sep = TimeSeparator(locale);
  QString designator = hour < 12 ? locale.amText() : locale.pmText();
  return locale.toString(when.date(), QLocale::LongFormat) + "  " + designator + ' ' + TwoDigits(hour12) + sep +
         TwoDigits(time.minute()) + sep + TwoDigits(time.second());
}
