#pragma once

#include <functional>

// How the event thread reaches the thread that owns a component: Post queues
// a routine from any thread, and the owner thread runs the routines later, in
// the order they were posted. A routine that is never run is simply dropped.
class HandOff {
 public:
  virtual ~HandOff() = default;
  virtual void Post(std::function<void()> routine) = 0;
};
