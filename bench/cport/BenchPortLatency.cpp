// Opens a pseudo-terminal through TComPort (smThreadSync) and prints the
// latency from a byte written by the far end to OnRxChar on the owner thread,
// then the CPU time the process uses while the port is open and idle.

#include "ComPort.h"
#include "QtHandOff.h"

#include <QCoreApplication>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double Percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  const size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * static_cast<double>(values.size())));
  return values[index];
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int samples = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 2000;
  const int idleSeconds = 5;

  int master = -1, slave = -1;
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  const std::string slavePath = ttyname(slave);

  TComPort port(std::make_shared<QtHandOff>());
  port.SetPort(slavePath);

  std::mutex mutex;
  std::condition_variable received;
  std::atomic<int64_t> sentAt{0};
  int delivered = 0;
  std::vector<double> latencies;
  latencies.reserve(static_cast<size_t>(samples));

  port.OnRxChar = [&](TCustomComPort* sender, int count) {
    const auto now = Clock::now().time_since_epoch().count();
    std::string text;
    sender->ReceiveText(text, count);
    std::lock_guard lock(mutex);
    latencies.push_back(static_cast<double>(now - sentAt.load()) / 1e6);
    ++delivered;
    received.notify_one();
  };
  try {
    port.OpenPort();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "open failed: %s\n", e.what());
    return 1;
  }

  double idleCpu = 0;
  std::thread peer([&] {
    for (int i = 0; i < samples; ++i) {
      std::this_thread::sleep_for(std::chrono::microseconds(500 + (i * 7919) % 1000));
      const uint8_t byte = static_cast<uint8_t>(i);
      sentAt = Clock::now().time_since_epoch().count();
      if (write(master, &byte, 1) != 1) break;
      std::unique_lock lock(mutex);
      if (!received.wait_for(lock, std::chrono::seconds(5), [&] { return delivered > i; })) {
        std::fprintf(stderr, "byte %d was not delivered\n", i);
        break;
      }
    }
    // Let the last dispatch finish before measuring the idle port.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double cpuStart = CpuSeconds();
    const auto wallStart = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    idleCpu = (CpuSeconds() - cpuStart) / std::chrono::duration<double>(Clock::now() - wallStart).count();
    QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
  });
  app.exec();
  peer.join();
  port.ClosePort();
  close(master);
  close(slave);

  if (latencies.empty()) return 1;
  std::printf("samples            %zu\n", latencies.size());
  std::printf("latency median     %.3f ms   (goal <= 0.5 ms)\n", Percentile(latencies, 0.5));
  std::printf("latency p99        %.3f ms   (goal <= 2 ms)\n", Percentile(latencies, 0.99));
  std::printf("latency max        %.3f ms\n", Percentile(latencies, 1.0));
  std::printf("idle CPU           %.3f %% of a core over %d s   (goal <= 0.2 %%)\n", idleCpu * 100, idleSeconds);
  return 0;
}
