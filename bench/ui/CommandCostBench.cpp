// Prints the wall and CPU time of "Get Status" commands sent through the
// window to the component's test double: each holds RTS for its 2 ms lead
// and 50 ms tail, sleeping in the event loop.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

#include "FakeLine.h"
#include "FakeSerialDevice.h"
#include "MainWindow.h"

namespace {

double CpuMilliseconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int commands = argc > 1 ? std::atoi(argv[1]) : 100;
  QTemporaryDir dir;
  auto line = std::make_shared<FakeLine>();
  TForm1Setup setup;
  setup.settingsPath = dir.filePath("bench.INI");
  setup.makeDevice = FakeSerialDevice::Factory(line);
  TForm1 form(setup);
  form.SetModelIndex(0);
  form.Button4->click();
  if (form.Button4->text() != "Disconnect") {
    std::fprintf(stderr, "the test double did not open\n");
    return 1;
  }

  QElapsedTimer wall;
  wall.start();
  const double cpuStart = CpuMilliseconds();
  for (int i = 0; i < commands; ++i) form.status->click();
  const double cpu = CpuMilliseconds() - cpuStart;
  const double wallMs = wall.nsecsElapsed() / 1e6;

  std::printf("commands sent:            %d\n", commands);
  std::printf("wall time per command:    %.2f ms\n", wallMs / commands);
  std::printf("CPU time per command:     %.3f ms (whole process)\n", cpu / commands);
  form.Button4->click();
  return 0;
}
