#include "PosixDevice.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace serialdev {

PosixDevice::PosixDevice() = default;
PosixDevice::~PosixDevice() { Close(); }

int PosixDevice::Open(const std::string& path) {
  if (fd_ >= 0) return EBUSY;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int code = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    return code;
  }
  fd_ = fd;
  return 0;
}

void PosixDevice::Close() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
}

bool PosixDevice::IsOpen() const { return fd_ >= 0; }
int PosixDevice::SetState(const ControlBlock&) { return fd_ < 0 ? EBADF : ENOSYS; }
int PosixDevice::SetTimeouts(const Timeouts&) { return fd_ < 0 ? EBADF : ENOSYS; }
int PosixDevice::SetQueueSizes(int, int) { return fd_ < 0 ? EBADF : ENOSYS; }
int PosixDevice::Write(const uint8_t*, size_t, size_t& written) { written = 0; return fd_ < 0 ? EBADF : ENOSYS; }
int PosixDevice::Read(uint8_t*, size_t, size_t& read) { read = 0; return fd_ < 0 ? EBADF : ENOSYS; }
int PosixDevice::Purge(uint32_t) { return fd_ < 0 ? EBADF : ENOSYS; }
int PosixDevice::SetRts(bool) { return fd_ < 0 ? EBADF : ENOSYS; }
int PosixDevice::GetModemStatus(uint32_t& bits) { bits = 0; return fd_ < 0 ? EBADF : ENOSYS; }
int PosixDevice::ClearErrors(uint32_t& f, uint32_t& q) { f = q = 0; return fd_ < 0 ? EBADF : ENOSYS; }
int PosixDevice::SetEventMask(uint32_t) { return fd_ < 0 ? EBADF : ENOSYS; }
int PosixDevice::WaitEvent(uint32_t& occurred) { occurred = 0; return fd_ < 0 ? EBADF : ENOSYS; }
void PosixDevice::BeginEventWaits() {}
void PosixDevice::StopEventWaits() {}
bool PosixDevice::Removed() const { return false; }

}  // namespace serialdev
