// Wake-ups of the component's event thread while a real port is open and
// idle: the voluntary context switches of that thread over a period (the
// line polling alone would give ten a second). Run inside the rig's guest.
#include "QtHandOff.h"
#include "ComPort.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTimer>

#include <cstdio>

namespace {

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

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QString path = argc > 1 ? argv[1] : "/dev/ttyS1";
  const int seconds = argc > 2 ? atoi(argv[2]) : 10;
  TComPort port{std::make_shared<QtHandOff>()};
  port.SetPort(path.toStdString());
  port.OnRxChar = [](TCustomComPort* sender, int count) {
    std::string ignored;
    sender->ReceiveText(ignored, count);
  };
  const QSet<QString> before = Threads();
  port.OpenPort();
  const QSet<QString> started = Threads() - before;
  if (started.size() != 1) {
    std::fprintf(stderr, "expected one event thread, found %d new threads\n", int(started.size()));
    return 1;
  }
  const QString tid = *started.begin();
  const long first = VoluntarySwitches(tid);
  QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
  app.exec();
  const long last = VoluntarySwitches(tid);
  port.ClosePort();
  std::printf("idle wake-ups of the event thread on %s: %ld in %d s (%.1f per second; the line polling is 10)\n",
              qPrintable(path), last - first, seconds, double(last - first) / seconds);
  return 0;
}
