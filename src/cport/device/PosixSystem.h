#pragma once

#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace serialdev {

// The system calls of the POSIX device layer, so that tests can put a
// scripted UART behind them. Each call returns what the system call returns
// (-1 with errno set on failure), except the speed calls, which return errno
// or 0.
class PosixSystem {
 public:
  virtual ~PosixSystem() = default;

  virtual int Open(const char* path, int flags) = 0;
  virtual int Close(int fd) = 0;
  // dup3 with O_CLOEXEC: puts `from` on the number `to`.
  virtual int Duplicate(int from, int to) = 0;
  virtual int Lock(int fd, int operation) = 0;  // flock
  virtual int Stat(int fd, struct stat& status) = 0;
  virtual int GetAttributes(int fd, termios& tio) = 0;
  virtual int SetAttributes(int fd, const termios& tio) = 0;               // tcsetattr TCSANOW
  virtual int Control(int fd, unsigned long request, void* argument) = 0;  // ioctl
  virtual int SetSpeed(int fd, uint32_t baud) = 0;                         // termios2, both directions
  virtual int GetSpeed(int fd, uint32_t& baud) = 0;
  virtual int Flush(int fd, int queue) = 0;  // tcflush
  virtual int Poll(pollfd* fds, nfds_t count, int timeoutMs) = 0;
  virtual ssize_t Read(int fd, void* buffer, size_t count) = 0;
  virtual ssize_t Write(int fd, const void* data, size_t count) = 0;
};

// The real calls.
std::shared_ptr<PosixSystem> LinuxSystem();

}  // namespace serialdev
