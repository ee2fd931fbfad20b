#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QAbstractEventDispatcher;
class QThread;

// Several lines at once: one job per line, each in a thread of its own with
// an event loop of its own, so that a line waiting for its reader never
// holds up another. The thread that runs the station handles its own events
// meanwhile, a stop request (Ctrl+C) among them.
class Station {
 public:
  // The job of one line; it makes, uses and ends its line in its thread and
  // looks at `stop` wherever it waits.
  using Job = std::function<void(std::size_t line, const std::atomic<bool>& stop)>;

  explicit Station(std::size_t lines);
  ~Station();
  Station(const Station&) = delete;
  Station& operator=(const Station&) = delete;

  // Runs job(0) to job(lines - 1) at the same time and returns when every
  // one has ended. An exception that ends a job is raised here afterwards.
  void Run(const Job& job);
  // Sets `stop` and wakes every line's event loop to see it.
  void RequestStop();

 private:
  std::size_t lines_;
  std::atomic<bool> stop_{false};
  std::vector<std::unique_ptr<QThread>> threads_;
  // The event loops of the lines' threads while their jobs run, handed over
  // under the mutex: a stop request wakes only loops that are there.
  std::mutex mutex_;
  std::vector<QAbstractEventDispatcher*> loops_;
};
