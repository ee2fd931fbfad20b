#include <winsock2.h>
#include <ws2tcpip.h>

#include "ScriptedSockets.h"

namespace scripted {

const int kRefused = WSAECONNREFUSED;

namespace {

// Winsock, started once for the program.
bool Started() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

SOCKET Native(Socket s) { return static_cast<SOCKET>(s); }

// A socket bound to a free port of 127.0.0.1, whose address is returned.
Socket Bound(int type, sockaddr_in& address) {
  if (!Started()) return kNoSocket;
  const SOCKET s = ::socket(AF_INET, type, 0);
  address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (s != INVALID_SOCKET && ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    return static_cast<Socket>(s);
  if (s != INVALID_SOCKET) ::closesocket(s);
  return kNoSocket;
}

}  // namespace

Socket Listen(uint16_t& port) {
  sockaddr_in address;
  const Socket s = Bound(SOCK_STREAM, address);
  if (s == kNoSocket || ::listen(Native(s), 4) != 0) {
    Close(s);
    return kNoSocket;
  }
  port = ntohs(address.sin_port);
  return s;
}

Socket Accept(Socket listener) {
  const SOCKET s = ::accept(Native(listener), nullptr, nullptr);
  return s != INVALID_SOCKET ? static_cast<Socket>(s) : kNoSocket;
}

Socket Waker() {
  sockaddr_in address;
  const Socket s = Bound(SOCK_DGRAM, address);
  if (s != kNoSocket && ::connect(Native(s), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    Close(s);
    return kNoSocket;
  }
  return s;
}

long Send(Socket s, const char* data, size_t size) { return ::send(Native(s), data, static_cast<int>(size), 0); }

long Receive(Socket s, char* buffer, size_t size) { return ::recv(Native(s), buffer, static_cast<int>(size), 0); }

void Close(Socket s) {
  if (s != kNoSocket) ::closesocket(Native(s));
}

void Wait(const std::vector<Socket>& sockets, std::vector<bool>& ready) {
  // WSAPoll takes no invalid sockets: those are left out.
  std::vector<WSAPOLLFD> fds;
  std::vector<size_t> index;
  for (size_t i = 0; i < sockets.size(); ++i) {
    if (sockets[i] == kNoSocket) continue;
    fds.push_back({Native(sockets[i]), POLLRDNORM, 0});
    index.push_back(i);
  }
  ready.assign(sockets.size(), false);
  if (::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), -1) <= 0) return;
  for (size_t k = 0; k < fds.size(); ++k) ready[index[k]] = fds[k].revents != 0;
}

}  // namespace scripted
