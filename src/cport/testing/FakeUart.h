#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "PosixSystem.h"

// A scripted 16550-like UART behind the POSIX device layer's system calls,
// for what a pseudo-terminal cannot show: modem lines, the error and break
// counters, a transmitter that takes time per byte, a driver that rounds
// speeds or refuses low-latency mode, and signals interrupting waits. The
// device's descriptor is an eventfd that is readable while bytes are queued,
// so that the device sleeps in a real poll().
class FakeUart final : public serialdev::PosixSystem {
 public:
  using Clock = std::chrono::steady_clock;

  FakeUart();
  ~FakeUart() override;

  // ---- the far end of the line
  void Receive(const std::string& bytes);
  // A byte with bad parity: counted; read as sent, or as 0 with INPCK set.
  void ReceiveWithParityError(uint8_t byte);
  // A byte with a bad stop bit: counted, read as 0.
  void ReceiveWithFramingError();
  // Bytes lost to a full FIFO: counted; the bytes kept arrive.
  void Overrun(const std::string& kept);
  // A break: counted, read as one NUL byte.
  void ReceiveBreak();
  // Modem inputs as TIOCM_CTS, TIOCM_DSR, TIOCM_CAR, TIOCM_RNG bits.
  void SetInputLines(int bits);
  // Each byte written takes this long to leave the transmitter.
  void SetByteTime(std::chrono::milliseconds time);
  // Speeds are programmed as this function of the speed asked.
  void RoundSpeeds(std::function<uint32_t(uint32_t)> round);
  // TIOCGSERIAL/TIOCSSERIAL fail with code (0: supported).
  void RefuseSerialInfo(int code);
  // The next `count` polls sleep `after` (at most their time-out), then fail with EINTR.
  void InterruptPolls(int count, std::chrono::milliseconds after);

  // ---- what the test reads back
  std::string Sent() const;
  bool LowLatency() const;
  size_t OutputFlushes() const;
  // The time-outs of every poll on the device, in order.
  std::vector<int> PollTimeouts() const;

  // ---- PosixSystem
  int Open(const char* path, int flags) override;
  int Close(int fd) override;
  int Duplicate(int from, int to) override;
  int Lock(int fd, int operation) override;
  int Stat(int fd, struct stat& status) override;
  int GetAttributes(int fd, termios& tio) override;
  int SetAttributes(int fd, const termios& tio) override;
  int Control(int fd, unsigned long request, void* argument) override;
  int SetSpeed(int fd, uint32_t baud) override;
  int GetSpeed(int fd, uint32_t& baud) override;
  int Flush(int fd, int queue) override;
  int Poll(pollfd* fds, nfds_t count, int timeoutMs) override;
  ssize_t Read(int fd, void* buffer, size_t count) override;
  ssize_t Write(int fd, const void* data, size_t count) override;

 private:
  void Queue(uint8_t byte);
  void UpdateReadable();
  // Bytes written that have not begun to leave.
  int Unsent(Clock::time_point now) const;

  mutable std::mutex mutex_;
  int fd_ = -1;
  termios tio_{};
  std::deque<uint8_t> rx_;
  std::string sent_;
  int outputLines_ = 0;
  int inputLines_ = 0;
  int frame_ = 0, parity_ = 0, overrun_ = 0, brk_ = 0;
  std::chrono::milliseconds byteTime_{0};
  std::vector<Clock::time_point> txEnds_;  // when each byte written has left
  std::function<uint32_t(uint32_t)> round_;
  uint32_t speed_ = 9600;
  int serialRefusal_ = 0;
  int serialFlags_ = 0;
  int interrupts_ = 0;
  std::chrono::milliseconds interruptAfter_{0};
  std::vector<int> pollTimeouts_;
  size_t outputFlushes_ = 0;
};
