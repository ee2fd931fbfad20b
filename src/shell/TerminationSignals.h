#pragma once

#include <QObject>

#include <functional>
#include <memory>

// Turns the platform's requests to end the program into a call on the owner
// thread, so that the program closes its windows as the close box would: the
// settings file is written and the port closed instead of the process
// vanishing. On POSIX these are SIGTERM, SIGINT and SIGHUP (a kill, Ctrl+C in
// the terminal, the end of the session), whose default actions come back when
// the object goes; on Windows the end of the session (WM_QUERYENDSESSION,
// which the toolkit reports as commitDataRequest).
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
