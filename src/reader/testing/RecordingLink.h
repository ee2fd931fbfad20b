#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "FakeEventLoop.h"
#include "ReaderLink.h"

class ReaderProtocol;

// A port failure as a test double raises it.
class LinkFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A serial link that records every write and every RTS change, in order and
// with the fake time at which it happened, and waits on a fake event loop.
class RecordingLink : public ReaderLink {
 public:
  struct WireEvent {
    enum class Kind { Rts, Write } kind;
    bool rts = false;   // Rts: the new level
    std::string bytes;  // Write: the bytes written
    double atMs = 0;    // the loop's ElapsedMs
  };

  explicit RecordingLink(FakeEventLoop& loop) : loop_(loop) {}

  bool connected = true;
  std::string input;  // bytes that arrived and are not read yet
  std::vector<WireEvent> wire;
  int writesBeforeFailure = -1;  // a write with this many before it fails; -1 never
  int rtsChangesBeforeFailure = -1;
  int passes = 0;  // calls of ProcessMessages
  int awaits = 0;  // calls of AwaitMessages

  // Bytes arrive: queues them and runs the receive handler, as the port does.
  void Deliver(ReaderProtocol& protocol, const std::string& bytes);

  bool Connected() const override { return connected; }
  int SendText(const std::string& bytes) override;
  std::string ReceiveText(int count) override;
  void DriveRTS(bool on) override;
  void ProcessMessages() override;
  void AwaitMessages(int milliseconds) override;

 private:
  FakeEventLoop& loop_;
  int writes_ = 0;
  int rtsChanges_ = 0;
};
