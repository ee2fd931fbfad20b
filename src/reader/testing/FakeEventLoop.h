#pragma once

#include <chrono>
#include <functional>
#include <vector>

// An event loop on a fake monotonic clock: time moves only when someone waits
// or idles, and scheduled actions run when the clock reaches them, nested in
// whatever wait moved it there, as a real event loop would run them.
class FakeEventLoop {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  TimePoint Now() const { return now_; }
  std::function<TimePoint()> Clock();
  // Milliseconds since the loop was made.
  double ElapsedMs() const;

  // Runs action once, milliseconds from now; returns an id for Cancel.
  int Schedule(int milliseconds, std::function<void()> action);
  void Cancel(int id);

  // Runs every action that is due.
  void ProcessDue();
  // Sleeps until the next action or until milliseconds have passed,
  // whichever comes first, then runs what is due.
  void Await(int milliseconds);
  // Lets milliseconds pass, running each action at its time.
  void Idle(int milliseconds);

 private:
  struct Action {
    int id;
    TimePoint due;
    std::function<void()> run;
  };
  std::vector<Action>::iterator Earliest();

  TimePoint start_{std::chrono::hours(1)};
  TimePoint now_{start_};
  std::vector<Action> actions_;
  int nextId_ = 1;
};
