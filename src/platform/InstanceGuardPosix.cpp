#include "InstanceGuard.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "RuntimeFolderPosix.h"

struct InstanceGuard::Native {
  int fd = -1;
};

InstanceGuard::InstanceGuard(const std::string& name) : native_(std::make_unique<Native>()) {
  const std::string folder = RuntimeFolder(name);
  if (folder.empty()) {
    return;
  }
  const std::string path = folder + '/' + name;
  // O_NONBLOCK keeps a FIFO or device planted under the name from blocking
  // the open; anything but a regular file is refused right after.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) {
    return;
  }
  struct stat info {};
  int locked = -1;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    do {
      locked = flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
  }
  if (locked != 0) {
    close(fd);
    return;
  }
  native_->fd = fd;
  held_ = true;
}

InstanceGuard::~InstanceGuard() { Release(); }

void InstanceGuard::Release() {
  if (native_->fd >= 0) {
    close(native_->fd);
    native_->fd = -1;
  }
  held_ = false;
}
