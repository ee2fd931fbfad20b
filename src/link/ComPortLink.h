#pragma once

#include <string>

#include "ReaderLink.h"

class LinkObserver;
class TComPort;

// The reader protocol's link over a TComPort and the Qt event loop of the
// thread that owns the port; needs no window. Port failures pass through as
// the component raises them. An observer, when given, is told of every read
// that brought bytes, every completed write and every RTS level driven.
class ComPortLink : public ReaderLink {
 public:
  explicit ComPortLink(TComPort& port, LinkObserver* observer = nullptr);

  bool Connected() const override;
  int SendText(const std::string& bytes) override;
  std::string ReceiveText(int count) override;
  void DriveRTS(bool on) override;
  void ProcessMessages() override;
  void AwaitMessages(int milliseconds) override;

 private:
  TComPort& port_;
  LinkObserver* observer_;
};
