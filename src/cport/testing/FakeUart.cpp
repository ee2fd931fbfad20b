#include "FakeUart.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace {

// Device number of /dev/ttyS0, so that the device takes it for a real port.
constexpr unsigned kTtyMajor = 4;
constexpr unsigned kTtyS0Minor = 64;

}  // namespace

FakeUart::FakeUart() = default;

FakeUart::~FakeUart() {
  if (fd_ >= 0) ::close(fd_);
}

void FakeUart::Receive(const std::string& bytes) {
  std::lock_guard lock(mutex_);
  for (char c : bytes) Queue(static_cast<uint8_t>(c));
}

void FakeUart::ReceiveWithParityError(uint8_t byte) {
  std::lock_guard lock(mutex_);
  ++parity_;
  Queue((tio_.c_iflag & INPCK) ? 0 : byte);
}

void FakeUart::ReceiveWithFramingError() {
  std::lock_guard lock(mutex_);
  ++frame_;
  Queue(0);
}

void FakeUart::Overrun(const std::string& kept) {
  std::lock_guard lock(mutex_);
  ++overrun_;
  for (char c : kept) Queue(static_cast<uint8_t>(c));
}

void FakeUart::ReceiveBreak() {
  std::lock_guard lock(mutex_);
  ++brk_;
  Queue(0);
}

void FakeUart::SetInputLines(int bits) {
  std::lock_guard lock(mutex_);
  inputLines_ = bits & (TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RNG);
}

void FakeUart::SetByteTime(std::chrono::milliseconds time) {
  std::lock_guard lock(mutex_);
  byteTime_ = time;
}

void FakeUart::RoundSpeeds(std::function<uint32_t(uint32_t)> round) {
  std::lock_guard lock(mutex_);
  round_ = std::move(round);
}

void FakeUart::RefuseSerialInfo(int code) {
  std::lock_guard lock(mutex_);
  serialRefusal_ = code;
}

void FakeUart::InterruptPolls(int count, std::chrono::milliseconds after) {
  std::lock_guard lock(mutex_);
  interrupts_ = count;
  interruptAfter_ = after;
}

std::string FakeUart::Sent() const {
  std::lock_guard lock(mutex_);
  return sent_;
}

bool FakeUart::LowLatency() const {
  std::lock_guard lock(mutex_);
  return (serialFlags_ & ASYNC_LOW_LATENCY) != 0;
}

size_t FakeUart::OutputFlushes() const {
  std::lock_guard lock(mutex_);
  return outputFlushes_;
}

std::vector<int> FakeUart::PollTimeouts() const {
  std::lock_guard lock(mutex_);
  return pollTimeouts_;
}

void FakeUart::Queue(uint8_t byte) {
  rx_.push_back(byte);
  UpdateReadable();
}

void FakeUart::UpdateReadable() {
  if (fd_ < 0) return;
  uint64_t value = 0;
  if (rx_.empty()) {
    [[maybe_unused]] const ssize_t n = ::read(fd_, &value, sizeof value);
  } else {
    value = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd_, &value, sizeof value);
  }
}

int FakeUart::Unsent(Clock::time_point now) const {
  // A byte has begun to leave once the one before it has left.
  int unsent = 0;
  for (size_t i = 0; i < txEnds_.size(); ++i) {
    if (txEnds_[i] - byteTime_ > now) ++unsent;
  }
  return unsent;
}

int FakeUart::Open(const char* path, int flags) {
  if (std::strcmp(path, "/dev/null") == 0) return ::open(path, flags);
  std::lock_guard lock(mutex_);
  if (fd_ >= 0) {
    errno = EBUSY;
    return -1;
  }
  fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  UpdateReadable();
  return fd_;
}

int FakeUart::Close(int fd) {
  std::lock_guard lock(mutex_);
  if (fd == fd_) fd_ = -1;
  return ::close(fd);
}

int FakeUart::Duplicate(int from, int to) { return ::dup3(from, to, O_CLOEXEC); }

int FakeUart::Lock(int, int) { return 0; }

int FakeUart::Stat(int, struct stat& status) {
  status = {};
  status.st_mode = S_IFCHR | 0660;
  status.st_rdev = makedev(kTtyMajor, kTtyS0Minor);
  return 0;
}

int FakeUart::GetAttributes(int, termios& tio) {
  std::lock_guard lock(mutex_);
  tio = tio_;
  return 0;
}

int FakeUart::SetAttributes(int, const termios& tio) {
  std::lock_guard lock(mutex_);
  tio_ = tio;
  return 0;
}

