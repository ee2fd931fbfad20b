// The wall time of `trellum-check test` on one line alone and on eight lines
// at once (eight virtual readers, the cards step on), their ratio, and the
// CPU time trellum-check spends per line. The goal is eight lines within 1.3
// times the time of one; the figures are printed, not judged.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "CheckRun.h"
#include "ReaderProcess.h"

namespace {

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

// The CPU time of the children waited for so far.
double ChildrenCpu() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

struct Figures {
  double wall = 0;
  double cpu = 0;
  int status = -1;
};

Figures Measure(int lines) {
  std::vector<std::unique_ptr<ReaderProcess>> readers;
  std::vector<std::string> args{"test"};
  for (int i = 0; i < lines; ++i) {
    readers.push_back(std::make_unique<ReaderProcess>(
        std::vector<std::string>{"--speed-match", "--no-powerup", "--baud", "9600", "--period", "1000"}));
    args.push_back(readers.back()->device());
  }
  args.insert(args.end(), {"--model", "Corvan", "--speed", "9600", "--cards", "1", "--card-timeout", "20"});
  const double cpu = ChildrenCpu();
  const auto start = std::chrono::steady_clock::now();
  const CheckRun run = CheckRun::Run(args);
  Figures figures;
  figures.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  figures.cpu = ChildrenCpu() - cpu;
  figures.status = run.status;
  if (run.status != 0) std::printf("%s%s", run.out.c_str(), run.err.c_str());
  return figures;
}

}  // namespace

int main() {
  const Figures one = Measure(1);
  const Figures eight = Measure(8);
  std::printf("one line:    %.2f s wall, %.3f s CPU (exit %d)\n", one.wall, one.cpu, one.status);
  std::printf("eight lines: %.2f s wall, %.3f s CPU, %.3f s CPU a line (exit %d)\n", eight.wall, eight.cpu,
              eight.cpu / 8, eight.status);
  std::printf("eight lines / one line: %.2f (goal: at most 1.3)\n", eight.wall / one.wall);
  return one.status == 0 && eight.status == 0 ? 0 : 1;
}
