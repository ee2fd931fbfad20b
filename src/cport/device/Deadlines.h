#pragma once

#include <chrono>
#include <cstddef>

#include "SerialDevice.h"

namespace serialdev {

using DeviceClock = std::chrono::steady_clock;

// Milliseconds from now until `deadline`, rounded up, never below zero.
int MillisecondsUntil(DeviceClock::time_point deadline);

// The end of a whole transfer; `bounded` false when it has none.
struct TransferDeadline {
  bool bounded = false;
  DeviceClock::time_point at;
};

// A write of `count` bytes under the write time-outs (per byte and constant,
// both zero for no bound), from now.
TransferDeadline WriteDeadline(const Timeouts& timeouts, size_t count);

// How the read time-outs bound one read of `count` bytes, from now: at once
// with what is there, with the first byte, after a total time, or after a
// gap between bytes, as the Win32 driver applies them. The devices that are
// not Win32 themselves keep the same rules with it.
class ReadBound {
 public:
  ReadBound(const Timeouts& timeouts, size_t count);

  // True when a read short of its count ends with `read` bytes anyway.
  bool EndsWith(size_t read) const { return immediate_ || (firstByteEnds_ && read > 0); }
  // Bytes have just arrived: the gap between bytes counts from now.
  void BytesArrived() { lastByte_ = DeviceClock::now(); }
  // How long to wait for more bytes: -1 without bound, 0 when the read is over.
  int WaitMs(size_t read) const;

 private:
  bool immediate_;
  bool firstByteEnds_;
  TransferDeadline total_;
  uint32_t intervalMs_;  // 0 when the gap between bytes is not bounded
  DeviceClock::time_point lastByte_;
};

}  // namespace serialdev
