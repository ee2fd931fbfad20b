// Prints what painting the log costs the event response: the time from the
// last byte of a card frame to the first byte of its response, and the CPU
// time and wake-ups of the window per frame, with the window shown on an X
// display and with it unmapped, in turns within one run and one connection.
// Control Lock is on, so every frame's response is four commands. The GUI
// thread runs the window alone: the frames are asked of the virtual reader
// by a thread of the harness, whose own CPU and wake-ups are not counted.
// Without a DISPLAY the program starts an X server of its own (Xvfb) and ends
// it at the end.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "MainWindow.h"
#include "OperatorMessages.h"
#include "ToolkitChoices.h"
#include "Transcript.h"
#include "WindowBench.h"

namespace {

struct Usage {
  double cpuSeconds = 0;
  long wakeUps = 0;  // voluntary context switches
};

Usage UsageOf(int who) {
  rusage usage{};
  getrusage(who, &usage);
  const auto seconds = [](timeval t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return {seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_nvcsw};
}

// What the process has used but the calling thread (the harness's) has not.
Usage WindowUsage() {
  const Usage process = UsageOf(RUSAGE_SELF);
  const Usage harness = UsageOf(RUSAGE_THREAD);
  return {process.cpuSeconds - harness.cpuSeconds, process.wakeUps - harness.wakeUps};
}

// A program run for the benchmark, ended at the end: its standard input is
// a pipe of ours, its standard output the given file or else ours.
class Child {
 public:
  Child(std::vector<std::string> argv, const std::string& output, bool pipeInput) {
    int fds[2] = {-1, -1};
    if (pipeInput && pipe2(fds, O_CLOEXEC) != 0) Fail("no pipe for a child");
    pid_ = fork();
    if (pid_ < 0) Fail("cannot fork");
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (pipeInput) dup2(fds[0], 0);
      if (!output.empty()) {
        const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0) _exit(126);
        dup2(out, 1);
      }
      std::vector<char*> args;
      for (std::string& arg : argv) args.push_back(arg.data());
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
    if (pipeInput) {
      close(fds[0]);
      input_ = fds[1];
    }
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  void Send(const char* line) const {
    const std::string text = std::string(line) + '\n';
    if (write(input_, text.data(), text.size()) != ssize_t(text.size())) Fail("cannot write to a child");
  }
  // Closes its input and waits for it to end.
  bool Finish() {
    close(input_);
    int status = 0;
    const bool ended = waitpid(pid_, &status, 0) == pid_;
    pid_ = -1;
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
};

// An X server for the run; it tells its display number through a pipe.
class XServer {
 public:
  XServer() {
    int fds[2];
    if (pipe(fds) != 0) Fail("no pipe for Xvfb");
    pid_ = fork();
    if (pid_ < 0) Fail("cannot fork for Xvfb");
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
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
  long wakeUps = 0;
  int frames = 0;
};

void Print(const Phase& phase) {
  std::vector<double> ms = phase.latencyMs;
  std::sort(ms.begin(), ms.end());
  const auto at = [&](double q) { return ms[std::min(ms.size() - 1, std::size_t(q * double(ms.size())))]; };
  std::printf(
      "%-9s frame end to first response byte over %zu frames: median %.3f ms, p99 %.3f ms, max %.3f ms; "
      "CPU %.3f ms and %.1f wake-ups per card frame\n",
      phase.visible ? "visible:" : "unmapped:", ms.size(), at(0.5), at(0.99), ms.back(),
      phase.cpuSeconds * 1000.0 / phase.frames, double(phase.wakeUps) / phase.frames);
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
  MakeToolkitChoices();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Velmora");
  int boxes = 0;
  const OperatorMessages messages = CountedMessages(boxes);

  QTemporaryDir dir;
  const QString transcript = dir.filePath("transcript.txt");
  const QString link = dir.filePath("reader");
  // The reader's output goes to a file: a pipe would have to be read.
  Child reader({TRELLUM_READER_PATH, "--quit-on-eof", "--no-powerup", "--transcript", transcript.toStdString(),
                "--link", link.toStdString()},
               dir.filePath("reader.out").toStdString(), true);
  if (!QTest::qWaitFor([&] { return QFile::exists(link); }, 10000)) Fail("trellum-reader made no link");
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

  // Runs f on the GUI thread and waits for it.
  const auto onWindow = [&](const std::function<void()>& f) {
    QMetaObject::invokeMethod(form.get(), f, Qt::BlockingQueuedConnection);
  };
  // The phase each frame belongs to; -1 for those that fill the log first.
  std::vector<int> phaseOfFrame;
  std::vector<Phase> phases(2);
  phases[0].visible = true;
  std::thread harness([&] {
    using std::chrono::milliseconds;
    std::this_thread::sleep_for(milliseconds(500));
    // A frame every 300 ms, which its response fits in: four commands of
    // 52 ms each and the decoder's reset, which waits 50 ms more. The
    // transcript shows afterwards that every frame was answered in its period.
    const auto cards = [&](int count, int phase) {
      for (int k = 0; k < count; ++k) {
        reader.Send("card");
        std::this_thread::sleep_for(milliseconds(300));
        phaseOfFrame.push_back(phase);
      }
    };
    cards(40, -1);
    // Turns of a tenth of the frames each, alternating, so that a change in
    // the machine's load falls on both alike.
    const int turn = std::max(5, frames / 10);
    for (int done = 0; done < 2 * frames; done += turn) {
      const int index = (done / turn) % 2;
      Phase& phase = phases[index];
      bool shown = true;
      onWindow([&] {
        form->setVisible(phase.visible);
        shown = !phase.visible || QTest::qWaitForWindowExposed(form.get());
      });
      if (!shown) Fail("the window was not shown again");
      // The whole window's paint after it is shown again is not a frame's.
      std::this_thread::sleep_for(milliseconds(500));
      const Usage before = WindowUsage();
      cards(turn, index);
      const Usage after = WindowUsage();
      phase.cpuSeconds += after.cpuSeconds - before.cpuSeconds;
      phase.wakeUps += after.wakeUps - before.wakeUps;
      phase.frames += turn;
    }
    QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
  });
  app.exec();
  harness.join();
  form->Button4->click();
  const qsizetype logLines = form->Memo1->lineCount();
  form.reset();
  if (!reader.Finish()) Fail("trellum-reader did not end well");

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
