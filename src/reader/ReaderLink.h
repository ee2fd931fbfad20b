#pragma once

#include <string>

// The serial link and the event loop as the reader protocol uses them.
// ComPortLink implements it over a TComPort and Qt's event loop. Failures of the
// port are exceptions (EComPort) that pass through the protocol untouched.
class ReaderLink {
 public:
  virtual ~ReaderLink() = default;

  virtual bool Connected() const = 0;
  // Writes every byte and returns once the write has completed.
  virtual int SendText(const std::string& bytes) = 0;
  // Returns at once with at most count bytes that have already arrived.
  virtual std::string ReceiveText(int count) = 0;
  virtual void DriveRTS(bool on) = 0;

  // Handles every pending event (serial dispatches, timers, input) and returns.
  virtual void ProcessMessages() = 0;
  // Sleeps in the event loop, handling each event that arrives, until one
  // arrives or the given time has passed; never spins.
  virtual void AwaitMessages(int milliseconds) = 0;
};
