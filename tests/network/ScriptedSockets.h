#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The few socket calls of the scripted server, on 127.0.0.1, as this
// platform spells them (BSD sockets or Winsock).
namespace scripted {

using Socket = intptr_t;
inline constexpr Socket kNoSocket = -1;
// The system's code for a connection that nothing listens for.
extern const int kRefused;

// A TCP socket listening on a free port (`port`); kNoSocket on failure.
Socket Listen(uint16_t& port);
Socket Accept(Socket listener);
// A datagram socket connected to itself: a byte sent to it wakes a Wait.
Socket Waker();
// As send() and recv(): the bytes moved, 0 at the end, below 0 on failure.
long Send(Socket s, const char* data, size_t size);
long Receive(Socket s, char* buffer, size_t size);
void Close(Socket s);
// Sleeps until one of the sockets (kNoSocket ones left out) can be read or
// has ended; `ready` tells which.
void Wait(const std::vector<Socket>& sockets, std::vector<bool>& ready);

}  // namespace scripted
