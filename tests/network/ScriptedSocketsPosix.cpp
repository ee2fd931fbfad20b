#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "ScriptedSockets.h"

namespace scripted {

const int kRefused = ECONNREFUSED;

namespace {

sockaddr_in Loopback() {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A socket bound to a free port of 127.0.0.1, whose address is returned.
Socket Bound(int type, sockaddr_in& address) {
  const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  address = Loopback();
  socklen_t length = sizeof address;
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    return fd;
  if (fd >= 0) ::close(fd);
  return kNoSocket;
}

}  // namespace

Socket Listen(uint16_t& port) {
  sockaddr_in address;
  const Socket s = Bound(SOCK_STREAM, address);
  if (s == kNoSocket || ::listen(static_cast<int>(s), 4) != 0) {
    Close(s);
    return kNoSocket;
  }
  port = ntohs(address.sin_port);
  return s;
}

Socket Accept(Socket listener) {
  const int fd = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
  return fd >= 0 ? fd : kNoSocket;
}

Socket Waker() {
  sockaddr_in address;
  const Socket s = Bound(SOCK_DGRAM, address);
  if (s != kNoSocket && ::connect(static_cast<int>(s), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    Close(s);
    return kNoSocket;
  }
  return s;
}

long Send(Socket s, const char* data, size_t size) {
  return static_cast<long>(::send(static_cast<int>(s), data, size, MSG_NOSIGNAL));
}

long Receive(Socket s, char* buffer, size_t size) {
  return static_cast<long>(::recv(static_cast<int>(s), buffer, size, 0));
}

void Close(Socket s) {
  if (s != kNoSocket) ::close(static_cast<int>(s));
}

void Wait(const std::vector<Socket>& sockets, std::vector<bool>& ready) {
  std::vector<pollfd> fds;
  for (Socket s : sockets) fds.push_back({static_cast<int>(s), POLLIN, 0});
  while (::poll(fds.data(), fds.size(), -1) < 0 && errno == EINTR) {
  }
  ready.assign(sockets.size(), false);
  for (size_t i = 0; i < fds.size(); ++i) ready[i] = fds[i].fd >= 0 && fds[i].revents != 0;
}

}  // namespace scripted
