#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <vector>

#include "Deadlines.h"
#include "SocketChannel.h"

namespace serialdev {

const int SocketCodes::kTimedOut = ETIMEDOUT;
const int SocketCodes::kInvalid = EINVAL;
const int SocketCodes::kBadHandle = EBADF;
const int SocketCodes::kCancelled = ECANCELED;
const int SocketCodes::kNoProtocol = EPROTONOSUPPORT;
const int SocketCodes::kBusy = EBUSY;
const int SocketCodes::kReset = ECONNRESET;
const int SocketCodes::kNoSuchHost = ENOENT;

namespace {

using Clock = std::chrono::steady_clock;

int Seconds(int milliseconds) { return std::max(1, (milliseconds + 999) / 1000); }

// poll() that a signal does not restart from the full time-out.
int PollUntil(std::vector<pollfd>& fds, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  int left = timeoutMs;
  while (::poll(fds.data(), fds.size(), left) < 0) {
    if (errno != EINTR) return errno;
    if (timeoutMs >= 0) left = MillisecondsUntil(deadline);
  }
  return 0;
}

int ConnectOne(const addrinfo& address, Clock::time_point deadline, int& fd) {
  fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, address.ai_protocol);
  if (fd < 0) return errno;
  int code = 0;
  if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
    code = errno;
    if (code == EINPROGRESS) {
      std::vector<pollfd> fds{{fd, POLLOUT, 0}};
      code = PollUntil(fds, MillisecondsUntil(deadline));
      if (code == 0 && fds[0].revents == 0) code = ETIMEDOUT;
      socklen_t length = sizeof code;
      if (code == 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &length) != 0) code = errno;
    }
  }
  if (code != 0) {
    ::close(fd);
    fd = -1;
  }
  return code;
}

}  // namespace

SocketSignal::SocketSignal() : native_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (native_ < 0) error_ = errno;
}

SocketSignal::~SocketSignal() {
  if (native_ >= 0) ::close(static_cast<int>(native_));
}

void SocketSignal::Set() {
  const uint64_t one = 1;
  // A full counter (EAGAIN) is still set, which is all that matters.
  [[maybe_unused]] const ssize_t n = ::write(static_cast<int>(native_), &one, sizeof one);
}

void SocketSignal::Clear() {
  uint64_t value = 0;
  [[maybe_unused]] const ssize_t n = ::read(static_cast<int>(native_), &value, sizeof value);
}

bool SocketSignal::IsSet() const {
  pollfd p{static_cast<int>(native_), POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}

SocketChannel::SocketChannel() : socket_(-1) {}

SocketChannel::~SocketChannel() { Close(); }

int SocketChannel::Connect(const std::string& host, uint16_t port, int timeoutMs, const SilenceLimits& silence) {
  if (socket_ >= 0) return EBUSY;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
    return rc == EAI_SYSTEM ? errno : rc == EAI_AGAIN ? EAGAIN : ENOENT;
  }
  int code = ENOENT;
  int fd = -1;
  for (const addrinfo* address = found; address && fd < 0; address = address->ai_next) {
    code = ConnectOne(*address, deadline, fd);
    if (Clock::now() >= deadline) break;
  }
  ::freeaddrinfo(found);
  if (fd < 0) return code;
  const int on = 1;
  const int idle = Seconds(silence.keepIdleMs), interval = Seconds(silence.keepIntervalMs);
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &silence.keepProbes, sizeof silence.keepProbes);
  // Unacknowledged data would otherwise be retransmitted for about 15
  // minutes, with no probes meanwhile. It also takes the place of the probe
  // count: the probes end the connection once this long has passed without a
  // word from the server.
  const unsigned unacknowledged = static_cast<unsigned>(silence.unacknowledgedMs);
  ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledged, sizeof unacknowledged);
  socket_ = fd;
  return 0;
}

void SocketChannel::Close() {
  if (socket_ < 0) return;
  ::close(static_cast<int>(socket_));
  socket_ = -1;
}

bool SocketChannel::IsOpen() const { return socket_ >= 0; }

int SocketChannel::Send(const uint8_t* data, size_t size, size_t& sent) {
  sent = 0;
  if (socket_ < 0) return EBADF;
  while (sent < size) {
    const ssize_t n = ::send(static_cast<int>(socket_), data + sent, size - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return n < 0 && errno != EAGAIN ? errno : 0;
    }
  }
  return 0;
}

int SocketChannel::Receive(uint8_t* buffer, size_t size, size_t& got, bool& ended) {
  got = 0;
  ended = false;
  if (socket_ < 0) return EBADF;
  while (true) {
    const ssize_t n = ::recv(static_cast<int>(socket_), buffer, size, 0);
    if (n > 0) {
      got = static_cast<size_t>(n);
      // Acknowledged at once: a server that holds small writes back until
      // the last is acknowledged (Nagle) would otherwise wait for the
      // delayed acknowledgement. The system leaves quick mode by itself.
      const int on = 1;
      ::setsockopt(static_cast<int>(socket_), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
      return 0;
    }
    if (n == 0) {
      ended = true;
      return 0;
    }
    if (errno == EINTR) continue;
    return errno == EAGAIN ? 0 : errno;
  }
}

int SocketChannel::Wait(bool writable, std::initializer_list<const SocketSignal*> wakers, int timeoutMs) {
  std::vector<pollfd> fds;
  if (socket_ >= 0) fds.push_back({static_cast<int>(socket_), static_cast<short>(POLLIN | (writable ? POLLOUT : 0)), 0});
  for (const SocketSignal* waker : wakers) fds.push_back({static_cast<int>(waker->Native()), POLLIN, 0});
  return PollUntil(fds, timeoutMs);
}

}  // namespace serialdev
