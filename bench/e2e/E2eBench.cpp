// Prints, from the virtual reader's transcript, the time from the last byte
// of a card frame to the first byte of its event response; the CPU time this
// process (the window) spends per frame; and its memory once the log holds
// a million lines.
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "OperatorMessages.h"
#include "ToolkitChoices.h"
#include "WindowBench.h"

namespace {

// A field of /proc/self/status in kB, such as "VmRSS" or "VmHWM".
long StatusKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  return -1;
}

void MemoryOfLongLog(Bench& bench, int lines) {
  bench.Start({"--no-powerup", "--mode", "0"}, true);
  VirtualReader& reader = bench.Reader();
  TForm1& form = bench.Form();
  const auto logLines = [&] { return int(form.Memo1->lineCount()); };
  const long rssBefore = StatusKb("VmRSS");
  // A switch-closed line costs no waits: 1,000 of them per burst.
  constexpr int kBatch = 1000;
  QString burst = "raw";
  for (int i = 0; i < kBatch; ++i) burst += " 50 4F 0A 0D";
  const double cpu0 = CpuSeconds();
  QElapsedTimer wall;
  wall.start();
  for (int target = kBatch; target <= lines; target += kBatch) {
    reader.Control(burst);
    if (!reader.Await([&] { return logLines() >= target; }, 60000)) Fail("the log stopped growing");
    reader.Forget();
    if (target % 100000 == 0) {
      std::printf("  %d lines, VmRSS %ld kB, %.1f s\n", target, StatusKb("VmRSS"), wall.elapsed() / 1000.0);
      std::fflush(stdout);
    }
  }
  const double cpu = CpuSeconds() - cpu0;
  std::printf(
      "Log of %d lines: VmRSS %ld kB before, %ld kB after (%.1f bytes a line), peak VmHWM %ld kB; "
      "%.2f us CPU and %.2f us wall a line\n",
      logLines(), rssBefore, StatusKb("VmRSS"), (StatusKb("VmRSS") - rssBefore) * 1024.0 / logLines(),
      StatusKb("VmHWM"), cpu * 1e6 / logLines(), wall.elapsed() * 1000.0 / logLines());
  bench.Stop();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  MakeToolkitChoices();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Velmora");
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 600;
  const int lines = argc > 2 ? std::max(1000, std::atoi(argv[2])) : 1000000;
  int boxes = 0;
  QTemporaryDir dir;
  Bench bench(dir, CountedMessages(boxes));
  ResponseAndCpu(bench, dir, frames, "The window on the reader's pseudo-terminal");
  MemoryOfLongLog(bench, lines);
  if (boxes) Fail("the window reported errors");
  return 0;
}
