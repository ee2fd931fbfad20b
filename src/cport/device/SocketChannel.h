#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace serialdev {

// The system codes the network device reports for failures of its own, as
// this platform spells them (errno values on POSIX, Winsock and Win32 codes
// on Windows).
struct SocketCodes {
  static const int kTimedOut;     // no answer within the time
  static const int kInvalid;      // a value the other side refused
  static const int kBadHandle;    // not open
  static const int kCancelled;    // ended by a purge
  static const int kNoProtocol;   // the server refused the COM-PORT-OPTION
  static const int kBusy;         // opened twice
  static const int kReset;        // the server ended the connection
  static const int kNoSuchHost;   // the host name resolves to nothing
};

// Wakes a thread waiting in SocketChannel::Wait; set from any thread, it
// stays set until cleared (an eventfd on POSIX, a manual-reset event on
// Windows).
class SocketSignal {
 public:
  SocketSignal();
  ~SocketSignal();
  SocketSignal(const SocketSignal&) = delete;
  SocketSignal& operator=(const SocketSignal&) = delete;

  // 0 when the signal was made, else the system's code.
  int Error() const { return error_; }
  void Set();
  void Clear();
  bool IsSet() const;
  intptr_t Native() const { return native_; }

 private:
  intptr_t native_ = -1;
  int error_ = 0;
};

// How long a connection may hear nothing from a server that has gone silent
// (a cable pulled, a switch restarted: no end of the connection arrives)
// before it ends with a time-out. An idle connection is probed by keep-alive;
// data that waits for its acknowledgement stops the probes, and the
// retransmissions' limit ends it instead.
struct SilenceLimits {
  int keepIdleMs = 3000;        // the first probe after this much silence
  int keepIntervalMs = 1000;    // then one probe each interval
  int keepProbes = 4;           // unanswered probes that end the connection
  int unacknowledgedMs = 7000;  // sent data unacknowledged this long ends it
};

// One TCP connection, non-blocking, and the waits on it. Send and Receive
// may run on different threads; Connect and Close on one while no other
// call runs.
class SocketChannel {
 public:
  SocketChannel();
  ~SocketChannel();
  SocketChannel(const SocketChannel&) = delete;
  SocketChannel& operator=(const SocketChannel&) = delete;

  // Resolves the host and connects to the first of its addresses that
  // answers, all within `timeoutMs`; then sets TCP_NODELAY and the limits
  // of silence. 0 or the system's code.
  int Connect(const std::string& host, uint16_t port, int timeoutMs, const SilenceLimits& silence);
  void Close();
  bool IsOpen() const;

  // Hands as many bytes to the system as it takes now (`sent`).
  int Send(const uint8_t* data, size_t size, size_t& sent);
  // Takes what has arrived, at most `size` bytes (`got`, 0 when nothing
  // waits); `ended` when the server has closed the connection.
  int Receive(uint8_t* buffer, size_t size, size_t& got, bool& ended);
  // Sleeps until bytes (or the end) may be received, the socket takes more
  // (with `writable`), a signal is set, or `timeoutMs` has passed (-1: no
  // limit). 0 or the system's code.
  int Wait(bool writable, std::initializer_list<const SocketSignal*> wakers, int timeoutMs);

 private:
  intptr_t socket_;
  intptr_t event_ = 0;  // Windows: the event the socket's network events set
};

}  // namespace serialdev
