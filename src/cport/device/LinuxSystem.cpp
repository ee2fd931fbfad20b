#include "PosixSystem.h"
#include "Termios2.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace serialdev {

namespace {

class Linux final : public PosixSystem {
 public:
  int Open(const char* path, int flags) override { return ::open(path, flags); }
  int Close(int fd) override { return ::close(fd); }
  int Duplicate(int from, int to) override { return ::dup3(from, to, O_CLOEXEC); }
  int Lock(int fd, int operation) override { return ::flock(fd, operation); }
  int Stat(int fd, struct stat& status) override { return ::fstat(fd, &status); }
  int GetAttributes(int fd, termios& tio) override { return ::tcgetattr(fd, &tio); }
  int SetAttributes(int fd, const termios& tio) override { return ::tcsetattr(fd, TCSANOW, &tio); }
  int Control(int fd, unsigned long request, void* argument) override { return ::ioctl(fd, request, argument); }
  int SetSpeed(int fd, uint32_t baud) override { return termios2::SetSpeed(fd, baud); }
  int GetSpeed(int fd, uint32_t& baud) override { return termios2::GetSpeed(fd, baud); }
  int Flush(int fd, int queue) override { return ::tcflush(fd, queue); }
  int Poll(pollfd* fds, nfds_t count, int timeoutMs) override { return ::poll(fds, count, timeoutMs); }
  ssize_t Read(int fd, void* buffer, size_t count) override { return ::read(fd, buffer, count); }
  ssize_t Write(int fd, const void* data, size_t count) override { return ::write(fd, data, count); }
};

}  // namespace

std::shared_ptr<PosixSystem> LinuxSystem() {
  static const auto system = std::make_shared<Linux>();
  return system;
}

}  // namespace serialdev
