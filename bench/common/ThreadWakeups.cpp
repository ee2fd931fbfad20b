#include "ThreadWakeups.h"

#include <QDir>
#include <QFile>

QSet<QString> Threads() {
  const QStringList tasks = QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  return {tasks.begin(), tasks.end()};
}

long VoluntarySwitches(const QString& tid) {
  QFile status("/proc/self/task/" + tid + "/status");
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("voluntary_ctxt_switches:")) return line.mid(24).trimmed().toLong();
  return -1;
}
