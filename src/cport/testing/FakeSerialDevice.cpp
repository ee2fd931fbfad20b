#include "FakeSerialDevice.h"

#include <cerrno>

serialdev::DeviceFactory FakeSerialDevice::Factory(std::shared_ptr<FakeLine> line) {
  return [line](const std::string&) { return std::make_unique<FakeSerialDevice>(line); };
}

int FakeSerialDevice::Open(const std::string& path) {
  if (open_) return EBUSY;
  const int rc = line_->Open(path);
  open_ = rc == 0;
  return rc;
}

void FakeSerialDevice::Close() {
  if (open_.exchange(false)) line_->Close();
}

int FakeSerialDevice::SetState(const serialdev::ControlBlock& dcb) { return open_ ? line_->SetState(dcb) : EBADF; }
int FakeSerialDevice::SetTimeouts(const serialdev::Timeouts& timeouts) {
  return open_ ? line_->SetTimeouts(timeouts) : EBADF;
}
int FakeSerialDevice::SetQueueSizes(int input, int output) {
  return open_ ? line_->SetQueueSizes(input, output) : EBADF;
}
int FakeSerialDevice::Write(const uint8_t* data, size_t count, size_t& written) {
  written = 0;
  return open_ ? line_->Write(data, count, written) : EBADF;
}
int FakeSerialDevice::Read(uint8_t* buffer, size_t count, size_t& read) {
  read = 0;
  return open_ ? line_->Read(buffer, count, read) : EBADF;
}
int FakeSerialDevice::Purge(uint32_t flags) { return open_ ? line_->Purge(flags) : EBADF; }
int FakeSerialDevice::SetRts(bool on) { return open_ ? line_->SetRts(on) : EBADF; }
int FakeSerialDevice::GetModemStatus(uint32_t& modemBits) { return open_ ? line_->GetModemStatus(modemBits) : EBADF; }
int FakeSerialDevice::ClearErrors(uint32_t& errorFlags, uint32_t& inputQueue) {
  return open_ ? line_->ClearErrors(errorFlags, inputQueue) : EBADF;
}
int FakeSerialDevice::SetEventMask(uint32_t mask) { return open_ ? line_->SetEventMask(mask) : EBADF; }
int FakeSerialDevice::WaitEvent(uint32_t& occurred) {
  occurred = 0;
  return open_ ? line_->WaitEvent(occurred) : EBADF;
}
void FakeSerialDevice::BeginEventWaits() { line_->BeginEventWaits(); }
void FakeSerialDevice::StopEventWaits() { line_->StopEventWaits(); }
bool FakeSerialDevice::Removed() const { return line_->Removed(); }
void FakeSerialDevice::ReleaseRemoved() {
  if (open_) line_->ReleaseRemoved();
}
