#include "WindowBench.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

#include "ThreadWakeups.h"
#include "Transcript.h"

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](timeval t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void Fail(const char* what) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
  std::exit(1);
}

OperatorMessages CountedMessages(int& boxes) {
  return {[&boxes](const QString&, const QString& text, MessageIcon) {
            ++boxes;
            std::fprintf(stderr, "message box: %s\n", qPrintable(text));
          },
          [] {}};
}

void Bench::Start(const QStringList& readerArguments, bool ascii, const PortOf& portOf) {
  form_.reset();
  reader_.reset();
  reader_ = std::make_unique<VirtualReader>(readerArguments);
  const QString port = portOf ? portOf(reader_->Device()) : reader_->Device();
  QFile settings(dir_.filePath("trellum.INI"));
  if (!settings.open(QIODevice::WriteOnly | QIODevice::Truncate)) Fail("cannot write the settings file");
  settings.write("[Settings]\nPort=0\n[Ports]\nCOM1=" + port.toLocal8Bit() + "\n");
  settings.close();
  TForm1Setup setup;
  setup.settingsPath = settings.fileName();
  setup.messages = messages_;
  form_ = std::make_unique<TForm1>(setup);
  form_->SetModelIndex(0);
  form_->cbAutoBeep->setChecked(false);
  form_->fmt0->setChecked(!ascii);
  form_->fmt1->setChecked(!ascii);
  const QSet<QString> before = Threads();
  form_->Button4->click();
  if (form_->Button4->text() != "Disconnect") Fail("Connect failed");
  const QSet<QString> started = Threads() - before;
  eventThread_ = started.size() == 1 ? *started.begin() : QString();
  if (!reader_->AwaitCount(0, "cmd - ?", 1)) Fail("no status request");
  reader_->Await([] { return false; }, 300);
}

void Bench::Stop() {
  if (form_ && form_->Button4->text() == "Disconnect") form_->Button4->click();
  form_.reset();
  if (reader_) reader_->Finish();
}

namespace {

double At(std::vector<double> ms, double q) {
  if (ms.empty()) return 0;
  std::sort(ms.begin(), ms.end());
  return ms[std::min(ms.size() - 1, std::size_t(q * double(ms.size())))];
}

}  // namespace

double Responses::Median() const { return At(ms, 0.5); }
double Responses::P99() const { return At(ms, 0.99); }

Responses ResponseAndCpu(Bench& bench, const QTemporaryDir& dir, int frames, const QString& title,
                         const Bench::PortOf& portOf) {
  const QString transcript = dir.filePath("transcript.txt");
  bench.Start({"--no-powerup", "--transcript", transcript}, false, portOf);
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

  Responses responses;
  std::vector<Burst> bursts = ReadTranscript(transcript);
  for (std::size_t i = 0; i + 1 < bursts.size(); ++i) {
    if (!bursts[i].sent || bursts[i].bytes.size() != 9) continue;
    for (std::size_t j = i + 1; j < bursts.size(); ++j) {
      if (bursts[j].sent) break;
      if (bursts[j].bytes.startsWith('~')) {
        responses.ms.push_back((bursts[j].seconds - bursts[i].seconds) * 1000.0);
        break;
      }
    }
  }
  if (responses.ms.size() != std::size_t(frames)) Fail("the transcript does not hold one response per frame");
  responses.cpuMsPerFrame = cpu * 1000.0 / frames;
  const std::vector<double>& ms = responses.ms;
  std::printf("%s: last frame byte to first response byte over %zu frames: min %.3f ms, median %.3f ms, "
              "p99 %.3f ms, max %.3f ms\n",
              qPrintable(title), ms.size(), At(ms, 0), responses.Median(), responses.P99(), At(ms, 1));
  // Below the RTS lead only when the reader read its clock late after a write.
  std::printf("  responses under the 2 ms lead: %zu\n",
              std::size_t(std::count_if(ms.begin(), ms.end(), [](double t) { return t < 2.0; })));
  std::printf(
      "  CPU of the window process: %.3f ms per card frame (%.2f s over %d frames, %.1f s wall, %.1f ms wall per "
      "frame)\n",
      responses.cpuMsPerFrame, cpu, frames, elapsed, elapsed * 1000.0 / frames);
  std::fflush(stdout);
  return responses;
}
