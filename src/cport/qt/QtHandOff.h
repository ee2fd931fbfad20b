#pragma once

#include <memory>

#include "HandOff.h"

class QObject;

// The hand-off of a Qt program: each routine is posted as an event to an
// object of the thread that made the hand-off, and runs in that thread's
// event loop. Routines still queued when the hand-off goes are dropped.
class QtHandOff final : public HandOff {
 public:
  QtHandOff();
  ~QtHandOff() override;
  QtHandOff(const QtHandOff&) = delete;
  QtHandOff& operator=(const QtHandOff&) = delete;

  void Post(std::function<void()> routine) override;

 private:
  std::unique_ptr<QObject> receiver_;
};
