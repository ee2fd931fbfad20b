#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "SerialDevice.h"
#include "SocketChannel.h"
#include "TelnetSession.h"

namespace serialdev {

// How long the network device waits.
struct NetworkTiming {
  int connectMs = 3000;   // TCP connect (the host name's lookup is the system's)
  int answerMs = 1000;    // a request's answer, the COM-PORT-OPTION's too
  SilenceLimits silence;  // a server gone silent: the connection's end
};

// A serial port behind a device server, opened by a network name
// (PortNames): "rfc2217://HOST:PORT" speaks Telnet with the COM-PORT-OPTION,
// "socket://HOST:PORT" carries data only.
//
// RFC 2217: the line settings go to the server at open and on every change
// (SET-BAUDRATE, -DATASIZE, -PARITY, -STOPSIZE, and SET-CONTROL for flow
// control, DTR and RTS), PurgeComm's clearing flags become PURGE-DATA, the
// server's NOTIFY-MODEMSTATE and NOTIFY-LINESTATE become the line events and
// error flags. Each request waits for its answer up to the answer time; a
// server that never answers SET-CONTROL or PURGE-DATA is waited for once,
// after which those are sent without waiting. A speed, data size, parity or
// stop size answered with another value fails as a driver refusing it
// (EINVAL). With socket:// settings, RTS and purges reach nothing.
//
// Writes have left the port once TCP has taken them. The end of the
// connection (closed by the server, reset, a server gone silent) is a removal.
// Bytes are taken from the socket by whichever thread waits (an event wait,
// a read, a request waiting for its answer); a received byte beyond the input
// queue size is dropped with CE_RXOVER.
//
// Without an equivalent: XonLim/XoffLim, XON/XOFF characters, DSR flow
// control and sensitivity, the error character, DiscardNull, RTS toggle.
class NetworkDevice final : public SerialDevice {
 public:
  explicit NetworkDevice(NetworkTiming timing = {});
  ~NetworkDevice() override;
  NetworkDevice(const NetworkDevice&) = delete;
  NetworkDevice& operator=(const NetworkDevice&) = delete;

  int Open(const std::string& path) override;
  void Close() override;
  bool IsOpen() const override;

  int SetState(const ControlBlock& dcb) override;
  int SetTimeouts(const Timeouts& timeouts) override;
  int SetQueueSizes(int input, int output) override;

  int Write(const uint8_t* data, size_t count, size_t& written) override;
  int Read(uint8_t* buffer, size_t count, size_t& read) override;

  int Purge(uint32_t flags) override;
  int SetRts(bool on) override;
  int GetModemStatus(uint32_t& modemBits) override;
  int ClearErrors(uint32_t& errorFlags, uint32_t& inputQueue) override;

  int SetEventMask(uint32_t mask) override;
  int WaitEvent(uint32_t& occurred) override;
  void BeginEventWaits() override;
  void StopEventWaits() override;

  bool Removed() const override;
  void ReleaseRemoved() override;

 private:
  using Clock = std::chrono::steady_clock;
  using Command = TelnetSession::Command;

  struct Request {
    Command command;
    std::string value;
  };

  // Takes what the socket holds (bounded per call) into the session and the
  // receive queue, and sends the replies the negotiation calls for.
  void Pump();
  void Deliver(const std::string& data, uint32_t& events);
  void Notify(uint32_t& events);
  void MarkRemoved(int code);
  // Sends every byte, sendMutex_ held, until the deadline or a purge.
  int SendLocked(const std::string& bytes, size_t& sent, Clock::time_point deadline, bool bounded,
                 uint64_t aborts);
  int SendCommands(const std::string& bytes);
  // Sends the requests and waits for their answers.
  int Exchange(const std::vector<Request>& requests);
  // Runs Pump until `done` (asked with ioMutex_ held) or the deadline.
  template <typename Done>
  int AwaitSession(Done done, Clock::time_point deadline);

  NetworkTiming timing_;
  int setupError_ = 0;
  bool rfc2217_ = false;
  std::atomic<bool> open_{false};
  bool released_ = false;
  SocketChannel channel_;

  std::mutex ioMutex_;  // receiving: the session and the socket's read side
  TelnetSession session_;
  std::mutex sendMutex_;  // sending, so that commands and data never interleave
  std::string unsent_;    // the rest of a command or an escape that must still go

  std::atomic<bool> removed_{false};
  std::atomic<int> removalCode_{0};
  std::atomic<uint32_t> mask_{0};
  std::atomic<uint64_t> txAborts_{0};
  std::atomic<uint64_t> rxAborts_{0};
  std::atomic<bool> controlSilent_{false};  // the server left a SET-CONTROL unanswered
  std::atomic<bool> purgeSilent_{false};    // ... a PURGE-DATA

  SocketSignal stop_;
  SocketSignal wake_;     // wakes the event wait
  SocketSignal arrived_;  // wakes a read
  SocketSignal txAbort_;
  SocketSignal rxAbort_;

  // Guards what follows.
  std::mutex mutex_;
  std::vector<SocketSignal*> answerWaiters_;
  std::deque<uint8_t> received_;
  size_t inputSize_ = 4096;
  bool rx80Signalled_ = false;
  uint32_t pending_ = 0;  // events not yet taken by an event wait
  uint32_t errors_ = 0;   // ClearCommError flags not yet collected
  uint32_t modem_ = 0;
  Timeouts timeouts_;
  char evtChar_ = 0;
  std::optional<ControlBlock> applied_;
};

}  // namespace serialdev
