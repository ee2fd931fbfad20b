#pragma once

#include "SerialDevice.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace serialdev {

// The serial device on Linux: termios and ioctl on a tty, exclusive through
// flock and TIOCEXCL. Blocking calls sleep in poll() beside an eventfd that
// another thread sets to end them.
class PosixDevice final : public SerialDevice {
 public:
  PosixDevice();
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

 private:
  int fd_ = -1;
};

}  // namespace serialdev
