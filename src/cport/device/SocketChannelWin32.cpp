// Before windows.h, whose macros share names with the device interface's constants.
#include "Deadlines.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <vector>

#include "SocketChannel.h"

namespace serialdev {

const int SocketCodes::kTimedOut = WSAETIMEDOUT;
const int SocketCodes::kInvalid = ERROR_INVALID_PARAMETER;
const int SocketCodes::kBadHandle = ERROR_INVALID_HANDLE;
const int SocketCodes::kCancelled = ERROR_OPERATION_ABORTED;
const int SocketCodes::kNoProtocol = WSAEPROTONOSUPPORT;
const int SocketCodes::kBusy = ERROR_BUSY;
const int SocketCodes::kReset = WSAECONNRESET;
const int SocketCodes::kNoSuchHost = WSAHOST_NOT_FOUND;

namespace {

using Clock = std::chrono::steady_clock;

// Socket options of Windows 10 that mingw-w64's headers lack.
constexpr int kTcpMaxRetransmitSeconds = 5;  // TCP_MAXRT
constexpr int kTcpKeepCount = 16;            // TCP_KEEPCNT

// Winsock is started once for the program and stays up.
int StartWinsock() {
  static const int code = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return code;
}

int ConnectOne(const addrinfo& address, Clock::time_point deadline, SOCKET& s) {
  s = ::socket(address.ai_family, address.ai_socktype, address.ai_protocol);
  if (s == INVALID_SOCKET) return ::WSAGetLastError();
  u_long nonBlocking = 1;
  int code = 0;
  if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    code = ::WSAGetLastError();
  } else if (::connect(s, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
    code = ::WSAGetLastError();
    if (code == WSAEWOULDBLOCK) {
      WSAPOLLFD p{s, POLLOUT, 0};
      const int n = ::WSAPoll(&p, 1, MillisecondsUntil(deadline));
      if (n < 0) {
        code = ::WSAGetLastError();
      } else if (n == 0) {
        code = WSAETIMEDOUT;
      } else {
        int error = 0;
        int length = sizeof error;
        code = ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0
                   ? error
                   : ::WSAGetLastError();
        if (code == 0 && (p.revents & (POLLERR | POLLHUP))) code = WSAECONNREFUSED;
      }
    }
  }
  if (code != 0) {
    ::closesocket(s);
    s = INVALID_SOCKET;
  }
  return code;
}

}  // namespace

SocketSignal::SocketSignal() {
  const HANDLE event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!event) error_ = static_cast<int>(::GetLastError());
  native_ = reinterpret_cast<intptr_t>(event);
}

SocketSignal::~SocketSignal() {
  if (native_) ::CloseHandle(reinterpret_cast<HANDLE>(native_));
}

void SocketSignal::Set() { ::SetEvent(reinterpret_cast<HANDLE>(native_)); }

void SocketSignal::Clear() { ::ResetEvent(reinterpret_cast<HANDLE>(native_)); }

bool SocketSignal::IsSet() const { return ::WaitForSingleObject(reinterpret_cast<HANDLE>(native_), 0) == WAIT_OBJECT_0; }

SocketChannel::SocketChannel() : socket_(static_cast<intptr_t>(INVALID_SOCKET)) {}

SocketChannel::~SocketChannel() { Close(); }

