#include "DurationText.h"

QString DurationText(std::chrono::milliseconds length) {
  const qint64 ms = length.count();
  if (ms < 60000) return QString::number(double(ms) / 1000, 'f', 1) + " s";
  const qint64 s = ms / 1000;
  if (s < 3600) return QString("%1 min %2 s").arg(s / 60).arg(s % 60);
  return QString("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60);
}
