// Prints the event response (from the last byte of a card frame to the first
// byte of its response) and the window's CPU per frame with the reader
// reached through ser2net on 127.0.0.1 (RFC 2217 and raw, with ser2net's
// chardelay switched off and at its default) beside the same run on the
// reader's pseudo-terminal directly; and, for each, the wake-ups of the
// component's event thread and of the GUI thread while the connection idles.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "Ser2netServer.h"
#include "ThreadWakeups.h"
#include "ToolkitChoices.h"
#include "WindowBench.h"

namespace {

struct Route {
  const char* title;
  std::optional<Ser2netServer::Options> server;  // none: the pseudo-terminal directly
};

struct Figures {
  Responses responses;
  double eventThreadPerSecond = 0;
  double guiThreadPerSecond = 0;
};

// The two threads' wake-ups a second over `seconds` of an idle connection.
void IdleWakeups(Bench& bench, const Bench::PortOf& portOf, int seconds, Figures& figures) {
  bench.Start({"--no-powerup"}, false, portOf);
  if (bench.EventThread().isEmpty()) Fail("Connect did not start one event thread");
  const QString gui = QString::number(QCoreApplication::applicationPid());
  const long event0 = VoluntarySwitches(bench.EventThread());
  const long gui0 = VoluntarySwitches(gui);
  QEventLoop idle;
  QTimer::singleShot(seconds * 1000, &idle, &QEventLoop::quit);
  idle.exec();
  figures.eventThreadPerSecond = double(VoluntarySwitches(bench.EventThread()) - event0) / seconds;
  figures.guiThreadPerSecond = double(VoluntarySwitches(gui) - gui0) / seconds;
  bench.Stop();
  std::printf("  idle wake-ups a second over %d s: event thread %.1f, GUI thread %.1f\n", seconds,
              figures.eventThreadPerSecond, figures.guiThreadPerSecond);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  MakeToolkitChoices();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Velmora");
  const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 600;
  const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
  int boxes = 0;
  QTemporaryDir dir;
  Bench bench(dir, CountedMessages(boxes));
  const Route routes[] = {
      {"pseudo-terminal directly", std::nullopt},
      {"ser2net rfc2217, chardelay off", Ser2netServer::Options{.rfc2217 = true, .chardelay = false}},
      {"ser2net rfc2217, chardelay default", Ser2netServer::Options{.rfc2217 = true, .chardelay = true}},
      {"ser2net raw socket, chardelay off", Ser2netServer::Options{.rfc2217 = false, .chardelay = false}},
  };
  std::vector<Figures> figures;
  for (const Route& route : routes) {
    std::optional<Ser2netServer> server;
    Bench::PortOf portOf;
    if (route.server) {
      // Each Start brings a new reader: ser2net follows it onto its device.
      server.emplace(dir.path());
      portOf = [&](const QString& device) {
        server->Stop();
        if (const QString problem = server->Start(device, *route.server); !problem.isEmpty())
          Fail(qPrintable(problem));
        return server->Name();
      };
    }
    Figures f;
    f.responses = ResponseAndCpu(bench, dir, frames, route.title, portOf);
    IdleWakeups(bench, portOf, idleSeconds, f);
    figures.push_back(f);
  }
  std::printf("\n%-36s %10s %10s %14s %14s %12s\n", "", "median ms", "p99 ms", "CPU ms/frame", "event wakes/s",
              "GUI wakes/s");
  for (size_t i = 0; i < figures.size(); ++i) {
    const Figures& f = figures[i];
    std::printf("%-36s %10.3f %10.3f %14.3f %14.1f %12.1f\n", routes[i].title, f.responses.Median(),
                f.responses.P99(), f.responses.cpuMsPerFrame, f.eventThreadPerSecond, f.guiThreadPerSecond);
  }
  std::printf("median through ser2net (chardelay off) minus direct: %.3f ms\n",
              figures[1].responses.Median() - figures[0].responses.Median());
  if (boxes) Fail("the window reported errors");
  return 0;
}
