// Wake-ups of the component's event thread while a real port is open and
// idle: the voluntary context switches of that thread over a period (the
// line polling alone would give ten a second). Run inside the rig's guest.
#include "QtHandOff.h"
#include "ComPort.h"
#include "ThreadWakeups.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

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
