#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "HandOff.h"

// A hand-off without an event loop: the owner thread pumps it itself, by
// calling RunPending or RunPendingFor from its own loop.
class QueuedHandOff final : public HandOff {
 public:
  void Post(std::function<void()> routine) override;
  // Runs the routines queued so far (not those they post); returns how many ran.
  int RunPending();
  // Sleeps until a routine is queued or the time has passed, then runs what
  // is queued; returns how many ran.
  int RunPendingFor(std::chrono::milliseconds limit);

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> queue_;
};
