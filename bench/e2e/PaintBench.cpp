// Prints what painting the log costs the event response: the time from the
// last byte of a card frame to the first byte of its response, and the CPU
// time of the window process per frame, with the window shown on an X display
// and with it unmapped, in turns within one run and one connection. Control
// Lock is on, so every frame's response is four commands. Without a DISPLAY
// the program starts an X server of its own (Xvfb) and ends it at the end.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "MainWindow.h"
#include "OperatorMessages.h"
#include "Transcript.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "e2e_paint_bench: %s\n", what);
  std::exit(1);
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](timeval t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// An X server for the run; it tells its display number through a pipe.
class XServer {
 public:
  XServer() {
    int fds[2];
    if (pipe(fds) != 0) Fail("no pipe for Xvfb");
    pid_ = fork();
    if (pid_ < 0) Fail("cannot fork for Xvfb");
    if (pid_ == 0) {
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) Fail("Xvfb did not start (is it installed?)");
    display_ = ":" + number;
  }
  ~XServer() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

struct Phase {
  bool visible = false;
  std::vector<double> latencyMs;
  double cpuSeconds = 0;
  int frames = 0;
};

void Print(const Phase& phase) {
  std::vector<double> ms = phase.latencyMs;
  std::sort(ms.begin(), ms.end());
  const auto at = [&](double q) { return ms[std::min(ms.size() - 1, std::size_t(q * double(ms.size())))]; };
  std::printf(
      "%-9s frame end to first response byte over %zu frames: median %.3f ms, p99 %.3f ms, max %.3f ms; "
      "CPU %.3f ms per card frame\n",
      phase.visible ? "visible:" : "unmapped:", ms.size(), at(0.5), at(0.99), ms.back(),
      phase.cpuSeconds * 1000.0 / phase.frames);
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
  std::unique_ptr<XServer> server;
  if (qEnvironmentVariableIsEmpty("DISPLAY")) {
    server = std::make_unique<XServer>();
    qputenv("DISPLAY", server->Display().c_str());
  }
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  QApplication::setApplicationName("Velmora");
  int boxes = 0;
  const OperatorMessages messages{[&](const QString&, const QString& text, MessageIcon) {
                                    ++boxes;
                                    std::fprintf(stderr, "message box: %s\n", qPrintable(text));
                                  },
                                  [] {}};

  QTemporaryDir dir;
  const QString transcript = dir.filePath("transcript.txt");
  const QString link = dir.filePath("reader");
  // The reader's output goes to a file: a pipe would wake this process, and
  // so the window's waits, at every byte the reader announces.
  QProcess reader;
  reader.setStandardOutputFile(dir.filePath("reader.out"));
  reader.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  reader.start(TRELLUM_READER_PATH, {"--quit-on-eof", "--no-powerup", "--transcript", transcript, "--link", link});
  if (!reader.waitForStarted(10000)) Fail("trellum-reader did not start");
  if (!QTest::qWaitFor([&] { return QFile::exists(link); }, 10000)) Fail("trellum-reader made no link");
  const auto control = [&](const QByteArray& line) {
    reader.write(line + '\n');
    reader.waitForBytesWritten(5000);
  };
  const auto sleepInLoop = [](int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
  };
  QFile settings(dir.filePath("trellum.INI"));
  if (!settings.open(QIODevice::WriteOnly)) Fail("cannot write the settings file");
  settings.write("[Settings]\nPort=0\n[Ports]\nCOM1=" + QFile::encodeName(link) + "\n");
  settings.close();
  TForm1Setup setup;
  setup.settingsPath = settings.fileName();
  setup.messages = messages;
  auto form = std::make_unique<TForm1>(setup);
  form->SetModelIndex(0);
  form->cbAutoBeep->setChecked(true);
  form->show();
  if (!QTest::qWaitForWindowExposed(form.get())) Fail("the window was not shown");
  form->Button4->click();
  if (form->Button4->text() != "Disconnect") Fail("Connect failed");
  sleepInLoop(500);

  // The phase each frame belongs to; -1 for those that fill the log first.
  std::vector<int> phaseOfFrame;
  // A frame every 250 ms, which its response (four commands of 52 ms each)
  // fits in. The harness sleeps in the event loop meanwhile, woken by
  // nothing of its own, so that the CPU of a phase is the window's. The
  // transcript shows afterwards that every frame was answered in its period.
  const auto cards = [&](int count, int phase) {
    for (int k = 0; k < count; ++k) {
      control("card");
      sleepInLoop(250);
      phaseOfFrame.push_back(phase);
    }
  };
  cards(40, -1);

  // Turns of a tenth of the frames each, alternating, so that a change in the
  // machine's load falls on both alike.
  std::vector<Phase> phases(2);
  phases[0].visible = true;
  const int turn = std::max(5, frames / 10);
  for (int done = 0; done < 2 * frames; done += turn) {
    Phase& phase = phases[(done / turn) % 2];
    form->setVisible(phase.visible);
    if (phase.visible && !QTest::qWaitForWindowExposed(form.get())) Fail("the window was not shown again");
    // The whole window's paint after it is shown again is not a frame's.
    sleepInLoop(500);
    const double cpu0 = CpuSeconds();
    cards(turn, (done / turn) % 2);
    phase.cpuSeconds += CpuSeconds() - cpu0;
    phase.frames += turn;
  }
  form->Button4->click();
  const qsizetype logLines = form->Memo1->lineCount();
  form.reset();
  reader.closeWriteChannel();
  if (!reader.waitForFinished(10000)) Fail("trellum-reader did not end");

  // Each frame (a 9-byte burst from the reader) is followed by its whole
  // response, four commands, before the next frame: its first "~" gives the
  // latency.
  const std::vector<Burst> bursts = ReadTranscript(transcript);
  std::size_t frame = 0;
  for (std::size_t i = 0; i < bursts.size(); ++i) {
    if (!bursts[i].sent || bursts[i].bytes.size() != 9) continue;
    int commands = 0;
    for (std::size_t j = i + 1; j < bursts.size() && !(bursts[j].sent && bursts[j].bytes.size() == 9); ++j) {
      if (bursts[j].sent) continue;
      if (commands == 0 && bursts[j].bytes.startsWith('~') && frame < phaseOfFrame.size() && phaseOfFrame[frame] >= 0)
        phases[phaseOfFrame[frame]].latencyMs.push_back((bursts[j].seconds - bursts[i].seconds) * 1000.0);
      commands += int(bursts[j].bytes.count('~'));
    }
    if (commands != 4) Fail("a frame was not answered with four commands within its period");
    ++frame;
  }
  if (frame != phaseOfFrame.size() ||
      phases[0].latencyMs.size() + phases[1].latencyMs.size() != std::size_t(phases[0].frames + phases[1].frames))
    Fail("the transcript does not hold one response per frame");
  std::printf("Log painting, Control Lock on, %zu log lines at the end\n", std::size_t(logLines));
  for (const Phase& phase : phases) Print(phase);
  if (boxes) Fail("the window reported errors");
  return 0;
}
