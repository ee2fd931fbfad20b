#include "Deadlines.h"

#include <algorithm>

namespace serialdev {

namespace {

// Times beyond this are as good as none, and keep the arithmetic in range.
constexpr uint64_t kLongestMs = uint64_t{1} << 40;

TransferDeadline DeadlineAfter(uint64_t totalMs) {
  return {totalMs != 0, DeviceClock::now() + std::chrono::milliseconds(std::min(totalMs, kLongestMs))};
}

}  // namespace

int MillisecondsUntil(DeviceClock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - DeviceClock::now());
  return static_cast<int>(std::clamp<int64_t>(left.count(), 0, 1 << 30));
}

TransferDeadline WriteDeadline(const Timeouts& t, size_t count) {
  return DeadlineAfter(uint64_t{t.WriteTotalTimeoutMultiplier} * count + t.WriteTotalTimeoutConstant);
}

ReadBound::ReadBound(const Timeouts& t, size_t count)
    : immediate_(t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 &&
                 t.ReadTotalTimeoutConstant == 0),
      firstByteEnds_(t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword &&
                     t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != kMaxDword),
      total_(DeadlineAfter(firstByteEnds_ ? t.ReadTotalTimeoutConstant
                                          : uint64_t{t.ReadTotalTimeoutMultiplier} * count +
                                                t.ReadTotalTimeoutConstant)),
      intervalMs_(t.ReadIntervalTimeout == kMaxDword ? 0 : t.ReadIntervalTimeout) {}

int ReadBound::WaitMs(size_t read) const {
  int timeoutMs = total_.bounded ? MillisecondsUntil(total_.at) : -1;
  if (intervalMs_ != 0 && read > 0) {
    const int intervalMs = MillisecondsUntil(lastByte_ + std::chrono::milliseconds(intervalMs_));
    timeoutMs = timeoutMs < 0 ? intervalMs : std::min(timeoutMs, intervalMs);
  }
  return timeoutMs;
}

}  // namespace serialdev