int SocketChannel::Connect(const std::string& host, uint16_t port, int timeoutMs, const SilenceLimits& silence) {
  if (IsOpen()) return ERROR_BUSY;
  if (const int code = StartWinsock(); code != 0) return code;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) return rc;
  int code = WSAHOST_NOT_FOUND;
  SOCKET s = INVALID_SOCKET;
  for (const addrinfo* address = found; address && s == INVALID_SOCKET; address = address->ai_next) {
    code = ConnectOne(*address, deadline, s);
    if (Clock::now() >= deadline) break;
  }
  ::freeaddrinfo(found);
  if (s == INVALID_SOCKET) return code;
  const BOOL on = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  tcp_keepalive keepAlive{1, static_cast<ULONG>(silence.keepIdleMs), static_cast<ULONG>(silence.keepIntervalMs)};
  DWORD returned = 0;
  ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &keepAlive, sizeof keepAlive, nullptr, 0, &returned, nullptr, nullptr);
  // Systems before Windows 10 1703 refuse the count and send 10 probes.
  const DWORD probes = static_cast<DWORD>(silence.keepProbes);
  ::setsockopt(s, IPPROTO_TCP, kTcpKeepCount, reinterpret_cast<const char*>(&probes), sizeof probes);
  // Unacknowledged data would otherwise be retransmitted for minutes, with no
  // probes meanwhile.
  const DWORD retransmitSeconds = static_cast<DWORD>((silence.unacknowledgedMs + 999) / 1000);
  ::setsockopt(s, IPPROTO_TCP, kTcpMaxRetransmitSeconds, reinterpret_cast<const char*>(&retransmitSeconds),
               sizeof retransmitSeconds);
  // Every segment acknowledged at once: a server that holds small writes
  // back until the last is acknowledged (Nagle) would otherwise wait for the
  // delayed acknowledgement. Systems before Windows 8 refuse it and delay.
  TCP_ACK_FREQUENCY_PARAMETERS everySegment{1};
  ::WSAIoctl(s, SIO_TCP_SET_ACK_FREQUENCY, &everySegment, sizeof everySegment, nullptr, 0, &returned, nullptr,
             nullptr);
  const WSAEVENT event = ::WSACreateEvent();
  if (event == WSA_INVALID_EVENT || ::WSAEventSelect(s, event, FD_READ | FD_WRITE | FD_CLOSE) != 0) {
    code = ::WSAGetLastError();
    if (event != WSA_INVALID_EVENT) ::WSACloseEvent(event);
    ::closesocket(s);
    return code;
  }
  socket_ = static_cast<intptr_t>(s);
  event_ = reinterpret_cast<intptr_t>(event);
  return 0;
}

void SocketChannel::Close() {
  if (!IsOpen()) return;
  ::closesocket(static_cast<SOCKET>(socket_));
  ::WSACloseEvent(reinterpret_cast<WSAEVENT>(event_));
  socket_ = static_cast<intptr_t>(INVALID_SOCKET);
  event_ = 0;
}

bool SocketChannel::IsOpen() const { return static_cast<SOCKET>(socket_) != INVALID_SOCKET; }

int SocketChannel::Send(const uint8_t* data, size_t size, size_t& sent) {
  sent = 0;
  if (!IsOpen()) return ERROR_INVALID_HANDLE;
  while (sent < size) {
    const int chunk = static_cast<int>(std::min<size_t>(size - sent, 1 << 20));
    const int n = ::send(static_cast<SOCKET>(socket_), reinterpret_cast<const char*>(data + sent), chunk, 0);
    if (n == SOCKET_ERROR) {
      const int code = ::WSAGetLastError();
      return code == WSAEWOULDBLOCK ? 0 : code;
    }
    sent += static_cast<size_t>(n);
  }
  return 0;
}

int SocketChannel::Receive(uint8_t* buffer, size_t size, size_t& got, bool& ended) {
  got = 0;
  ended = false;
  if (!IsOpen()) return ERROR_INVALID_HANDLE;
  const int n = ::recv(static_cast<SOCKET>(socket_), reinterpret_cast<char*>(buffer),
                       static_cast<int>(std::min<size_t>(size, 1 << 20)), 0);
  if (n > 0) {
    got = static_cast<size_t>(n);
    return 0;
  }
  if (n == 0) {
    ended = true;
    return 0;
  }
  const int code = ::WSAGetLastError();
  return code == WSAEWOULDBLOCK ? 0 : code;
}

// The socket's event is reset first and the socket then asked directly:
// Winsock sets the event only once per notice until the next receive or
// send, so a reset without the question could sleep through data that
// another thread's reset had hidden.
int SocketChannel::Wait(bool writable, std::initializer_list<const SocketSignal*> wakers, int timeoutMs) {
  std::vector<HANDLE> handles;
  for (const SocketSignal* waker : wakers) handles.push_back(reinterpret_cast<HANDLE>(waker->Native()));
  if (IsOpen()) {
    const HANDLE event = reinterpret_cast<HANDLE>(event_);
    ::ResetEvent(event);
    WSAPOLLFD p{static_cast<SOCKET>(socket_), static_cast<SHORT>(POLLRDNORM | (writable ? POLLWRNORM : 0)), 0};
    if (::WSAPoll(&p, 1, 0) > 0) return 0;
    handles.push_back(event);
  }
  if (handles.empty()) {
    ::Sleep(timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    return 0;
  }
  const DWORD rc = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                                            timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
  return rc == WAIT_FAILED ? static_cast<int>(::GetLastError()) : 0;
}

}  // namespace serialdev
