#pragma once

#include "SerialDevice.h"

#include <windows.h>

#include <atomic>
#include <mutex>

namespace serialdev {

// The serial device on Windows: a plain wrap of kernel32's communications
// calls on a handle opened for overlapped I/O. Waiting calls wait for their
// overlapped result; the event wait also wakes on a stop event.
//
// EV_TXEMPTY is asked of the driver only while a write has left bytes to
// report on, so that a driver which signals it whenever nothing is being
// sent (Wine's) cannot wake the event thread again and again.
//
// A removed device (a USB adapter unplugged) fails its pending calls with an
// error other than a purge's abort, and then fails ClearCommError or
// GetCommModemStatus too; that tells it apart from CancelTransfers, which
// ends pending transfers with ERROR_OPERATION_ABORTED on a sound device.
class Win32Device final : public SerialDevice {
 public:
  Win32Device();
  ~Win32Device() override;
  Win32Device(const Win32Device&) = delete;
  Win32Device& operator=(const Win32Device&) = delete;

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
  void ReleaseRemoved() override;

 private:
  // Runs one overlapped call and waits for its result; the system code.
  template <typename Start>
  int Overlapped(Start start, DWORD& moved);
  // The code of a failed call; records a removal when the device has gone.
  int Fail(DWORD code);
  int ApplyMask();

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool released_ = false;  // the handle of a removed device closed early
  HANDLE stop_ = nullptr;
  int setupError_ = 0;

  std::atomic<bool> removed_{false};
  std::atomic<int> removalCode_{0};
  std::atomic<uint32_t> mask_{0};
  std::atomic<bool> txReport_{false};
  std::mutex maskMutex_;

  // The event wait's record, kept by the device so that a wait which a
  // cancel did not end can stay pending. Event thread only.
  OVERLAPPED wait_{};
  DWORD waitEvents_ = 0;
  bool waitPending_ = false;
};

}  // namespace serialdev
