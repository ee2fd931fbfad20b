// Prints the cost of appending one line to the window's log when it is
// nearly empty and after a million lines, and the memory the process holds.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "MainWindow.h"

namespace {

long ResidentKilobytes() {
  QFile status("/proc/self/status");
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toLong();
  return -1;
}

// Microseconds per line for count appends, with the events they cause handled.
double TimeAppends(LogView* log, int count, int& serial) {
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < count; ++i) {
    const int card = serial++ % 65536;
    log->appendPlainText(QString("%1:%2").arg(card, 5, 10, QChar('0')).arg(serial, 10, 10, QChar('0')));
  }
  QApplication::processEvents();
  return timer.nsecsElapsed() / 1000.0 / count;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int total = argc > 1 ? std::atoi(argv[1]) : 1000000;
  QTemporaryDir dir;
  TForm1Setup setup;
  setup.settingsPath = dir.filePath("bench.INI");
  TForm1 form(setup);
  form.show();
  QApplication::processEvents();

  const long before = ResidentKilobytes();
  int serial = 0;
  const double first = TimeAppends(form.Memo1, 1000, serial);
  QElapsedTimer fill;
  fill.start();
  while (serial < total) TimeAppends(form.Memo1, std::min(10000, total - serial), serial);
  const double fillSeconds = fill.elapsed() / 1000.0;
  const double later = TimeAppends(form.Memo1, 1000, serial);
  const long after = ResidentKilobytes();

  std::printf("log lines appended:              %d\n", serial);
  std::printf("append, first 1000 lines:        %.2f us/line\n", first);
  std::printf("append, 1000 lines after %d:  %.2f us/line (%.1fx)\n", total, later, later / first);
  std::printf("filling took:                    %.1f s\n", fillSeconds);
  std::printf("resident memory before / after:  %ld KiB / %ld KiB (%.0f bytes per line)\n", before, after,
              (after - before) * 1024.0 / serial);
  return 0;
}
