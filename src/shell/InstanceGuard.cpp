#include "InstanceGuard.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The fallback folder lies in world-writable /tmp: only a real directory that
// belongs to this user and that no one else can enter is accepted.
bool MakePrivateFolder(const QByteArray& path) {
  if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
    return false;
  }
  struct stat info {};
  if (lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
    return false;
  }
  return (info.st_mode & 077) == 0 || chmod(path.constData(), 0700) == 0;
}

}  // namespace

QString InstanceGuard::RuntimeFolder(const QString& name) {
  // A runtime folder that is not there yet is made, as the toolkit makes it,
  // so that every copy settles on the same folder whichever starts first; one
  // that cannot be had would refuse every start as if another copy ran.
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (runtime.startsWith(u'/')) {
    const QByteArray path = QFile::encodeName(runtime);
    mkdir(path.constData(), 0700);
    struct stat info {};
    if (stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode)) {
      return runtime;
    }
  }
  const QString fallback = QStringLiteral("/tmp/%1-%2").arg(name).arg(getuid());
  return MakePrivateFolder(QFile::encodeName(fallback)) ? fallback : QString();
}

InstanceGuard::InstanceGuard(const QString& name) {
  const QString folder = RuntimeFolder(name);
  if (folder.isEmpty()) {
    return;
  }
  const QByteArray path = QFile::encodeName(folder + u'/' + name);
  // O_NONBLOCK keeps a FIFO or device planted under the name from blocking
  // the open; anything but a regular file is refused right after.
  const int fd = open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
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
  fd_ = fd;
}

InstanceGuard::~InstanceGuard() { Release(); }

void InstanceGuard::Release() {
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
}
