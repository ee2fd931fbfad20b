#include "Line.h"

#include "LineSpeed.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace vreader {

namespace {

speed_t speedFor(int baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
  }
  throw Failure("unsupported speed " + std::to_string(baud));
}

void makeRaw(int fd, int baud, const std::string& path) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) throw Failure(path + " is not a serial line: " + std::strerror(errno));
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cflag &= ~(CRTSCTS | CSTOPB | PARENB);
  t.c_iflag &= ~(IXON | IXOFF);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, speedFor(baud));
  cfsetospeed(&t, speedFor(baud));
  if (tcsetattr(fd, TCSANOW, &t) != 0) throw Failure("cannot set up " + path + ": " + std::strerror(errno));
}

}  // namespace

Line::Line(std::string device, int baud, std::string link)
    : device_(std::move(device)), baud_(baud), link_(std::move(link)) {}

Line::~Line() { close(); }

void Line::open() {
  close();
  if (isPty()) {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
      throw Failure(std::string("cannot create a pseudo-terminal: ") + std::strerror(errno));
    fd_ = master;
    // Kept open so that the line stays up between the peer's sessions.
    slave_ = slave;
    const char* name = ttyname(slave);
    path_ = name ? name : "";
    try {
      if (!name) throw Failure(std::string("cannot name the pseudo-terminal: ") + std::strerror(errno));
      makeRaw(slave_, baud_, path_);
    } catch (...) {
      close();
      throw;
    }
  } else {
    int fd = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw Failure("cannot open " + device_ + ": " + std::strerror(errno));
    fd_ = fd;
    path_ = device_;
    try {
      if (flock(fd_, LOCK_EX | LOCK_NB) != 0)
        throw Failure("cannot open " + device_ + ": it is in use by another program");
      makeRaw(fd_, baud_, path_);
    } catch (...) {
      close();
      throw;
    }
  }
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  fcntl(fd_, F_SETFD, FD_CLOEXEC);
  if (slave_ >= 0) fcntl(slave_, F_SETFD, FD_CLOEXEC);
  updateLink();
}

// The link is replaced in one step: whoever follows it never finds it missing.
void Line::updateLink() {
  if (link_.empty()) return;
  struct stat st {};
  if (lstat(link_.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
    throw Failure("cannot link " + link_ + ": it exists and is not a symbolic link");
  const std::string made = link_ + ".new";
  unlink(made.c_str());
  if (symlink(path_.c_str(), made.c_str()) != 0 || rename(made.c_str(), link_.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    unlink(made.c_str());
    throw Failure("cannot link " + link_ + ": " + reason);
  }
}

void Line::close() {
  if (fd_ >= 0) ::close(fd_);
  if (slave_ >= 0) ::close(slave_);
  fd_ = slave_ = -1;
  out_.clear();
  // A closed line has no name, as a USB adapter's stable name goes with the
  // adapter: a peer that keeps opening the name never meets the next user
  // of the pseudo-terminal's number.
  if (!link_.empty()) {
    struct stat st {};
    if (lstat(link_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) unlink(link_.c_str());
  }
}

void Line::queue(const Bytes& bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }

Bytes Line::flush() {
  Bytes chunk(out_.begin(), out_.end());
  ssize_t n = ::write(fd_, chunk.data(), chunk.size());
  if (n < 0) {
    if (errno == EAGAIN || errno == EINTR) return {};
    throw Failure("cannot write to " + path_ + ": " + std::strerror(errno));
  }
  chunk.resize(std::size_t(n));
  out_.erase(out_.begin(), out_.begin() + n);
  return chunk;
}

Bytes Line::read() {
  Bytes buffer(4096);
  ssize_t n = ::read(fd_, buffer.data(), buffer.size());
  if (n > 0) {
    buffer.resize(std::size_t(n));
    return buffer;
  }
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return {};
  std::string why = n == 0 ? "the line hung up" : std::strerror(errno);
  close();
  throw Failure(path_ + ": " + why);
}

int Line::unread() const {
  int count = 0;
  if (slave_ < 0 || ioctl(slave_, FIONREAD, &count) != 0) return 0;
  return count;
}

unsigned Line::speed() const { return slave_ >= 0 ? lineSpeed(slave_) : unsigned(baud_); }

}  // namespace vreader
