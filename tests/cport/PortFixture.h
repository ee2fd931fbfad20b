#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ComPort.h"
#include "FakeLine.h"
#include "QueuedHandOff.h"
#include "Raised.h"

// A component on a scripted line, recording the events it fires by name.
class PortFixture : public ::testing::Test {
 protected:
  PortFixture();
  // The port goes first: closing it still fires events into Log.
  ~PortFixture() override { port.reset(); }

  // Records every event of the component into Log ("BeforeOpen", "CTS:1",
  // "RxChar:3", "Error:5" ...).
  void RecordEvents();
  // Runs what the event thread hands to the owner thread until done() holds
  // or the limit passes; sleeps between hand-overs.
  bool PumpUntil(const std::function<bool()>& done, int limitMs = 3000);
  // Runs the hand-overs that arrive for a while.
  void PumpFor(int ms);

  std::shared_ptr<FakeLine> line = std::make_shared<FakeLine>();
  std::shared_ptr<QueuedHandOff> handOff = std::make_shared<QueuedHandOff>();
  std::unique_ptr<TComPort> port;
  std::vector<std::string> Log;
  std::vector<std::exception_ptr> Reported;
};
