#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "SerialDevice.h"

// The far side of a scripted serial device for tests: what the device
// received and did (every operation, with a monotonic timestamp), and what
// the test lets it see (received bytes, line errors, modem lines, removal,
// failures). Thread-safe: the component's event thread waits on it while
// the test feeds it.
class FakeLine {
 public:
  using Clock = std::chrono::steady_clock;

  struct Call {
    Clock::time_point at;
    std::string operation;       // "Open", "Write", "SetRts", "Purge", ...
    std::vector<uint8_t> bytes;  // Write: the bytes written
    uint32_t value = 0;          // SetRts: 1/0; Purge: flags; SetEventMask: mask; Read: count asked
  };

  // ---- what the test lets the device see
  // Queues received bytes: an EV_RXCHAR event, and EV_RXFLAG when the event
  // character of the last SetState is among them.
  void Receive(const std::string& bytes);
  // Adds line error flags (CE_*): an EV_ERR event.
  void RaiseErrors(uint32_t errorFlags);
  // Sets the modem status (MS_*): an event for each line that changed.
  void SetModemStatus(uint32_t modemBits);
  // Any event bits (EV_*), as they would come from the driver.
  void RaiseEvents(uint32_t events);
  // The device goes away: the event wait and later reads and writes fail with code.
  void Remove(int code);
  // Makes every later call of an operation fail with code (0 clears it).
  void Fail(const std::string& operation, int code);
  // Writes accept at most this many bytes each (as a write time-out would).
  void LimitWrites(size_t count);
  // Writes block until a purge with PURGE_TXABORT ends them with ECANCELED.
  void HoldWrites(bool hold);
  // Opens block until released, as a network port's connect may.
  void HoldOpens(bool hold);

  // ---- what the test reads back
  std::vector<Call> Calls() const;
  std::vector<Call> CallsOf(const std::string& operation) const;
  std::vector<std::string> Operations() const;
  void ClearCalls();
  std::string Written() const;
  std::optional<serialdev::ControlBlock> State() const;
  std::optional<serialdev::Timeouts> Timeouts() const;
  // Input and output sizes of the last SetQueueSizes.
  std::optional<std::pair<int, int>> QueueSizes() const;
  bool Rts() const;
  size_t Queued() const;
  bool IsOpen() const;
  // Whether the device let go of the line after its removal (ReleaseRemoved).
  bool Released() const;
  // Blocks until a writer holds in Write (see HoldWrites), up to a limit.
  bool AwaitHeldWriter(std::chrono::milliseconds limit) const;
  // Blocks until an opener holds in Open (see HoldOpens), up to a limit.
  bool AwaitHeldOpener(std::chrono::milliseconds limit) const;
  // Blocks until event waits have returned events (or the removal) this
  // many times in all.
  bool AwaitBatches(size_t count, std::chrono::milliseconds limit) const;
  // Blocks until WaitEvent has been entered this many times in all.
  bool AwaitWaits(size_t count, std::chrono::milliseconds limit) const;

  // ---- the device operations (FakeSerialDevice forwards to these)
  int Open(const std::string& path);
  void Close();
  int SetState(const serialdev::ControlBlock& dcb);
  int SetTimeouts(const serialdev::Timeouts& timeouts);
  int SetQueueSizes(int input, int output);
  int Write(const uint8_t* data, size_t count, size_t& written);
  int Read(uint8_t* buffer, size_t count, size_t& read);
  int Purge(uint32_t flags);
  int SetRts(bool on);
  int GetModemStatus(uint32_t& modemBits);
  int ClearErrors(uint32_t& errorFlags, uint32_t& inputQueue);
  int SetEventMask(uint32_t mask);
  int WaitEvent(uint32_t& occurred);
  void BeginEventWaits();
  void StopEventWaits();
  bool Removed() const;
  // Recorded as "ReleaseRemoved" only when it lets go: after a removal, once.
  void ReleaseRemoved();

 private:
  // Records the call; returns the code the operation is set to fail with.
  int Record(std::unique_lock<std::mutex>& lock, const std::string& operation, std::vector<uint8_t> bytes = {},
             uint32_t value = 0);
  void Signal(uint32_t events);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<Call> calls_;
  std::map<std::string, int> failures_;
  std::string input_;
  std::string written_;
  uint32_t errorFlags_ = 0;
  uint32_t modemBits_ = 0;
  uint32_t pendingEvents_ = 0;
  uint32_t mask_ = 0;
  bool stopped_ = false;
  bool open_ = false;
  bool rts_ = false;
  int removedCode_ = 0;
  bool released_ = false;
  size_t writeLimit_ = SIZE_MAX;
  bool holdWrites_ = false;
  int heldWriters_ = 0;
  bool holdOpens_ = false;
  int heldOpeners_ = 0;
  size_t batches_ = 0;
  size_t waits_ = 0;
  uint64_t aborts_ = 0;
  std::optional<serialdev::ControlBlock> state_;
  std::optional<serialdev::Timeouts> timeouts_;
  std::optional<std::pair<int, int>> queueSizes_;
};
