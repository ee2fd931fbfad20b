#pragma once

#include <string>

// Sees what crosses a ComPortLink, in the order it happens, on the thread
// that owns the port: every burst of received bytes as the protocol reads it,
// every completed write (the bytes that went out), every level the link drives RTS to. It only looks;
// an exception it throws passes to the link's caller as a port failure would.
class LinkObserver {
 public:
  virtual ~LinkObserver() = default;

  virtual void Received(const std::string& bytes) = 0;
  virtual void Sent(const std::string& bytes) = 0;
  virtual void RtsChanged(bool on) = 0;
};