int FakeUart::Control(int, unsigned long request, void* argument) {
  std::lock_guard lock(mutex_);
  const auto now = Clock::now();
  auto* value = static_cast<int*>(argument);
  switch (request) {
    case TIOCEXCL:
    case TIOCNXCL: return 0;
    case TIOCMGET: *value = outputLines_ | inputLines_; return 0;
    case TIOCMSET: outputLines_ = *value & (TIOCM_DTR | TIOCM_RTS); return 0;
    case TIOCMBIS: outputLines_ |= *value & (TIOCM_DTR | TIOCM_RTS); return 0;
    case TIOCMBIC: outputLines_ &= ~*value; return 0;
    case TIOCGICOUNT: {
      serial_icounter_struct counters{};
      counters.frame = frame_;
      counters.parity = parity_;
      counters.overrun = overrun_;
      counters.brk = brk_;
      *static_cast<serial_icounter_struct*>(argument) = counters;
      return 0;
    }
    case TIOCSERGETLSR: *value = (txEnds_.empty() || txEnds_.back() <= now) ? TIOCSER_TEMT : 0; return 0;
    case TIOCOUTQ: *value = Unsent(now); return 0;
    case TIOCINQ: *value = static_cast<int>(rx_.size()); return 0;
    case TIOCGSERIAL:
    case TIOCSSERIAL: {
      if (serialRefusal_ != 0) {
        errno = serialRefusal_;
        return -1;
      }
      auto* serial = static_cast<serial_struct*>(argument);
      if (request == TIOCGSERIAL) {
        *serial = {};
        serial->flags = serialFlags_;
      } else {
        serialFlags_ = serial->flags;
      }
      return 0;
    }
    default: errno = ENOTTY; return -1;
  }
}

int FakeUart::SetSpeed(int, uint32_t baud) {
  std::lock_guard lock(mutex_);
  speed_ = round_ ? round_(baud) : baud;
  return 0;
}

int FakeUart::GetSpeed(int, uint32_t& baud) {
  std::lock_guard lock(mutex_);
  baud = speed_;
  return 0;
}

int FakeUart::Flush(int, int queue) {
  std::lock_guard lock(mutex_);
  if (queue == TCOFLUSH || queue == TCIOFLUSH) {
    // The byte in the shift register still goes; the rest is dropped.
    const auto now = Clock::now();
    const int unsent = Unsent(now);
    sent_.erase(sent_.size() - static_cast<size_t>(unsent));
    txEnds_.resize(txEnds_.size() - static_cast<size_t>(unsent));
    ++outputFlushes_;
  }
  if (queue == TCIFLUSH || queue == TCIOFLUSH) {
    rx_.clear();
    UpdateReadable();
  }
  return 0;
}

int FakeUart::Poll(pollfd* fds, nfds_t count, int timeoutMs) {
  std::chrono::milliseconds sleep{0};
  {
    std::lock_guard lock(mutex_);
    if (std::any_of(fds, fds + count, [this](const pollfd& p) { return p.fd == fd_; }))
      pollTimeouts_.push_back(timeoutMs);
    if (interrupts_ > 0) {
      --interrupts_;
      sleep = timeoutMs < 0 ? interruptAfter_ : std::min(interruptAfter_, std::chrono::milliseconds(timeoutMs));
      count = 0;
    }
  }
  if (count == 0) {
    std::this_thread::sleep_for(sleep);
    errno = EINTR;
    return -1;
  }
  return ::poll(fds, count, timeoutMs);
}

ssize_t FakeUart::Read(int fd, void* buffer, size_t count) {
  std::lock_guard lock(mutex_);
  if (fd != fd_) return ::read(fd, buffer, count);
  if (rx_.empty()) {
    errno = EAGAIN;
    return -1;
  }
  const size_t n = std::min(count, rx_.size());
  std::copy_n(rx_.begin(), n, static_cast<uint8_t*>(buffer));
  rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(n));
  UpdateReadable();
  return static_cast<ssize_t>(n);
}

ssize_t FakeUart::Write(int fd, const void* data, size_t count) {
  std::lock_guard lock(mutex_);
  if (fd != fd_) return ::write(fd, data, count);
  const auto now = Clock::now();
  auto end = std::max(now, txEnds_.empty() ? now : txEnds_.back());
  for (size_t i = 0; i < count; ++i) {
    end += byteTime_;
    txEnds_.push_back(end);
  }
  sent_.append(static_cast<const char*>(data), count);
  return static_cast<ssize_t>(count);
}
