// Prints what the protocol costs: wall and CPU time of commands whose waits
// really sleep, and the decoder's throughput on a stream without start flags.

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "FakeEventLoop.h"
#include "PlainPanel.h"
#include "ReaderLink.h"
#include "ReaderProtocol.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double CpuMs() { return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// A port that takes every write at once and an event loop with nothing to
// do: a wait is a sleep on the steady clock.
class SleepingLink : public ReaderLink {
 public:
  bool connected = true;
  std::string input;
  bool Connected() const override { return connected; }
  int SendText(const std::string& bytes) override { return static_cast<int>(bytes.size()); }
  std::string ReceiveText(int count) override {
    std::string bytes = input.substr(0, static_cast<std::size_t>(count));
    input.erase(0, bytes.size());
    return bytes;
  }
  void DriveRTS(bool) override {}
  void ProcessMessages() override {}
  void AwaitMessages(int milliseconds) override {
    std::this_thread::sleep_until(Clock::now() + std::chrono::milliseconds(milliseconds));
  }
};

// Timer1 restarts cost nothing here, so that the figure is the decoder's own.
class QuietPanel : public PlainPanel {
 public:
  using PlainPanel::PlainPanel;
  void StartInterByteTimer(int) override {}
  void StopInterByteTimer() override {}
};

void CommandTiming() {
  constexpr int kCommands = 100;
  FakeEventLoop loop;
  QuietPanel panel(loop);
  SleepingLink link;
  ReaderProtocol protocol(panel, link);
  std::vector<double> wall;
  const double cpuStart = CpuMs();
  const auto start = Clock::now();
  for (int i = 0; i < kCommands; ++i) {
    const auto commandStart = Clock::now();
    protocol.SendCommand("?");
    wall.push_back(MsSince(commandStart));
  }
  const double totalWall = MsSince(start);
  const double totalCpu = CpuMs() - cpuStart;
  double shortest = wall.front();
  double longest = wall.front();
  for (const double w : wall) {
    shortest = std::min(shortest, w);
    longest = std::max(longest, w);
  }
  std::printf("%d commands: wall %.1f ms in all, %.2f ms each (shortest %.2f, longest %.2f); CPU %.3f ms each\n",
              kCommands, totalWall, totalWall / kCommands, shortest, longest, totalCpu / kCommands);
}

void DecoderThroughput(const char* what, const std::string& pattern, bool framed) {
  constexpr std::size_t kChunk = 4096;
  constexpr std::size_t kTotal = 64u << 20;
  FakeEventLoop loop;
  QuietPanel panel(loop);
  panel.fmt0 = panel.fmt1 = framed;
  SleepingLink link;
  link.connected = false;
  ReaderProtocol protocol(panel, link);
  std::string chunk;
  while (chunk.size() < kChunk) chunk += pattern;
  std::size_t fed = 0;
  const auto start = Clock::now();
  while (fed < kTotal) {
    link.input = chunk;
    protocol.ComPort1RxChar(static_cast<int>(chunk.size()));
    fed += chunk.size();
    panel.log.clear();
  }
  const double seconds = MsSince(start) / 1000;
  std::printf("decoder, %s: %.1f MB/s (%.0f bytes/s)\n", what, fed / seconds / 1e6, fed / seconds);
}

}  // namespace

int main() {
  CommandTiming();
  DecoderThroughput("binary stream without start flags", "A", true);
  DecoderThroughput("good card frames, port closed", std::string("\x02\x06\x01\x02\x03\x04\x05\x0F\x03", 9), true);
  DecoderThroughput("ASCII lines of 14 characters", "00258,00197637\n\r", false);
  return 0;
}
