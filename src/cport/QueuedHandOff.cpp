#include "QueuedHandOff.h"

void QueuedHandOff::Post(std::function<void()> routine) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(routine));
  }
  posted_.notify_all();
}

int QueuedHandOff::RunPending() {
  std::deque<std::function<void()>> due;
  {
    std::lock_guard lock(mutex_);
    due.swap(queue_);
  }
  for (auto& routine : due) routine();
  return static_cast<int>(due.size());
}

int QueuedHandOff::RunPendingFor(std::chrono::milliseconds limit) {
  {
    std::unique_lock lock(mutex_);
    posted_.wait_for(lock, limit, [this] { return !queue_.empty(); });
  }
  return RunPending();
}
