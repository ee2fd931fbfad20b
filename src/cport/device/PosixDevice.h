#pragma once

#include "PosixSystem.h"
#include "SerialDevice.h"
#include "Wakeup.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace serialdev {

// The serial device on Linux: termios and ioctl on a tty, exclusive through
// flock and TIOCEXCL. Every blocking call sleeps in poll() beside eventfds
// that other threads set to end it; nothing spins.
//
// While an event wait runs, it moves arriving bytes from the driver into a
// receive queue of its own (at most the input queue size), so that it can tell
// new bytes from bytes left unread and see the event character without
// consuming anything the owner has not read. Reads take from that queue first,
// then from the driver.
//
// Settings without a Linux equivalent have no effect: DSR flow control and
// sensitivity, DTR handshake (DTR is simply raised), XonLim/XoffLim,
// TXContinueOnXoff, DiscardNull and the error replacement character (with
// parity checking on, Linux delivers a byte with a parity or framing error as
// 0). One and a half stop bits select CSTOPB: a UART then sends 1.5 stop bits
// with 5 data bits and 2 with more, which is what Windows allows 1.5 for.
// RTS toggle is emulated: Write raises RTS for its duration.
class PosixDevice final : public SerialDevice {
 public:
  explicit PosixDevice(std::shared_ptr<PosixSystem> system = LinuxSystem());
  ~PosixDevice() override;
  PosixDevice(const PosixDevice&) = delete;
  PosixDevice& operator=(const PosixDevice&) = delete;

  int Open(const std::string& path) override;
  void Close() override;
  bool IsOpen() const override;

  int SetState(const ControlBlock& dcb) override;
  int SetTimeouts(const Timeouts& timeouts) override;
  int SetQueueSizes(int input, int output) override;

  int Write(const uint8_t* data, size_t count, size_t& written) override;
  int Read(uint8_t* buffer, size_t count, size_t& read) override;

  int Purge(uint32_t flags) override;
  int SetRts(bool on) override;
  int GetModemStatus(uint32_t& modemBits) override;
  int ClearErrors(uint32_t& errorFlags, uint32_t& inputQueue) override;

  int SetEventMask(uint32_t mask) override;
  int WaitEvent(uint32_t& occurred) override;
  void BeginEventWaits() override;
  void StopEventWaits() override;

  bool Removed() const override;
  // Puts /dev/null on the descriptor's number (dup2), so that the tty is
  // let go while the number cannot be reused under another thread still
  // using it; Close closes that number.
  void ReleaseRemoved() override;

  // Test aid, no setting of the component: switches the UART's internal
  // loopback (TIOCM_LOOP), so that a rig can hear its own transmissions
  // without a cable. Returns errno or 0.
  int SetLoopback(bool on);

 private:
  using Clock = std::chrono::steady_clock;

  struct LineCounters {
    int frame = 0, parity = 0, overrun = 0, brk = 0, bufOverrun = 0;
  };

  // errno of a failed call on the device; records a removal when it says so.
  int Fail(int code);
  void MarkRemoved(int code);
  // Moves bytes from the driver into the receive queue; adds the events they bring.
  int TakeArrivals(uint32_t& occurred);
  int ReadModemLines(int& lines) const;
  int ReadCounters(LineCounters& counters) const;
  void CheckLines(uint32_t mask, uint32_t& occurred);
  int ModemControl(unsigned long request, int bits);
  int OutputQueue(int& bytes) const;
  bool TransmitterBusy() const;
  int WaitWritable(size_t accepted, size_t count, int outQueue, Clock::time_point deadline, bool bounded);

  int PollFor(std::vector<pollfd>& fds, int timeoutMs);
  void EnterLowLatency();
  void LeaveLowLatency();

  std::shared_ptr<PosixSystem> sys_;
  int fd_ = -1;
  int openError_ = 0;
  bool hasModemLines_ = false;
  bool hasCounters_ = false;
  bool hasLineStatus_ = false;  // TIOCSERGETLSR, which shows the transmitter empty
  bool isPseudoTerminal_ = false;
  bool released_ = false;
  bool lowLatencySet_ = false;  // set at open, so cleared again at close

  std::atomic<bool> removed_{false};
  std::atomic<int> removalCode_{0};
  std::atomic<uint32_t> mask_{0};
  std::atomic<bool> maskChanged_{false};
  std::atomic<bool> txEmpty_{false};
  std::atomic<uint64_t> txAborts_{0};
  std::atomic<uint64_t> rxAborts_{0};

  Wakeup stop_;     // ends event waits
  Wakeup wake_;     // wakes an event wait to look again
  Wakeup arrived_;  // the event wait queued bytes a read may be waiting for
  Wakeup txAbort_;
  Wakeup rxAbort_;

  // Guards the receive queue, the settings below and the error baseline.
  mutable std::mutex mutex_;
  std::deque<uint8_t> received_;
  size_t inputSize_ = 4096;
  Timeouts timeouts_;
  uint32_t baud_ = 9600;
  char evtChar_ = 0;
  bool rtsToggle_ = false;
  LineCounters errorBase_;

  // Owned by the thread that waits for events.
  int waitLines_ = 0;
  LineCounters waitCounters_;
  bool rx80Signalled_ = false;
  // Receive events held back behind a break that came with them; the next
  // wait returns them at once.
  uint32_t heldReceive_ = 0;
};

}  // namespace serialdev
