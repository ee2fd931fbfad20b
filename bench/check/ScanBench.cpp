// The wall time of `trellum-check scan PORT --ids 0-31` (the default speeds
// and both encodings) against the virtual reader: a line where nobody answers,
// and one where 32 readers answer at the last speed tried. The goal is under
// 60 s; the figures are printed, not judged.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "CheckRun.h"
#include "ReaderProcess.h"

namespace {

void Measure(const char* what, std::vector<std::string> readerArgs) {
  ReaderProcess reader(std::move(readerArgs));
  const auto start = std::chrono::steady_clock::now();
  const CheckRun run = CheckRun::Run({"scan", reader.device(), "--ids", "0-31"});
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  const auto counted = run.out.rfind(" found in ");
  const std::string summary = counted == std::string::npos ? run.err : run.out.substr(run.out.rfind('\n', counted) + 1);
  std::printf("full scan, %s: %.1f s wall, exit %d, %s", what, took.count(), run.status, summary.c_str());
}

}  // namespace

int main() {
  Measure("no reader answers", {"--speed-match", "--no-powerup", "--baud", "9600", "--deaf"});
  std::string everyId = "0";
  for (int id = 1; id < 32; ++id) everyId += "," + std::to_string(id);
  Measure("32 readers at 115200 bit/s", {"--speed-match", "--no-powerup", "--baud", "115200", "--ids", everyId});
  return 0;
}
