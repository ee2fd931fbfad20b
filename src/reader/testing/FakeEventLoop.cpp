#include "FakeEventLoop.h"

#include <algorithm>
#include <utility>

std::function<FakeEventLoop::TimePoint()> FakeEventLoop::Clock() {
  return [this] { return now_; };
}

double FakeEventLoop::ElapsedMs() const { return std::chrono::duration<double, std::milli>(now_ - start_).count(); }

int FakeEventLoop::Schedule(int milliseconds, std::function<void()> action) {
  const int id = nextId_++;
  actions_.push_back({id, now_ + std::chrono::milliseconds(milliseconds), std::move(action)});
  return id;
}

void FakeEventLoop::Cancel(int id) {
  std::erase_if(actions_, [id](const Action& a) { return a.id == id; });
}

std::vector<FakeEventLoop::Action>::iterator FakeEventLoop::Earliest() {
  return std::min_element(actions_.begin(), actions_.end(),
                          [](const Action& a, const Action& b) { return a.due < b.due; });
}

void FakeEventLoop::ProcessDue() {
  for (;;) {
    const auto next = Earliest();
    if (next == actions_.end() || next->due > now_) return;
    // Taken out before it runs: the action may wait and so run this loop nested.
    const std::function<void()> run = std::move(next->run);
    actions_.erase(next);
    run();
  }
}

void FakeEventLoop::Await(int milliseconds) {
  const TimePoint target = now_ + std::chrono::milliseconds(milliseconds);
  const auto next = Earliest();
  now_ = next != actions_.end() && next->due < target ? std::max(now_, next->due) : target;
  ProcessDue();
}

void FakeEventLoop::Idle(int milliseconds) {
  const TimePoint target = now_ + std::chrono::milliseconds(milliseconds);
  for (auto next = Earliest(); next != actions_.end() && next->due <= target; next = Earliest()) {
    now_ = std::max(now_, next->due);
    ProcessDue();
  }
  now_ = std::max(now_, target);
}
