#pragma once

#include <QObject>

#include <functional>
#include <memory>

// Turns the platform's requests to end the program into a call on the thread
// that made this object, from its event loop, so that the program ends as
// it would by itself: the window closes as the close box closes it (the
// settings file written, the port closed), a run of trellum-check stops
// where it waits and still puts the reader back. On POSIX these are SIGTERM,
// SIGINT and SIGHUP (a kill, Ctrl+C in the terminal, the end of the session),
// whatever thread they hit; on Windows the console's control events (Ctrl+C,
// Ctrl+Break, the console closing). The platform's default handling comes
// back when the object goes; one object at a time.
class TerminationSignals : public QObject {
 public:
  explicit TerminationSignals(std::function<void()> onSignal);
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

 private:
  // What the platform needs to hear of the request, one kind per platform.
  struct Native;
  std::function<void()> onSignal_;
  std::unique_ptr<Native> native_;
};
