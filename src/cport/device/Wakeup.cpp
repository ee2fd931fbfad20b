#include "Wakeup.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace serialdev {

Wakeup::Wakeup() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) error_ = errno;
}

Wakeup::~Wakeup() {
  if (fd_ >= 0) ::close(fd_);
}

void Wakeup::Set() {
  const uint64_t one = 1;
  // A full counter (EAGAIN) is still set, which is all that matters.
  [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

void Wakeup::Clear() {
  uint64_t value = 0;
  [[maybe_unused]] const ssize_t n = ::read(fd_, &value, sizeof value);
}

bool Wakeup::IsSet() const {
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

}  // namespace serialdev
