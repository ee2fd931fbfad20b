// Prints, from the virtual reader's transcript, the time from the last byte
// of a card frame to the first byte of its event response; the CPU time this
// process (the window) spends per frame; and its memory once the log holds
// a million lines.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <utility>
#include <vector>

#include "MainWindow.h"
#include "OperatorMessages.h"
#include "ToolkitChoices.h"
#include "Transcript.h"
#include "VirtualReader.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](timeval t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A field of /proc/self/status in kB, such as "VmRSS" or "VmHWM".
long StatusKb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  return -1;
}

void Fail(const char* what) {
  std::fprintf(stderr, "e2e_bench: %s\n", what);
  std::exit(1);
}

class Bench {
 public:
  Bench(const QTemporaryDir& dir, OperatorMessages messages) : dir_(dir), messages_(std::move(messages)) {}

  // Starts a reader and a window connected to it over COM1.
  void Start(const QStringList& readerArguments, bool ascii) {
    form_.reset();
    reader_.reset();
    reader_ = std::make_unique<VirtualReader>(readerArguments);
    QFile settings(dir_.filePath("trellum.INI"));
    if (!settings.open(QIODevice::WriteOnly | QIODevice::Truncate)) Fail("cannot write the settings file");
    settings.write("[Settings]\nPort=0\n[Ports]\nCOM1=" + reader_->Device().toLocal8Bit() + "\n");
    settings.close();
    TForm1Setup setup;
    setup.settingsPath = settings.fileName();
    setup.messages = messages_;
    form_ = std::make_unique<TForm1>(setup);
    form_->SetModelIndex(0);
    form_->cbAutoBeep->setChecked(false);
    form_->fmt0->setChecked(!ascii);
    form_->fmt1->setChecked(!ascii);
    form_->Button4->click();
    if (form_->Button4->text() != "Disconnect") Fail("Connect failed");
    if (!reader_->AwaitCount(0, "cmd - ?", 1)) Fail("no status request");
    reader_->Await([] { return false; }, 300);
  }

  void Stop() {
    if (form_ && form_->Button4->text() == "Disconnect") form_->Button4->click();
    form_.reset();
    if (reader_) reader_->Finish();
  }

  VirtualReader& Reader() { return *reader_; }
  TForm1& Form() { return *form_; }

 private:
  const QTemporaryDir& dir_;
  OperatorMessages messages_;
  std::unique_ptr<VirtualReader> reader_;
  std::unique_ptr<TForm1> form_;
};

void Percentiles(const char* title, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  const auto at = [&](double q) { return ms[std::min(ms.size() - 1, std::size_t(q * double(ms.size())))]; };
  std::printf("%s over %zu frames: min %.3f ms, median %.3f ms, p99 %.3f ms, max %.3f ms\n", title, ms.size(),
              ms.front(), at(0.5), at(0.99), ms.back());
}

void ResponseAndCpu(Bench& bench, const QTemporaryDir& dir, int frames) {
  const QString transcript = dir.filePath("transcript.txt");
  bench.Start({"--no-powerup", "--transcript", transcript}, false);
  VirtualReader& reader = bench.Reader();
  reader.Forget();
  const double cpu0 = CpuSeconds();
  QElapsedTimer wall;
  wall.start();
  for (int k = 1; k <= frames; ++k) {
    reader.Control("card");
    // Returns once the window is back in its event loop with the frame
    // answered; forgetting keeps the harness's own work per frame small.
    if (!reader.AwaitCount(0, "cmd - 0", 1)) Fail("a card frame was not answered");
    reader.Forget();
  }
  const double cpu = CpuSeconds() - cpu0;
  const double elapsed = wall.elapsed() / 1000.0;
  bench.Stop();

  std::vector<Burst> bursts = ReadTranscript(transcript);
  std::vector<double> latency;
  for (std::size_t i = 0; i + 1 < bursts.size(); ++i) {
    if (!bursts[i].sent || bursts[i].bytes.size() != 9) continue;
    for (std::size_t j = i + 1; j < bursts.size(); ++j) {
      if (bursts[j].sent) break;
      if (bursts[j].bytes.startsWith('~')) {
        latency.push_back((bursts[j].seconds - bursts[i].seconds) * 1000.0);
        break;
      }
    }
  }
  if (latency.size() != std::size_t(frames)) Fail("the transcript does not hold one response per frame");
  Percentiles("Last frame byte to first response byte", latency);
  // Below the RTS lead only when the reader read its clock late after a write.
  std::printf("  responses under the 2 ms lead: %zu\n",
              std::size_t(std::count_if(latency.begin(), latency.end(), [](double ms) { return ms < 2.0; })));
  std::printf(
      "CPU of the window process: %.3f ms per card frame (%.2f s over %d frames, %.1f s wall, %.1f ms wall per "
      "frame)\n",
      cpu * 1000.0 / frames, cpu, frames, elapsed, elapsed * 1000.0 / frames);
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
  const OperatorMessages messages{[&](const QString&, const QString& text, MessageIcon) {
                                    ++boxes;
                                    std::fprintf(stderr, "message box: %s\n", qPrintable(text));
                                  },
                                  [] {}};
  QTemporaryDir dir;
  Bench bench(dir, messages);
  ResponseAndCpu(bench, dir, frames);
  MemoryOfLongLog(bench, lines);
  if (boxes) Fail("the window reported errors");
  return 0;
}
