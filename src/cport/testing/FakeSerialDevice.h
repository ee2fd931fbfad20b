#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "FakeLine.h"
#include "SerialDevice.h"

// A serial device whose other side is a FakeLine the test holds.
class FakeSerialDevice final : public serialdev::SerialDevice {
 public:
  explicit FakeSerialDevice(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {}
  ~FakeSerialDevice() override { Close(); }

  // A factory for TCustomComPort::SetDeviceFactory: every open gets a new
  // device on the same line.
  static serialdev::DeviceFactory Factory(std::shared_ptr<FakeLine> line);

  int Open(const std::string& path) override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  int SetState(const serialdev::ControlBlock& dcb) override;
  int SetTimeouts(const serialdev::Timeouts& timeouts) override;
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
  std::shared_ptr<FakeLine> line_;
  std::atomic<bool> open_ = false;
};
