#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "device/SerialDevice.h"

// What a device is set up with before it counts as open, in the order
// OpenPort commits it: the queue sizes, the line settings, the time-outs.
struct DeviceSetup {
  int inputSize = 0;
  int outputSize = 0;
  serialdev::ControlBlock controlBlock;
  serialdev::Timeouts timeouts;
};

// Opens a device and sets it up on a thread of its own, for an owner that
// must not wait for a device slow to answer (a network port's connect takes
// up to its time-out). When done, it calls `finished` on that thread with the
// reason of the step that failed and the system's code, or with 0 and 0; a
// device that failed is closed again.
class TComOpener {
 public:
  using Finished = std::function<void(int reason, int code)>;

  TComOpener(std::shared_ptr<serialdev::SerialDevice> device, std::string target, DeviceSetup setup, Finished finished);
  // Waits for the thread.
  ~TComOpener();
  TComOpener(const TComOpener&) = delete;
  TComOpener& operator=(const TComOpener&) = delete;

  const std::shared_ptr<serialdev::SerialDevice>& Device() const { return device_; }
  void Join();

 private:
  void Execute();

  const std::shared_ptr<serialdev::SerialDevice> device_;
  const std::string target_;
  const DeviceSetup setup_;
  const Finished finished_;
  std::thread thread_;
};
