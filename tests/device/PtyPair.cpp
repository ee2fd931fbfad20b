#include "PtyPair.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <ctime>
#include <stdexcept>

PtyPair::PtyPair() {
  termios raw{};
  cfmakeraw(&raw);
  if (openpty(&master_, &slave_, nullptr, &raw, nullptr) != 0) throw std::runtime_error("openpty failed");
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  slavePath_ = ttyname(slave_);
}

PtyPair::~PtyPair() {
  ClosePeer();
  if (slave_ >= 0) close(slave_);
}

void PtyPair::PeerWrite(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else {
      pollfd p{master_, POLLOUT, 0};
      if (poll(&p, 1, 2000) != 1) throw std::runtime_error("peer cannot write");
    }
  }
}

std::vector<uint8_t> PtyPair::PeerRead(size_t count, std::chrono::milliseconds limit) {
  std::vector<uint8_t> got;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  uint8_t chunk[4096];
  while (got.size() < count) {
    const ssize_t n = read(master_, chunk, std::min(sizeof chunk, count - got.size()));
    if (n > 0) {
      got.insert(got.end(), chunk, chunk + n);
      continue;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{master_, POLLIN, 0};
    poll(&p, 1, static_cast<int>(left.count()));
  }
  return got;
}

bool PtyPair::WaitSlaveReadable(std::chrono::milliseconds limit) {
  pollfd p{slave_, POLLIN, 0};
  return poll(&p, 1, static_cast<int>(limit.count())) == 1;
}

void PtyPair::ClosePeer() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

int OpenDescriptorCount() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count - 1;
}

int DescriptorsOnDeviceOf(int fd) {
  struct stat device {};
  if (fstat(fd, &device) != 0) return -1;
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* entry = readdir(dir)) {
    struct stat other {};
    if (entry->d_name[0] != '.' && fstatat(dirfd(dir), entry->d_name, &other, 0) == 0 && S_ISCHR(other.st_mode) &&
        other.st_rdev == device.st_rdev)
      ++count;
  }
  closedir(dir);
  return count;
}

std::chrono::nanoseconds ProcessCpuTime() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}
