#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "CheckPanel.h"
#include "ComPort.h"
#include "ComPortLink.h"
#include "LinkObserver.h"
#include "ReaderProtocol.h"

class SessionRecord;

// The run was asked to stop (Ctrl+C, a termination signal).
class Stopped : public std::runtime_error {
 public:
  Stopped() : std::runtime_error("stopped") {}
};

// One serial line with the reader protocol over it, without a window: the
// component, its link, the protocol and a CheckPanel, the session record
// when one is given, and the bytes that crossed the line since they were
// last taken. Made, used and ended in one thread: every wait sleeps in that
// thread's event loop.
class CheckLine : private LinkObserver {
 public:
  // `resolve` turns the port's name into its device; `record` may be null;
  // `stop` is set, from any thread, when the run is to stop (Ctrl+C): the
  // setter wakes this thread's event loop.
  CheckLine(std::string port, serialdev::PortResolver resolve, SessionRecord* record, const std::atomic<bool>& stop);
  ~CheckLine() override;
  CheckLine(const CheckLine&) = delete;
  CheckLine& operator=(const CheckLine&) = delete;

  const std::string& Port() const { return port_; }
  // Opens the port (again) at this speed; a failure raises EComPort.
  void Open(unsigned baud);
  void Close();
  // Whether the port opens at this speed now; opened and closed again
  // without a record, when closed. For watching a device come and go.
  bool Opens(unsigned baud);
  bool IsOpen() const { return port_component_.Connected(); }
  // The device went away (unplugged, hung up) since the last open.
  bool Removed() const { return removed_; }
  const std::string& RemovalReason() const { return removalReason_; }

  CheckPanel& Panel() { return panel_; }
  ReaderProtocol& Protocol() { return protocol_; }

  // Handles events until done() holds or the time has passed; returns done().
  // A stop request raises Stopped, unless the wait is marked as not to be
  // stopped (the restoring of the reader's state).
  bool WaitFor(const std::function<bool()>& done, int milliseconds, bool stoppable = true);
  // Sleeps in the event loop for the whole time.
  void Pause(int milliseconds, bool stoppable = true) { WaitFor([] { return false; }, milliseconds, stoppable); }
  bool StopRequested() const { return stop_; }

  // Bytes received since the port was created.
  std::size_t ReceivedCount() const { return received_; }

  // What crossed the line since the last call: "tx 7E 3F | rx 02 02 F0 F0 03".
  std::string TakeBytes();

 private:
  void Received(const std::string& bytes) override;
  void Sent(const std::string& bytes) override;
  void RtsChanged(bool on) override;
  void Note(const char* direction, const std::string& bytes);

  std::string port_;
  SessionRecord* record_;
  TComPort port_component_;
  ComPortLink link_;
  CheckPanel panel_;
  ReaderProtocol protocol_;
  std::string bytes_;
  std::string lastDirection_;
  bool removed_ = false;
  std::string removalReason_;
  const std::atomic<bool>& stop_;
  std::size_t received_ = 0;
};
